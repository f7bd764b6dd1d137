/* Sleeps until it is killed. The Windows tests keep one of these running under wine for the
   whole test run, so that wine's desktop and services stay up between the test programs instead
   of quitting and restarting around each one. */
#include <windows.h>

int main(void) {
    Sleep(INFINITE);
    return 0;
}

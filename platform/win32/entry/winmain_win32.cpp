// Process entry of the Windows program: the command line after the program name is the job
// string.
#include <windows.h>

#include "app/process.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    return runProcess(commandLine != nullptr ? commandLine : "");
}

/* Starts a Windows program with an exact command line and returns its exit code, for tests that
   run Kwlink.exe under wine.

   usage: kwlink-launch.exe PROGRAM
   The program's arguments come from the environment variable KWLINK_JOB, taken byte for byte:
   wine would put quotes around an argument with blanks, and the program reads its command line
   as it stands. While the program runs, a message box of the program ("Error" or "Meldung") is
   read, written to standard error as "<caption>: <text>" (as the Linux program writes its
   boxes) and closed with OK, so that no test waits for a click. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static DWORD g_childProcessId;

static BOOL CALLBACK readBoxText(HWND child, LPARAM lParam) {
    char className[32];
    if (GetClassNameA(child, className, sizeof className) && lstrcmpiA(className, "Static") == 0) {
        char text[1024];
        if (GetWindowTextA(child, text, sizeof text) > 0) {
            lstrcpynA((char*)lParam, text, 1024);
        }
    }
    return TRUE;
}

static BOOL CALLBACK closeBox(HWND window, LPARAM lParam) {
    DWORD processId = 0;
    char caption[64];
    (void)lParam;
    GetWindowThreadProcessId(window, &processId);
    if (processId != g_childProcessId || !IsWindowVisible(window)) {
        return TRUE;
    }
    if (GetWindowTextA(window, caption, sizeof caption) == 0) {
        return TRUE;
    }
    if (strcmp(caption, "Error") == 0 || strcmp(caption, "Meldung") == 0) {
        char text[1024] = "";
        EnumChildWindows(window, readBoxText, (LPARAM)text);
        fprintf(stderr, "%s: %s\n", caption, text);
        fflush(stderr);
        PostMessageA(window, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
}

int main(int argc, char** argv) {
    const char* job = getenv("KWLINK_JOB");
    char* commandLine;
    size_t length;
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    DWORD exitCode = 1;

    if (argc != 2) {
        fprintf(stderr, "usage: kwlink-launch.exe PROGRAM (arguments in KWLINK_JOB)\n");
        return 2;
    }
    if (job == NULL) {
        job = "";
    }
    length = strlen(argv[1]) + strlen(job) + 4;
    commandLine = (char*)malloc(length);
    snprintf(commandLine, length, "\"%s\" %s", argv[1], job);

    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(argv[1], commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                        &process)) {
        fprintf(stderr, "cannot start %s: error %lu\n", argv[1], GetLastError());
        return 125;
    }
    g_childProcessId = process.dwProcessId;
    while (WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT) {
        EnumWindows(closeBox, 0);
    }
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    free(commandLine);
    return (int)exitCode;
}

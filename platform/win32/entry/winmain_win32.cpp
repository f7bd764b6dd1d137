// Process entry of the Windows program: the command line after the program name, unsplit, is
// the job string (platform/program_main.h).
#include <windows.h>

#include <string>
#include <vector>

#include "platform/program_main.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    return kwlinkMain(platform::ProgramStart::Window,
                      std::vector<std::string>{commandLine != nullptr ? commandLine : ""});
}

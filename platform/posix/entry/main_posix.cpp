// Process entry of the Linux console program: hands its arguments to the program's main
// function (platform/program_main.h).
#include <string>
#include <vector>

#include "platform/program_main.h"

int main(int argc, char** argv) {
    return kwlinkMain(platform::ProgramStart::Console,
                      std::vector<std::string>(argv + 1, argv + argc));
}

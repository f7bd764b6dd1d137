#pragma once

#include <string>
#include <vector>

// The program's main function. The operating system's entry point of each system
// (platform/<os>/entry/: `main` on Linux, `WinMain` on Windows) does nothing but call it, so
// that the entry points depend on this header alone; app/ defines it.
//
// Contract:
// - `start` says how the system started the program. A console program may print to standard
//   output and standard error (usage and version texts, hints); a window program has neither
//   and passes its command line on as the job string, whatever it says.
// - `arguments` is the command line after the program's name: a console entry point passes its
//   arguments one by one, as the system split them (none when there were none); the Windows
//   entry point passes the command line unsplit, as its one argument.
// - The result is the process's exit status (0 finished, 1 failed, 2 stopped; see
//   ProcessOutcome in app/process.h); the entry point returns it unchanged.
// - It is called once, on the process's main thread, and returns only when the process is
//   done with everything but the return from the entry point.

namespace platform {

enum class ProgramStart {
    Console,  // a console program (Linux)
    Window,   // a window program (Windows)
};

}  // namespace platform

int kwlinkMain(platform::ProgramStart start, const std::vector<std::string>& arguments);

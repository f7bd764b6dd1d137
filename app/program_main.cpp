// The program's main function (platform/program_main.h): the console program's usage and
// version texts, then the process with the job string.
#include "platform/program_main.h"

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "app/process.h"
#include "diag/version.h"
#include "platform/platform.h"

namespace {

void printUsage() {
    std::printf(
        "usage: kwlink \"<job string>\"\n"
        "       kwlink --version\n"
        "\n"
        "Job string: ';'-separated tokens, first the kind of job, then the working directory:\n"
        "  KWBACKUP[a,b];KWDIR[/path]     fetch everything (configuration numbers a..b)\n"
        "  KWRESTORE[a,b];KWDIR[/path]    send everything back\n"
        "  KWUP;KWDIR[/path];...          fetch what the further tokens name\n"
        "  KWDOWN;KWDIR[/path];...        send what the further tokens name\n"
        "Further tokens: KWTAB[NAME,NAME,...] or KWTAB[*], KWARTICLE[from,to],\n"
        "  KWCONF[from,to], KWPORT[n] (stored in Kwlink.cfg of the data directory),\n"
        "  KWCHANGED (KWDOWN only: send only the records the scale does not hold as they\n"
        "  are; what it holds is kept in Kwlink-<nn>-<identification>.held).\n"
        "Port n is <data directory>/com<n> when it exists, else /dev/ttyS<n-1>.\n"
        "Exit status: 0 finished, 1 failed (see Kwlink.log and Kwlink.Err), 2 stopped.\n"
        "Data directory: %s\n",
        platform::dataDirectory().c_str());
}

}  // namespace

int kwlinkMain(platform::ProgramStart start, const std::vector<std::string>& arguments) {
    if (start == platform::ProgramStart::Console) {
        if (arguments.size() == 1 && arguments[0] == "--help") {
            printUsage();
            return 0;
        }
        if (arguments.size() == 1 && arguments[0] == "--version") {
            std::printf("%s\nkwlink %s\n", kVersionBanner, KWLINK_VERSION);
            return 0;
        }
        if (arguments.empty()) {
            // An empty job string is reported like any invalid one; a person who typed only
            // the program's name also learns where the job string is explained.
            const int status = runProcess("");
            std::fprintf(stderr,
                         "Run \"kwlink --help\" for the job-string keywords,\n"
                         "or \"man kwlink\" for the manual.\n");
            return status;
        }
    }
    // The console program's job string is its arguments joined with single blanks (users
    // quote it because of the ";"); the window program's is its one argument.
    std::string commandLine;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0) {
            commandLine += ' ';
        }
        commandLine += arguments[i];
    }
    return runProcess(commandLine);
}

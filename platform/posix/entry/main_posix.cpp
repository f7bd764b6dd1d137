// Process entry of the Linux console program. The job string is every argument after the
// program name, joined with single blanks (users quote it because of the ";").
#include <cstdio>
#include <cstring>
#include <string>

#include "app/process.h"
#include "diag/version.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
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
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s\nkwlink %s\n", kVersionBanner, KWLINK_VERSION);
        return 0;
    }
    if (argc == 1) {
        // An empty job string is reported like any invalid one; a person who typed only the
        // program's name also learns where the job string is explained.
        const int status = runProcess("");
        std::fprintf(stderr,
                     "Run \"kwlink --help\" for the job-string keywords,\n"
                     "or \"man kwlink\" for the manual.\n");
        return status;
    }
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            commandLine += ' ';
        }
        commandLine += argv[i];
    }
    return runProcess(commandLine);
}

#pragma once

#include <string>

#include "job/transfer_job.h"

// Gathers the inputs of the process's one job from the command line, in a fixed order: parse
// the job string, create the working directory, take its lock, create the log (g_log), load the
// character translation (g_charTranslation), read the configuration file (a port given in the
// job string is written into it first), and fix the line settings. A failure before the log
// exists is reported in a box, a later one in the log and the error file: so the order is part
// of what the user sees. Throws QmComExceptions: 1 (job string), 32 (working directory), 41
// (another job holds the directory's lock file), 7 and 8 (translation file), 9 (configuration
// file).
JobInputs prepareJob(const std::string& commandLine);

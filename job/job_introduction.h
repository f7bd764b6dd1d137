#pragma once

#include <cstdint>

#include "job/job_parameters.h"

// Shows and logs what the job is, before it connects: the title (line 1), the kind of job and
// the port (line 2), the articles and configuration numbers or, for a backup or restore, the
// configuration range (line 3), the tables (line 4, when the job names them), the working
// directory (line 5); then logs message 34.
void introduceJob(const JobParseResult& job, std::uint32_t port);

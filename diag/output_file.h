#pragma once

#include <string>

// Writes `content` as the whole new content of the file `path`, byte for byte. The bytes go to
// a temporary file beside it first, which replaces the old file only when it was written and
// closed completely: a failed write never destroys the previous file. A symbolic link is
// replaced at its target (the link stays), and the new file keeps the old one's permission
// bits. True on success.
bool writeOutputFile(const std::string& path, const std::string& content);

// The name of this process's temporary file for `path` (already resolved): "<path>.<pid>.tmp~".
// The process id keeps two processes (and a killed one's leftovers) apart.
std::string temporaryFileName(const std::string& path);

// Removes the temporary files "<name>.<digits>.tmp~" from `directory` (ending with the path
// separator): left there by a job that was killed while it wrote. Call only while holding the
// directory's lock, when no other job can be writing there.
void removeStaleTemporaryFiles(const std::string& directory);

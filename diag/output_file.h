#pragma once

#include <string>

// Writes `content` as the whole new content of the file `path`, byte for byte. The bytes go to
// a temporary file beside it first, which replaces the old file only when it was written and
// closed completely: a failed write never destroys the previous file. True on success.
bool writeOutputFile(const std::string& path, const std::string& content);

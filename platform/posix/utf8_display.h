#pragma once

#include <string>

namespace platform {

// Converts Windows-1252 text to UTF-8 for display on a POSIX terminal or log viewer. Bytes that
// Windows-1252 leaves undefined are shown as U+FFFD.
std::string toUtf8(const std::string& cp1252);

}  // namespace platform

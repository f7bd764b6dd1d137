// Conversion of UTF-8 text (what spreadsheet programs write for "CSV UTF-8") to the program's
// single-byte code page, Windows-1252.
#pragma once

#include <string>

namespace platform {

// Converts `utf8` to Windows-1252 into `out`. False, with `out` unspecified, when the text is
// not valid UTF-8 or holds a character that Windows-1252 has no byte for: such a character is
// never replaced by a look-alike. Thread-safe.
bool utf8ToWindows1252(const std::string& utf8, std::string& out);

}  // namespace platform

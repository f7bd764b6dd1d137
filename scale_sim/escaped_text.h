// The plain text form of byte strings used by the simulated scale's data files and
// transcripts: printable ASCII stands for itself, a backslash is written "\\", every other byte
// (control bytes, bytes from 80h on) as "\xHH" with two hexadecimal digits. Reading also
// accepts bytes from 80h on literally.
#pragma once

#include <string>

namespace scale_sim {

std::string escapeBytes(const std::string& bytes);
// False when `text` holds a malformed escape.
bool unescapeBytes(const std::string& text, std::string& bytes);

}  // namespace scale_sim

#pragma once

#include <string>

// `bytes` as a readable ASCII text for the log: printable ASCII stands for itself, a backslash
// is written "\\", and every other byte (control bytes, bytes from 80h on) as "\xHH".
std::string escapeBytes(const std::string& bytes);

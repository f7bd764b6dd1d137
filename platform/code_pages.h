// Conversion between the PC's single-byte text (the ANSI code page) and the scale's base
// character set (the OEM code page), byte for byte: a text keeps its length. On Windows these
// are the system's code pages; the Linux build uses Windows-1252 and code page 850 and gives
// exactly the bytes Windows gives for that pair, best-fit replacements included.
#pragma once

#include <string>

namespace platform {

// ANSI to OEM in place (Win32 CharToOemBuffA). A character without a counterpart becomes its
// best fit, or "?" when it has none; never a byte sequence of another length. Bytes below 80h
// are unchanged.
void ansiToOem(std::string& text);

// OEM to ANSI in place (Win32 OemToCharBuffA), with the same rules.
void oemToAnsi(std::string& text);

}  // namespace platform

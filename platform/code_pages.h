// Conversion between the PC's single-byte text (the Windows ANSI code page, 1252) and the
// scale's base character set (the OEM code page, 850), byte for byte: a text keeps its length.
#pragma once

#include <string>

namespace platform {

// ANSI to OEM in place (Win32 CharToOemBuffA). A character without a counterpart becomes the
// closest fit the platform knows, never a byte sequence of another length.
void ansiToOem(std::string& text);

// OEM to ANSI in place (Win32 OemToCharBuffA).
void oemToAnsi(std::string& text);

}  // namespace platform

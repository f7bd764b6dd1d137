// The line-settings mapping of the POSIX serial device, kept apart so that tests can check it
// field by field (a pseudo-terminal cannot show the line format it was given).
#pragma once

#include <termios.h>

#include "platform/line_settings.h"

namespace platform {

// Turns `tio` (as read from the device) into full raw mode with the speed, character frame and
// flow control of `settings`: no signal, canonical or extended input processing, no output
// processing, no CR/NL mapping, receiver on, modem status lines ignored, VMIN = VTIME = 0.
// False, with `tio` unusable, for a speed, data-bit count, parity or stop-bit code that has no
// termios equivalent. One and a half stop bits map to CSTOPB (which a UART gives as 1.5 at 5
// data bits). Parity is generated but not checked, so a byte with a parity error still arrives,
// as with the Windows driver's error character switched off; the link's block check catches it.
bool lineSettingsToTermios(const LineSettings& settings, termios& tio);

}  // namespace platform

// The line-settings mapping of the Windows serial device, kept apart so that tests can check
// it field by field.
#pragma once

#include <windows.h>

#include "platform/line_settings.h"

namespace platform {

// Changes exactly the fields of `dcb` that the line settings decide and keeps every other field
// as the driver reported it: speed, character frame, binary mode, parity checking when a parity
// is set, no error or null character, and the flow control of the handshake (2 hardware: CTS,
// DSR, DTR and RTS handshake; 1: XON/XOFF with DTR off and RTS on; anything else: no flow
// control, DTR off, RTS on). fAbortOnError is cleared: with it set, a single parity error would
// stop every read and write until ClearCommError, and the link would see only time-outs.
void lineSettingsToDcb(const LineSettings& settings, DCB& dcb);

}  // namespace platform

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The serial device seen by the link in the fuzz entries and their regression test: it stands
// in for the platform's device at link time (fake_serial_device.cpp defines the functions of
// platform/serial_device.h). Reads hand out the loaded bytes one call at a time, at most the
// bytes asked for; when they are used up every read returns nothing at once. Writes are kept.
namespace fake_serial_device {

void load(const std::uint8_t* data, std::size_t size);
bool exhausted();
// Everything the link sent since load().
const std::string& written();
// Devices open now (0 or 1 for a well-behaved link).
int openCount();

}  // namespace fake_serial_device

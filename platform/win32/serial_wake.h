// The wake-up of serial waits on Windows, for the serial device implementations in this folder.
#pragma once

#include <windows.h>

namespace platform {

// A manual-reset event that is set, and stays set, once the wake-up is raised: a wait puts it
// into its WaitForMultipleObjects() beside the device's own event.
struct SerialWake {
    HANDLE event = nullptr;
};

// The event to wait for beside a device, or nullptr for no wake-up.
inline HANDLE serialWakeEvent(const SerialWake* wake) {
    return wake != nullptr ? wake->event : nullptr;
}

}  // namespace platform

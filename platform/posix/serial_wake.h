// The wake-up of serial waits on POSIX, for the serial device implementations in this folder.
#pragma once

namespace platform {

// An eventfd that becomes readable, and stays so, once the wake-up is raised: a wait puts it
// into its poll() beside the device's descriptor.
struct SerialWake {
    int fd = -1;
};

// The descriptor to poll for POLLIN beside a device, or -1 for no wake-up (nullptr).
inline int serialWakeDescriptor(const SerialWake* wake) {
    return wake != nullptr ? wake->fd : -1;
}

}  // namespace platform

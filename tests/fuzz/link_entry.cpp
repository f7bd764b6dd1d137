// The link's receiving side: the bytes arrive one read at a time from the fake serial device,
// first while the link waits for the scale's greeting, then as replies to requests.
#include <string>

#include "diag/qm_com_exceptions.h"
#include "fuzz/fake_serial_device.h"
#include "fuzz/fuzz_scratch.h"
#include "fuzz/fuzz_targets.h"
#include "link/serial_scale_link.h"

namespace fuzz_targets {

namespace {

constexpr char kAck = 0x06;

// A request to scale 1 with the command letter s, ending with its placeholder byte.
const std::string kRequest("\x02\x17]01\x17s\x17", 8);

// Time-outs so long that no input runs into one: every step is decided by the bytes alone.
LinkSettings untimedSettings() {
    LinkSettings settings;
    settings.port = 1;
    settings.receiveTimeout = 3600.0;
    settings.ackTimeout = 3600.0;
    settings.pause = 0;
    settings.maxRepeats = 5;
    return settings;
}

void receive(SerialScaleLink& link) {
    std::uint8_t code = 0;
    std::string identification;
    bool connected = false;
    try {
        while (!connected && !fake_serial_device::exhausted()) {
            connected = link.open(code, identification) == StepResult::Complete;
        }
    } catch (const QmComExceptions&) {
        return;
    }
    if (!connected) {
        return;
    }
    while (!fake_serial_device::exhausted()) {
        char firstByte = 0;
        std::string payload;
        try {
            if (link.transfer(code, firstByte, kRequest, payload) == StepResult::Complete &&
                fake_serial_device::written().back() != kAck) {
                brokenInvariant("a reply was handed on without being acknowledged");
            }
        } catch (const QmComExceptions&) {
            // Not acknowledged too often: the next call starts a new exchange.
        }
    }
}

}  // namespace

void linkReceive(const std::uint8_t* data, std::size_t size) {
    fuzz_scratch::loadMessageTexts();
    fake_serial_device::load(data, size);
    {
        SerialScaleLink link(LineSettings(), untimedSettings());
        receive(link);
    }
    if (fake_serial_device::openCount() != 0) {
        brokenInvariant("the link left the device open");
    }
}

}  // namespace fuzz_targets

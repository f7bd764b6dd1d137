#include "fuzz/fake_serial_device.h"

#include <cerrno>
#include <cstring>

#include "platform/serial_device.h"

namespace platform {

struct SerialDevice {
    int unused = 0;
};

}  // namespace platform

namespace fake_serial_device {

namespace {

struct State {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t position = 0;
    std::string written;
    int openCount = 0;
};

State& state() {
    static State s;
    return s;
}

}  // namespace

void load(const std::uint8_t* data, std::size_t size) {
    State& s = state();
    s.data = data;
    s.size = size;
    s.position = 0;
    s.written.clear();
}

bool exhausted() {
    return state().position >= state().size;
}

const std::string& written() {
    return state().written;
}

int openCount() {
    return state().openCount;
}

}  // namespace fake_serial_device

namespace platform {

std::string serialDeviceName(std::int32_t portNumber) {
    return "fake" + std::to_string(portNumber);
}

std::string serialDeviceRefusal() {
    return std::string();
}

std::int32_t openSerialDevice(std::int32_t, const LineSettings&, SerialDevice*& device) {
    device = new SerialDevice;
    ++fake_serial_device::state().openCount;
    return 0;
}

std::int32_t readSerialDevice(SerialDevice*, char* buffer, std::int32_t count,
                              std::int32_t& received) {
    fake_serial_device::State& s = fake_serial_device::state();
    received = 0;
    while (received < count && s.position < s.size) {
        buffer[received++] = static_cast<char>(s.data[s.position++]);
    }
    return 0;
}

std::int32_t writeSerialDevice(SerialDevice*, const char* data, std::int32_t count,
                               std::int32_t& written) {
    fake_serial_device::state().written.append(data, static_cast<std::size_t>(count));
    written = count;
    return 0;
}

// The fake never blocks: a wait only tells whether loaded bytes are left.
struct SerialWake {};

SerialWake* createSerialWake() {
    return new SerialWake;
}

void raiseSerialWake(SerialWake*) {}

void destroySerialWake(SerialWake* wake) {
    delete wake;
}

std::int32_t waitSerialDevice(SerialDevice*, std::int32_t, SerialWake*, bool& readable) {
    readable = !fake_serial_device::exhausted();
    return 0;
}

std::int32_t closeSerialDevice(SerialDevice* device) {
    delete device;
    --fake_serial_device::state().openCount;
    return 0;
}

std::string systemErrorText(std::int32_t code) {
    return std::strerror(code);
}

std::int32_t currentSystemError() {
    return errno;
}

}  // namespace platform

#include "link/serial_port.h"

#include "platform/serial_device.h"

namespace {

const char kAlreadyOpen[] =
    "Schnittstelle bereits ge\xF6"
    "ffnet.\n";
const char kNotOpen[] =
    "Keine Schnittstelle ge\xF6"
    "ffnet.\n";
const char kShortRead[] = "Die angefordete Anzahl Zeichen konnte nicht gelesen werden.\n";
const char kShortWrite[] = "Es konnten nicht alle Zeichen geschrieben werden.\n";
const char kOpenConfigure[] =
    "Schnittstelle ist ge\xF6"
    "ffnet. Konfiguration fehlgeschafen.\n";

}  // namespace

SerialPort::SerialPort() : wake_(platform::createSerialWake()) {}

SerialPort::~SerialPort() {
    if (handle_ != nullptr) {
        platform::closeSerialDevice(handle_);
        handle_ = nullptr;
    }
    platform::destroySerialWake(wake_);
}

void SerialPort::startOperation() {
    lastResult_ = 0;
    errorText_.clear();
}

std::int32_t SerialPort::configure(std::uint32_t baudRate, LineFormat format,
                                   std::int32_t handshake, std::uint32_t inputQueueSize,
                                   std::uint32_t outputQueueSize) {
    startOperation();
    if (handle_ != nullptr) {
        errorText_ = kOpenConfigure;
        lastResult_ = -1;
        return lastResult_;
    }
    settings_.baudRate = baudRate;
    settings_.format = format;
    settings_.handshake = handshake;
    settings_.inputQueueSize = inputQueueSize;
    settings_.outputQueueSize = outputQueueSize;
    systemErrorText_ = platform::systemErrorText(platform::currentSystemError());
    return lastResult_;
}

std::int32_t SerialPort::open(std::int32_t portNumber) {
    startOperation();
    if (handle_ != nullptr) {
        errorText_ = kAlreadyOpen;
        lastResult_ = -1;
        return lastResult_;
    }
    portNumber_ = portNumber;
    deviceName_ = platform::serialDeviceName(portNumber);
    lastResult_ = platform::openSerialDevice(portNumber, settings_, handle_);
    const std::string refusal = platform::serialDeviceRefusal();
    systemErrorText_ = refusal.empty() ? platform::systemErrorText(lastResult_) : refusal;
    return lastResult_;
}

std::int32_t SerialPort::read(std::string& buffer, std::int32_t& count) {
    startOperation();
    if (handle_ == nullptr) {
        buffer.clear();
        errorText_ = kNotOpen;
        lastResult_ = -1;
        return lastResult_;
    }
    std::int32_t wanted = count > 0 ? count : 0;
    buffer.resize(static_cast<std::string::size_type>(wanted));
    std::int32_t received = 0;
    std::int32_t error =
        wanted > 0 ? platform::readSerialDevice(handle_, &buffer[0], wanted, received) : 0;
    buffer.resize(static_cast<std::string::size_type>(received));
    if (received < wanted) {
        errorText_ = kShortRead;
        lastResult_ = -1;
    }
    count = received;
    if (error != 0) {
        lastResult_ = error;
        errorText_.clear();
        systemErrorText_ = platform::systemErrorText(error);
    }
    return lastResult_;
}

std::int32_t SerialPort::write(std::string data, std::int32_t& count) {
    startOperation();
    if (count < 0) {
        count = static_cast<std::int32_t>(data.size());
    }
    if (handle_ == nullptr) {
        errorText_ = kNotOpen;
        lastResult_ = -1;
        return lastResult_;
    }
    std::int32_t wanted = count;
    std::int32_t written = 0;
    std::int32_t error =
        wanted > 0 ? platform::writeSerialDevice(handle_, data.data(), wanted, written) : 0;
    if (written < wanted) {
        errorText_ = kShortWrite;
        lastResult_ = -1;
    }
    count = written;
    if (error != 0) {
        lastResult_ = error;
        errorText_.clear();
        systemErrorText_ = platform::systemErrorText(error);
    }
    return lastResult_;
}

std::int32_t SerialPort::waitReadable(std::int32_t milliseconds, bool& readable) {
    startOperation();
    readable = false;
    if (handle_ == nullptr) {
        errorText_ = kNotOpen;
        lastResult_ = -1;
        return lastResult_;
    }
    std::int32_t error = platform::waitSerialDevice(handle_, milliseconds, wake_, readable);
    if (error != 0) {
        lastResult_ = error;
        systemErrorText_ = platform::systemErrorText(error);
    }
    return lastResult_;
}

void SerialPort::wake() {
    platform::raiseSerialWake(wake_);
}

std::int32_t SerialPort::close() {
    startOperation();
    if (handle_ == nullptr) {
        errorText_ = kNotOpen;
        lastResult_ = -1;
        return lastResult_;
    }
    std::int32_t error = platform::closeSerialDevice(handle_);
    if (error != 0) {
        lastResult_ = error;
        systemErrorText_ = platform::systemErrorText(error);
    }
    handle_ = nullptr;
    portNumber_ = 0;
    return lastResult_;
}

// Windows serial device: the kernel32 communications API, synchronous I/O with the driver's
// total time-outs.
#include <windows.h>

#include <chrono>
#include <cstdio>

#include "platform/net_device.h"
#include "platform/serial_device.h"
#include "platform/win32/serial_dcb.h"

namespace platform {

struct SerialDevice {
    HANDLE handle = INVALID_HANDLE_VALUE;
    NetDevice* net = nullptr;  // a port of "Kwlink.ports" instead
};

namespace {

constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr DWORD kPurgeQueues = PURGE_TXCLEAR | PURGE_RXCLEAR;

std::int32_t lastError() {
    return static_cast<std::int32_t>(GetLastError());
}

}  // namespace

void lineSettingsToDcb(const LineSettings& settings, DCB& dcb) {
    dcb.BaudRate = settings.baudRate;
    dcb.ByteSize = settings.format.dataBits;
    dcb.Parity = settings.format.parity;
    dcb.StopBits = settings.format.stopBits;
    dcb.fBinary = 1;
    dcb.fParity = settings.format.parity != 0 ? 1 : 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fAbortOnError = 0;
    if (settings.handshake == 2) {
        dcb.fOutxCtsFlow = 1;
        dcb.fOutxDsrFlow = 1;
        dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
        dcb.fDsrSensitivity = 1;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        dcb.fOutX = 0;
        dcb.fInX = 0;
    } else {
        dcb.fOutxCtsFlow = 0;
        dcb.fOutxDsrFlow = 0;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fDsrSensitivity = 0;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fOutX = settings.handshake == 1 ? 1 : 0;
        dcb.fInX = settings.handshake == 1 ? 1 : 0;
    }
}

// Windows opens COM10 and above only through the device namespace.
std::string serialDeviceName(std::int32_t portNumber) {
    NetworkPort networkPort;
    if (findNetworkPort(portNumber, networkPort)) {
        return networkPort.address;
    }
    char name[32];
    if (portNumber >= 10) {
        std::snprintf(name, sizeof name, "\\\\.\\COM%d", static_cast<int>(portNumber));
    } else {
        std::snprintf(name, sizeof name, "Com%d:", static_cast<int>(portNumber));
    }
    return name;
}

std::int32_t openSerialDevice(std::int32_t portNumber, const LineSettings& settings,
                              SerialDevice*& device) {
    device = nullptr;
    NetworkPort networkPort;
    if (findNetworkPort(portNumber, networkPort)) {
        NetDevice* net = nullptr;
        std::int32_t error = openNetDevice(networkPort, settings, net);
        if (net != nullptr) {
            device = new SerialDevice;
            device->net = net;
        }
        return error;
    }
    std::string name = serialDeviceName(portNumber);
    HANDLE handle = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return lastError();
    }
    device = new SerialDevice;
    device->handle = handle;
    if (!SetCommMask(handle, 0)) {
        return lastError();
    }
    if (!SetupComm(handle, settings.inputQueueSize, settings.outputQueueSize)) {
        return lastError();
    }
    if (!PurgeComm(handle, kPurgeAll)) {
        return lastError();
    }
    // A one-byte read returns as soon as a byte is there, or after 15 ms with none.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 5;
    timeouts.ReadTotalTimeoutConstant = 10;
    timeouts.WriteTotalTimeoutMultiplier = 5;
    timeouts.WriteTotalTimeoutConstant = 10;
    if (!SetCommTimeouts(handle, &timeouts)) {
        return lastError();
    }
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (!GetCommState(handle, &dcb)) {
        return lastError();
    }
    lineSettingsToDcb(settings, dcb);
    if (!SetCommState(handle, &dcb)) {
        return lastError();
    }
    if (!PurgeComm(handle, kPurgeQueues)) {
        return lastError();
    }
    return 0;
}

std::int32_t readSerialDevice(SerialDevice* device, char* buffer, std::int32_t count,
                              std::int32_t& received) {
    if (device->net != nullptr) {
        return readNetDevice(device->net, buffer, count, received);
    }
    const auto start = std::chrono::steady_clock::now();
    DWORD done = 0;
    BOOL ok = ReadFile(device->handle, buffer, static_cast<DWORD>(count), &done, nullptr);
    received = static_cast<std::int32_t>(done);
    if (ok) {
        return 0;
    }
    const std::int32_t error = lastError();
    // A device that has gone (a pulled USB adapter) fails every read at once: the read still
    // takes the time a read with the driver's time-outs would, so that a caller polling byte by
    // byte waits instead of spinning.
    const auto budget = std::chrono::milliseconds(5 * static_cast<std::int64_t>(count) + 10);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    if (elapsed < budget) {
        Sleep(static_cast<DWORD>(
            std::chrono::duration_cast<std::chrono::milliseconds>(budget - elapsed).count() + 1));
    }
    return error;
}

std::int32_t writeSerialDevice(SerialDevice* device, const char* data, std::int32_t count,
                               std::int32_t& written) {
    if (device->net != nullptr) {
        return writeNetDevice(device->net, data, count, written);
    }
    DWORD done = 0;
    BOOL ok = WriteFile(device->handle, data, static_cast<DWORD>(count), &done, nullptr);
    written = static_cast<std::int32_t>(done);
    return ok ? 0 : lastError();
}

std::int32_t closeSerialDevice(SerialDevice* device) {
    HANDLE handle = device->handle;
    NetDevice* net = device->net;
    delete device;
    if (net != nullptr) {
        return closeNetDevice(net);
    }
    return CloseHandle(handle) ? 0 : lastError();
}

std::string systemErrorText(std::int32_t code) {
    char* text = nullptr;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string result = length > 0 && text != nullptr ? std::string(text, length) : std::string();
    if (text != nullptr) {
        LocalFree(text);
    }
    return result;
}

std::int32_t currentSystemError() {
    return lastError();
}

}  // namespace platform

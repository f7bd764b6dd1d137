// Windows serial device: the kernel32 communications API. Reads and writes are overlapped
// operations waited for at once, so that they keep the driver's total time-outs; the handle is
// overlapped only so that an idle wait can end on a wake-up event beside its read.
#include <windows.h>

#include <chrono>
#include <cstdio>

#include "platform/net_device.h"
#include "platform/serial_device.h"
#include "platform/win32/serial_dcb.h"
#include "platform/win32/serial_wake.h"

namespace platform {

struct SerialDevice {
    HANDLE handle = INVALID_HANDLE_VALUE;
    // The event of the device's reads and writes.
    HANDLE ioEvent = nullptr;
    // The idle wait's one-byte read. It stays under way from one wait to the next, so that a
    // wait that runs out costs one system call; any other operation ends it first.
    HANDLE waitEvent = nullptr;
    OVERLAPPED waitOverlapped{};
    bool waitPending = false;
    char waitByte = 0;
    // A byte that an idle wait took from the driver: the next read hands it out first.
    bool holding = false;
    char heldByte = 0;
    NetDevice* net = nullptr;  // a port of "Kwlink.ports" instead
};

namespace {

constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr DWORD kPurgeQueues = PURGE_TXCLEAR | PURGE_RXCLEAR;

std::int32_t lastError() {
    return static_cast<std::int32_t>(GetLastError());
}

// A one-byte read returns as soon as a byte is there, or after 15 ms with none; a write waits
// 5 ms per byte + 10 ms.
COMMTIMEOUTS byteTimeouts() {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 5;
    timeouts.ReadTotalTimeoutConstant = 10;
    timeouts.WriteTotalTimeoutMultiplier = 5;
    timeouts.WriteTotalTimeoutConstant = 10;
    return timeouts;
}

// Ends the idle wait's read if one is under way (cancelled unless it has ended): a byte it
// got is held for the next read, and the time-outs of byte reads are set again.
std::int32_t settleWait(SerialDevice* device, bool cancel) {
    if (!device->waitPending) {
        return 0;
    }
    if (cancel) {
        CancelIo(device->handle);
    }
    DWORD done = 0;
    DWORD error = 0;
    if (!GetOverlappedResult(device->handle, &device->waitOverlapped, &done, TRUE)) {
        error = GetLastError();
        if (error == ERROR_OPERATION_ABORTED) {
            error = 0;
        }
    }
    device->waitPending = false;
    if (done == 1) {
        device->holding = true;
        device->heldByte = device->waitByte;
    }
    COMMTIMEOUTS timeouts = byteTimeouts();
    if (!SetCommTimeouts(device->handle, &timeouts) && error == 0) {
        error = GetLastError();
    }
    return static_cast<std::int32_t>(error);
}

// Waits for the overlapped operation `started` (the result of ReadFile or WriteFile) to end;
// `done` is the bytes it moved. A read that ends by its time-out is no failure (some systems
// report that status as an error).
bool finishTransfer(SerialDevice* device, OVERLAPPED& overlapped, BOOL started, DWORD& done) {
    if (!started && GetLastError() != ERROR_IO_PENDING) {
        return false;
    }
    if (GetOverlappedResult(device->handle, &overlapped, &done, TRUE)) {
        return true;
    }
    const DWORD error = GetLastError();
    return error == ERROR_TIMEOUT || error == ERROR_SEM_TIMEOUT || error == WAIT_TIMEOUT;
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
std::string serialDeviceRefusal() {
    return std::string();
}

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
    HANDLE handle =
        CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return lastError();
    }
    device = new SerialDevice;
    device->handle = handle;
    device->ioEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    device->waitEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (device->ioEvent == nullptr || device->waitEvent == nullptr) {
        return lastError();
    }
    if (!SetCommMask(handle, 0)) {
        return lastError();
    }
    if (!SetupComm(handle, settings.inputQueueSize, settings.outputQueueSize)) {
        return lastError();
    }
    if (!PurgeComm(handle, kPurgeAll)) {
        return lastError();
    }
    COMMTIMEOUTS timeouts = byteTimeouts();
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
    received = 0;
    const std::int32_t settled = settleWait(device, true);
    if (device->holding && count > 0) {
        // Handed out at once, as the driver hands out a byte that is already there.
        device->holding = false;
        buffer[0] = device->heldByte;
        received = 1;
        return 0;
    }
    if (settled != 0) {
        return settled;
    }
    DWORD done = 0;
    OVERLAPPED overlapped{};
    overlapped.hEvent = device->ioEvent;
    BOOL started =
        ReadFile(device->handle, buffer, static_cast<DWORD>(count), nullptr, &overlapped);
    bool ok = finishTransfer(device, overlapped, started, done);
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
    written = 0;
    const std::int32_t settled = settleWait(device, true);
    if (settled != 0) {
        return settled;
    }
    DWORD done = 0;
    OVERLAPPED overlapped{};
    overlapped.hEvent = device->ioEvent;
    BOOL started = WriteFile(device->handle, data, static_cast<DWORD>(count), nullptr, &overlapped);
    bool ok = finishTransfer(device, overlapped, started, done);
    written = static_cast<std::int32_t>(done);
    return ok ? 0 : lastError();
}

SerialWake* createSerialWake() {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) {
        return nullptr;
    }
    SerialWake* wake = new SerialWake;
    wake->event = event;
    return wake;
}

void raiseSerialWake(SerialWake* wake) {
    if (wake != nullptr) {
        SetEvent(wake->event);
    }
}

void destroySerialWake(SerialWake* wake) {
    if (wake != nullptr) {
        CloseHandle(wake->event);
        delete wake;
    }
}

// A one-byte overlapped read without time-outs (it ends only when a byte arrives), waited for
// together with the wake-up; a wait that runs out leaves it under way for the next wait. A byte
// it got is held for the next read. Not WaitCommEvent: wine emulates that by polling.
std::int32_t waitSerialDevice(SerialDevice* device, std::int32_t milliseconds, SerialWake* wake,
                              bool& readable) {
    if (device->net != nullptr) {
        return waitNetDevice(device->net, milliseconds, wake, readable);
    }
    readable = device->holding;
    if (readable) {
        return 0;
    }
    const auto start = std::chrono::steady_clock::now();
    HANDLE wakeEvent = serialWakeEvent(wake);
    const DWORD limit = milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0;
    std::int32_t error = 0;
    if (!device->waitPending) {
        if (wakeEvent != nullptr && WaitForSingleObject(wakeEvent, 0) == WAIT_OBJECT_0) {
            return 0;
        }
        COMMTIMEOUTS untilByte{};
        untilByte.WriteTotalTimeoutMultiplier = 5;
        untilByte.WriteTotalTimeoutConstant = 10;
        if (!SetCommTimeouts(device->handle, &untilByte)) {
            return lastError();
        }
        device->waitOverlapped = OVERLAPPED{};
        device->waitOverlapped.hEvent = device->waitEvent;
        device->waitPending = true;
        if (!ReadFile(device->handle, &device->waitByte, 1, nullptr, &device->waitOverlapped) &&
            GetLastError() != ERROR_IO_PENDING) {
            error = lastError();
            device->waitPending = false;
            COMMTIMEOUTS timeouts = byteTimeouts();
            SetCommTimeouts(device->handle, &timeouts);
        }
    }
    if (device->waitPending) {
        HANDLE events[2] = {device->waitEvent, wakeEvent};
        const DWORD which =
            WaitForMultipleObjects(wakeEvent != nullptr ? 2 : 1, events, FALSE, limit);
        if (which == WAIT_TIMEOUT) {
            return 0;
        }
        // Ended by a byte, the device's failure or the wake-up (then cancelled, so that later
        // reads work at once).
        error = settleWait(device, which != WAIT_OBJECT_0);
    }
    readable = device->holding;
    if (error != 0 && !readable) {
        // A device that has gone fails at once: the wait still takes its time (or ends on the
        // wake-up), so that a caller waiting in a loop does not spin.
        const auto left = std::chrono::milliseconds(milliseconds) -
                          std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - start);
        if (left.count() > 0) {
            if (wakeEvent != nullptr) {
                WaitForSingleObject(wakeEvent, static_cast<DWORD>(left.count()));
            } else {
                Sleep(static_cast<DWORD>(left.count()));
            }
        }
    }
    return error;
}

std::int32_t closeSerialDevice(SerialDevice* device) {
    settleWait(device, true);
    HANDLE handle = device->handle;
    for (HANDLE event : {device->ioEvent, device->waitEvent}) {
        if (event != nullptr) {
            CloseHandle(event);
        }
    }
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

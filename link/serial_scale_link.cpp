#include "link/serial_scale_link.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "diag/job_log.h"
#include "diag/message_texts.h"
#include "diag/qm_com_exceptions.h"
#include "platform/platform.h"
#include "protocol/scale_protocol.h"

namespace {

using protocol::ACK;
using protocol::ETX;
using protocol::NAK;
using protocol::STX;

char blockCheck(const std::string& bytes, std::string::size_type length) {
    char bcc = 0;
    for (std::string::size_type i = 0; i < length; ++i) {
        bcc = static_cast<char>(bcc ^ bytes[i]);
    }
    return bcc;
}

}  // namespace

SerialScaleLink::SerialScaleLink(LineSettings lineSettings, LinkSettings linkSettings)
    : linkSettings(linkSettings), lineSettings(lineSettings) {}

SerialScaleLink::~SerialScaleLink() {
    if (serialPort.isOpen()) {
        serialPort.close();
    }
}

std::int32_t SerialScaleLink::close() {
    return serialPort.close();
}

StepResult SerialScaleLink::transfer(std::uint8_t& code, char& firstByte,
                                     const std::string& request, std::string& payload) {
    if (transferState != TransferState::Idle && transferState != TransferState::AwaitUnrequested &&
        stopping() && platform::monotonicMillis() >= giveUpAt) {
        return giveUp();
    }
    switch (transferState) {
        case TransferState::Idle:
            return startExchange(request);
        case TransferState::AwaitAck:
            return awaitAck();
        case TransferState::AwaitStx:
            return awaitStx();
        case TransferState::Content:
            return receiveContent();
        case TransferState::AwaitBcc:
            return awaitBcc(code, firstByte, payload);
        case TransferState::Discard:
        case TransferState::DiscardBcc:
            return discard();
        case TransferState::AwaitUnrequested:
            waitWithoutTimeout = true;
            transferState = TransferState::AwaitStx;
            return StepResult::CallAgain;
    }
    return StepResult::CallAgain;
}

StepResult SerialScaleLink::startExchange(const std::string& request) {
    sendFrame = request;
    const std::string::size_type n = sendFrame.size();
    waitWithoutTimeout = false;
    if (n > 0) {
        sendFrame[n - 1] = ETX;
    } else {
        sendFrame.push_back(ETX);
    }
    sendFrame.push_back(blockCheck(sendFrame, sendFrame.size()));
    sendLength = static_cast<std::int32_t>(sendFrame.size());
    graceStarted = false;
    stopping();
    send(sendFrame, sendLength);
    restartTimer();
    repeatCount = 0;
    receiveBuffer.clear();
    busy = true;
    transferState = TransferState::AwaitAck;
    return StepResult::CallAgain;
}

StepResult SerialScaleLink::awaitAck() {
    char byte = 0;
    if (readByte(byte)) {
        if (byte == ACK) {
            restartTimer();
            transferState = TransferState::AwaitStx;
        } else if (byte == NAK) {
            return repeatOrFail(true);
        }
    }
    if (transferState == TransferState::AwaitAck && timedOut(linkSettings.ackTimeout)) {
        return repeatOrFail(false);
    }
    return StepResult::CallAgain;
}

StepResult SerialScaleLink::repeatOrFail(bool pauseFirst) {
    // A job that is asked to stop sends nothing again.
    if (stopRequested()) {
        return giveUp();
    }
    if (repeatCount >= linkSettings.maxRepeats) {
        failExchange(Message::NotAcknowledged);
    }
    ++repeatCount;
    if (pauseFirst) {
        pauseUnlessStopped();
    }
    restartTimer();
    send(sendFrame, sendLength);
    return StepResult::CallAgain;
}

StepResult SerialScaleLink::awaitStx() {
    if (!waitWithoutTimeout && receiveTimedOut()) {
        return failReceive();
    }
    // Waiting without a time limit (for the greeting) blocks until a byte arrives or a stop
    // request wakes the port, instead of polling byte by byte. After a stop the short reads
    // take over again, so that a caller that keeps calling does not spin.
    if (waitWithoutTimeout && !stopRequested()) {
        bool readable = false;
        serialPort.waitReadable(kIdleWaitMs, readable);
        if (!readable) {
            return StepResult::CallAgain;
        }
    }
    char byte = 0;
    if (readByte(byte) && byte == STX) {
        if (waitWithoutTimeout) {
            waitWithoutTimeout = false;
            restartTimer();
        }
        receiveBuffer.push_back(byte);
        transferState = TransferState::Content;
    }
    return StepResult::CallAgain;
}

StepResult SerialScaleLink::receiveContent() {
    if (receiveTimedOut()) {
        return failReceive();
    }
    char byte = 0;
    if (readByte(byte)) {
        receiveBuffer.push_back(byte);
        if (byte == ETX) {
            transferState = TransferState::AwaitBcc;
        } else if (receiveBuffer.size() + 1 >= replyLimit) {
            // No record is that long: the frame is read past without being kept, then
            // refused like a damaged one.
            if (g_log != nullptr) {
                g_log->add("Reply frame longer than " + std::to_string(replyLimit) +
                           " bytes dropped");
            }
            receiveBuffer.clear();
            transferState = TransferState::Discard;
        }
    }
    return StepResult::CallAgain;
}

StepResult SerialScaleLink::discard() {
    if (receiveTimedOut()) {
        return failReceive();
    }
    char byte = 0;
    if (readByte(byte)) {
        if (transferState == TransferState::DiscardBcc) {
            transferState = TransferState::AwaitStx;
            send(std::string(1, NAK), 1);
        } else if (byte == ETX) {
            transferState = TransferState::DiscardBcc;
        }
    }
    return StepResult::CallAgain;
}

StepResult SerialScaleLink::awaitBcc(std::uint8_t& code, char& firstByte, std::string& payload) {
    if (receiveTimedOut()) {
        return failReceive();
    }
    char byte = 0;
    if (!readByte(byte)) {
        return StepResult::CallAgain;
    }
    receiveBuffer.push_back(byte);
    if (blockCheck(receiveBuffer, receiveBuffer.size() - 1) != byte) {
        receiveBuffer.clear();
        transferState = TransferState::AwaitStx;
        send(std::string(1, NAK), 1);
        return StepResult::CallAgain;
    }
    transferState = TransferState::Idle;
    busy = false;
    send(std::string(1, ACK), 1);
    pauseUnlessStopped();
    // A frame shorter than the header has no number or kind to hand back.
    code = receiveBuffer.size() > protocol::kNumberPosition + 1
               ? protocol::frameNumber(receiveBuffer)
               : 0;
    const bool hasContent = receiveBuffer.size() > protocol::kContentPosition;
    firstByte = hasContent ? receiveBuffer[protocol::kContentPosition] : '\0';
    payload = hasContent ? receiveBuffer.substr(protocol::kContentPosition) : std::string();
    return StepResult::Complete;
}

StepResult SerialScaleLink::open(std::uint8_t& code, std::string& identification) {
    switch (openState) {
        case OpenState::Start:
            return openPort();
        case OpenState::AwaitGreeting:
            return awaitGreeting();
        case OpenState::SwitchLine:
            return switchLine(code, identification);
    }
    return StepResult::CallAgain;
}

StepResult SerialScaleLink::openPort() {
    if (serialPort.configure(lineSettings.baudRate, lineSettings.format, lineSettings.handshake,
                             lineSettings.inputQueueSize, lineSettings.outputQueueSize) != 0) {
        failOpen();
    }
    if (serialPort.open(static_cast<std::int32_t>(linkSettings.port)) != 0) {
        failOpen();
    }
    openState = OpenState::AwaitGreeting;
    transferState = TransferState::AwaitUnrequested;
    return StepResult::CallAgain;
}

StepResult SerialScaleLink::awaitGreeting() {
    std::uint8_t code = 0;
    char firstByte = 0;
    std::string payload;
    if (transfer(code, firstByte, std::string(), payload) == StepResult::Complete) {
        openState = OpenState::SwitchLine;
    }
    return StepResult::CallAgain;
}

StepResult SerialScaleLink::switchLine(std::uint8_t& code, std::string& identification) {
    code = receiveBuffer.size() > protocol::kNumberPosition + 1
               ? protocol::frameNumber(receiveBuffer)
               : 0;
    // The identification runs up to the ETX before the block check.
    identification =
        receiveBuffer.size() >= protocol::kShortestGreeting
            ? receiveBuffer.substr(protocol::kIdentificationPosition,
                                   receiveBuffer.size() - protocol::kIdentificationPosition - 2)
            : "";
    serialPort.close();
    lineSettings.format.dataBits = 8;
    if (serialPort.configure(lineSettings.baudRate, lineSettings.format, lineSettings.handshake,
                             lineSettings.inputQueueSize, lineSettings.outputQueueSize) != 0) {
        failOpen();
    }
    if (serialPort.open(static_cast<std::int32_t>(linkSettings.port)) != 0) {
        failOpen();
    }
    openState = OpenState::Start;
    return StepResult::Complete;
}

void SerialScaleLink::wakeWaits() {
    serialPort.wake();
}

void SerialScaleLink::failOpen() {
    // The log tells a missing port from one the user may not open (e.g. not in the dialout
    // group) before the general message reaches the user.
    if (g_log != nullptr) {
        std::string detail =
            serialPort.errorText().empty() ? serialPort.systemErrorText() : serialPort.errorText();
        while (!detail.empty() && (detail.back() == '\n' || detail.back() == '\r')) {
            detail.pop_back();
        }
        g_log->add("Com " + std::to_string(linkSettings.port) + " (" + serialPort.deviceName() +
                   "): " + detail);
    }
    std::string text =
        g_messageTexts != nullptr ? g_messageTexts->text(Message::PortNotOpened) : "";
    char number[16];
    std::snprintf(number, sizeof number, "%d", static_cast<int>(linkSettings.port));
    openState = OpenState::Start;
    throw QmComExceptions(text + " Com: " + number);
}

void SerialScaleLink::failExchange(Message message) {
    transferState = TransferState::Idle;
    busy = false;
    throw QmComExceptions(message);
}

bool SerialScaleLink::readByte(char& byte) {
    std::string buffer;
    std::int32_t count = 1;
    serialPort.read(buffer, count);
    if (count != 1) {
        return false;
    }
    byte = buffer[0];
    return true;
}

void SerialScaleLink::send(const std::string& bytes, std::int32_t length) {
    std::int32_t count = length;
    serialPort.write(bytes, count);
}

void SerialScaleLink::restartTimer() {
    timerStart = platform::monotonicMillis();
}

bool SerialScaleLink::timedOut(double seconds) const {
    double elapsed = static_cast<double>(platform::monotonicMillis() - timerStart) * 0.001;
    return elapsed > seconds;
}

bool SerialScaleLink::receiveTimedOut() const {
    return timedOut(linkSettings.receiveTimeout);
}

StepResult SerialScaleLink::failReceive() {
    if (stopRequested()) {
        return giveUp();
    }
    failExchange(Message::NoAnswer);
}

bool SerialScaleLink::stopping() {
    if (!stopRequested()) {
        return false;
    }
    if (!graceStarted) {
        graceStarted = true;
        giveUpAt = platform::monotonicMillis() + kStopGraceMs;
    }
    return true;
}

StepResult SerialScaleLink::giveUp() {
    transferState = TransferState::Idle;
    busy = false;
    receiveBuffer.clear();
    return StepResult::Ended;
}

void SerialScaleLink::pauseUnlessStopped() {
    // Slept in short slices: a pause of up to a minute must not hold up a stop. The deadline is
    // kept on the steady clock itself: whole milliseconds would cut up to one off every pause.
    using Clock = std::chrono::steady_clock;
    constexpr auto kSlice = std::chrono::milliseconds(20);
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(linkSettings.pause);
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (now >= end || stopRequested()) {
            return;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(end - now, kSlice));
    }
}

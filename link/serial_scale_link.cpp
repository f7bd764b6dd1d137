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
    : linkSettings_(linkSettings), lineSettings_(lineSettings) {}

SerialScaleLink::~SerialScaleLink() {
    if (serialPort_.isOpen()) {
        serialPort_.close();
    }
}

StepResult SerialScaleLink::transfer(std::uint8_t& code, char& firstByte,
                                     const std::string& request, std::string& payload) {
    if (transferState_ != TransferState::Idle &&
        transferState_ != TransferState::AwaitUnrequested && stopping() &&
        platform::monotonicMillis() >= giveUpAt_) {
        return giveUp();
    }
    switch (transferState_) {
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
            waitWithoutTimeout_ = true;
            transferState_ = TransferState::AwaitStx;
            return StepResult::CallAgain;
    }
    return StepResult::CallAgain;
}

StepResult SerialScaleLink::startExchange(const std::string& request) {
    sendFrame_ = request;
    const std::string::size_type n = sendFrame_.size();
    waitWithoutTimeout_ = false;
    if (n > 0) {
        sendFrame_[n - 1] = ETX;
    } else {
        sendFrame_.push_back(ETX);
    }
    sendFrame_.push_back(blockCheck(sendFrame_, sendFrame_.size()));
    sendLength_ = static_cast<std::int32_t>(sendFrame_.size());
    graceStarted_ = false;
    stopping();
    send(sendFrame_, sendLength_);
    restartTimer();
    repeatCount_ = 0;
    receiveBuffer_.clear();
    busy_ = true;
    transferState_ = TransferState::AwaitAck;
    return StepResult::CallAgain;
}

StepResult SerialScaleLink::awaitAck() {
    char byte = 0;
    if (readByte(byte)) {
        if (byte == ACK) {
            restartTimer();
            transferState_ = TransferState::AwaitStx;
        } else if (byte == NAK) {
            return repeatOrFail(true);
        }
    }
    if (transferState_ == TransferState::AwaitAck && timedOut(linkSettings_.ackTimeout)) {
        return repeatOrFail(false);
    }
    return StepResult::CallAgain;
}

StepResult SerialScaleLink::repeatOrFail(bool pauseFirst) {
    // A job that is asked to stop sends nothing again.
    if (stopRequested()) {
        return giveUp();
    }
    if (repeatCount_ >= linkSettings_.maxRepeats) {
        failExchange(Message::NotAcknowledged);
    }
    ++repeatCount_;
    if (pauseFirst) {
        pauseUnlessStopped();
    }
    restartTimer();
    send(sendFrame_, sendLength_);
    return StepResult::CallAgain;
}

StepResult SerialScaleLink::awaitStx() {
    if (!waitWithoutTimeout_ && receiveTimedOut()) {
        return failReceive();
    }
    // Waiting without a time limit (for the greeting) blocks until a byte arrives or a stop
    // request wakes the port, instead of polling byte by byte. After a stop the short reads
    // take over again, so that a caller that keeps calling does not spin.
    if (waitWithoutTimeout_ && !stopRequested()) {
        bool readable = false;
        serialPort_.waitReadable(kIdleWaitMs, readable);
        if (!readable) {
            return StepResult::CallAgain;
        }
    }
    char byte = 0;
    if (readByte(byte) && byte == STX) {
        if (waitWithoutTimeout_) {
            waitWithoutTimeout_ = false;
            restartTimer();
        }
        receiveBuffer_.push_back(byte);
        transferState_ = TransferState::Content;
    }
    return StepResult::CallAgain;
}

StepResult SerialScaleLink::receiveContent() {
    if (receiveTimedOut()) {
        return failReceive();
    }
    char byte = 0;
    if (readByte(byte)) {
        receiveBuffer_.push_back(byte);
        if (byte == ETX) {
            transferState_ = TransferState::AwaitBcc;
        } else if (receiveBuffer_.size() + 1 >= replyLimit_) {
            // No record is that long: the frame is read past without being kept, then
            // refused like a damaged one.
            if (g_log != nullptr) {
                g_log->add("Reply frame longer than " + std::to_string(replyLimit_) +
                           " bytes dropped");
            }
            receiveBuffer_.clear();
            transferState_ = TransferState::Discard;
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
        if (transferState_ == TransferState::DiscardBcc) {
            transferState_ = TransferState::AwaitStx;
            send(std::string(1, NAK), 1);
        } else if (byte == ETX) {
            transferState_ = TransferState::DiscardBcc;
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
    receiveBuffer_.push_back(byte);
    if (blockCheck(receiveBuffer_, receiveBuffer_.size() - 1) != byte) {
        receiveBuffer_.clear();
        transferState_ = TransferState::AwaitStx;
        send(std::string(1, NAK), 1);
        return StepResult::CallAgain;
    }
    transferState_ = TransferState::Idle;
    busy_ = false;
    send(std::string(1, ACK), 1);
    pauseUnlessStopped();
    // A frame shorter than the header has no number or kind to hand back.
    code = receiveBuffer_.size() > protocol::kNumberPosition + 1
               ? protocol::frameNumber(receiveBuffer_)
               : 0;
    const bool hasContent = receiveBuffer_.size() > protocol::kContentPosition;
    firstByte = hasContent ? receiveBuffer_[protocol::kContentPosition] : '\0';
    payload = hasContent ? receiveBuffer_.substr(protocol::kContentPosition) : std::string();
    return StepResult::Complete;
}

StepResult SerialScaleLink::open(std::uint8_t& code, std::string& identification) {
    switch (openState_) {
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
    if (serialPort_.configure(lineSettings_.baudRate, lineSettings_.format, lineSettings_.handshake,
                              lineSettings_.inputQueueSize, lineSettings_.outputQueueSize) != 0) {
        failOpen();
    }
    if (serialPort_.open(static_cast<std::int32_t>(linkSettings_.port)) != 0) {
        failOpen();
    }
    openState_ = OpenState::AwaitGreeting;
    transferState_ = TransferState::AwaitUnrequested;
    return StepResult::CallAgain;
}

StepResult SerialScaleLink::awaitGreeting() {
    std::uint8_t code = 0;
    char firstByte = 0;
    std::string payload;
    if (transfer(code, firstByte, std::string(), payload) == StepResult::Complete) {
        openState_ = OpenState::SwitchLine;
    }
    return StepResult::CallAgain;
}

StepResult SerialScaleLink::switchLine(std::uint8_t& code, std::string& identification) {
    code = receiveBuffer_.size() > protocol::kNumberPosition + 1
               ? protocol::frameNumber(receiveBuffer_)
               : 0;
    // The identification runs up to the ETX before the block check.
    identification =
        receiveBuffer_.size() >= protocol::kShortestGreeting
            ? receiveBuffer_.substr(protocol::kIdentificationPosition,
                                    receiveBuffer_.size() - protocol::kIdentificationPosition - 2)
            : "";
    serialPort_.close();
    lineSettings_.format.dataBits = 8;
    if (serialPort_.configure(lineSettings_.baudRate, lineSettings_.format, lineSettings_.handshake,
                              lineSettings_.inputQueueSize, lineSettings_.outputQueueSize) != 0) {
        failOpen();
    }
    if (serialPort_.open(static_cast<std::int32_t>(linkSettings_.port)) != 0) {
        failOpen();
    }
    openState_ = OpenState::Start;
    return StepResult::Complete;
}

void SerialScaleLink::wakeWaits() {
    serialPort_.wake();
}

void SerialScaleLink::failOpen() {
    // The log tells a missing port from one the user may not open (e.g. not in the dialout
    // group) before the general message reaches the user.
    if (g_log != nullptr) {
        std::string detail = serialPort_.errorText().empty() ? serialPort_.systemErrorText()
                                                             : serialPort_.errorText();
        while (!detail.empty() && (detail.back() == '\n' || detail.back() == '\r')) {
            detail.pop_back();
        }
        g_log->add("Com " + std::to_string(linkSettings_.port) + " (" + serialPort_.deviceName() +
                   "): " + detail);
    }
    std::string text =
        g_messageTexts != nullptr ? g_messageTexts->text(Message::PortNotOpened) : "";
    char number[16];
    std::snprintf(number, sizeof number, "%d", static_cast<int>(linkSettings_.port));
    openState_ = OpenState::Start;
    throw QmComExceptions(text + " Com: " + number);
}

void SerialScaleLink::failExchange(Message message) {
    transferState_ = TransferState::Idle;
    busy_ = false;
    throw QmComExceptions(message);
}

bool SerialScaleLink::readByte(char& byte) {
    std::string buffer;
    std::int32_t count = 1;
    serialPort_.read(buffer, count);
    if (count != 1) {
        return false;
    }
    byte = buffer[0];
    return true;
}

void SerialScaleLink::send(const std::string& bytes, std::int32_t length) {
    std::int32_t count = length;
    serialPort_.write(bytes, count);
}

void SerialScaleLink::restartTimer() {
    timerStart_ = platform::monotonicMillis();
}

bool SerialScaleLink::timedOut(double seconds) const {
    double elapsed = static_cast<double>(platform::monotonicMillis() - timerStart_) * 0.001;
    return elapsed > seconds;
}

bool SerialScaleLink::receiveTimedOut() const {
    return timedOut(linkSettings_.receiveTimeout);
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
    if (!graceStarted_) {
        graceStarted_ = true;
        giveUpAt_ = platform::monotonicMillis() + kStopGraceMs;
    }
    return true;
}

StepResult SerialScaleLink::giveUp() {
    transferState_ = TransferState::Idle;
    busy_ = false;
    receiveBuffer_.clear();
    return StepResult::Ended;
}

void SerialScaleLink::pauseUnlessStopped() {
    // Slept in short slices: a pause of up to a minute must not hold up a stop. The deadline is
    // kept on the steady clock itself: whole milliseconds would cut up to one off every pause.
    using Clock = std::chrono::steady_clock;
    constexpr auto kSlice = std::chrono::milliseconds(20);
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(linkSettings_.pause);
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (now >= end || stopRequested()) {
            return;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(end - now, kSlice));
    }
}

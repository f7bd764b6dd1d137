#pragma once

#include <cstdint>
#include <string>

#include "diag/link_settings.h"
#include "diag/messages.h"
#include "link/scale_link.h"
#include "link/serial_port.h"
#include "platform/line_settings.h"

// The link to a scale over one serial port. A request is framed (its placeholder byte becomes
// ETX, a block check byte, the XOR of all bytes before it, is appended), sent and repeated
// until the scale acknowledges it (at most 1 + maxRepeats sends, NAKs and acknowledgement
// time-outs counted together); then the scale's reply is received, checked, acknowledged, and
// handed back. A reply with a wrong block check is answered with NAK and must be repeated
// within the same receive time-out. Time is measured with the monotonic clock.
class SerialScaleLink : public ScaleLink {
  public:
    SerialScaleLink(LineSettings lineSettings, LinkSettings linkSettings);
    // Closes the port.
    ~SerialScaleLink() override;

    StepResult transfer(std::uint8_t& code, char& firstByte, const std::string& request,
                        std::string& payload) override;
    StepResult open(std::uint8_t& code, std::string& identification) override;

    const SerialPort& port() const { return serialPort_; }
    const LineSettings& currentLineSettings() const { return lineSettings_; }

  protected:
    void wakeWaits() override;

  private:
    // The longest single wait for the greeting: a waiting job wakes about once a second. A
    // stop request ends the wait at once.
    static constexpr std::int32_t kIdleWaitMs = 1000;

    enum class TransferState : std::uint8_t {
        Idle = 0,
        AwaitAck = 1,
        AwaitStx = 2,
        Content = 3,
        AwaitBcc = 4,
        AwaitUnrequested = 5,
        Discard = 6,     // an overlong reply frame: read past until its ETX
        DiscardBcc = 7,  // its block check; then NAK
    };
    enum class OpenState : std::uint8_t { Start = 0, AwaitGreeting = 1, SwitchLine = 2 };

    StepResult startExchange(const std::string& request);
    StepResult awaitAck();
    StepResult awaitStx();
    StepResult receiveContent();
    StepResult awaitBcc(std::uint8_t& code, char& firstByte, std::string& payload);
    StepResult discard();

    StepResult openPort();
    StepResult awaitGreeting();
    StepResult switchLine(std::uint8_t& code, std::string& identification);
    [[noreturn]] void failOpen();

    // Throws error `number` after putting the exchange back to its start.
    [[noreturn]] void failExchange(Message message);
    // Sends the frame again (CallAgain), throws 24 when no repeat is left, or gives up (Ended) when
    // a stop was requested.
    StepResult repeatOrFail(bool pauseFirst);
    bool readByte(char& byte);
    void send(const std::string& bytes, std::int32_t length);
    void restartTimer();
    bool timedOut(double seconds) const;
    bool receiveTimedOut() const;
    // Throws 25, or gives up (Ended) when a stop was requested.
    StepResult failReceive();
    // Whether a stop was requested; starts the grace time of the exchange under way.
    bool stopping();
    // Puts the exchange back to its start and returns Ended.
    StepResult giveUp();
    // Sleeps `pause` milliseconds, less when a stop is requested meanwhile.
    void pauseUnlessStopped();

    LinkSettings linkSettings_;
    TransferState transferState_ = TransferState::Idle;
    std::string receiveBuffer_;
    OpenState openState_ = OpenState::Start;
    SerialPort serialPort_;
    LineSettings lineSettings_;
    std::string sendFrame_;
    std::int32_t sendLength_ = 0;
    std::uint64_t timerStart_ = 0;
    bool waitWithoutTimeout_ = false;
    // After a stop request: when the exchange under way is given up.
    bool graceStarted_ = false;
    std::uint64_t giveUpAt_ = 0;
    // Counted in a wide type, so that every maxRepeats of the configuration file works.
    std::uint32_t repeatCount_ = 0;
};

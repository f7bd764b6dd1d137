#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/step_result.h"

// The link to one scale: framed, acknowledged request/reply exchanges and the connection start
// with the scale's greeting. Every operation is a non-blocking step (StepResult): CallAgain,
// Complete, and for transfer Ended = given up after a stop request. Failures are thrown as
// QmComExceptions.
class ScaleLink {
  public:
    // One step of an exchange. `request` is the frame without ETX and block check, ending with
    // one placeholder byte; it is read only on the call that starts the exchange. On completion
    // `code` is the reply's scale number, `firstByte` its kind and `payload` the reply from its
    // kind on, ETX and block check included.
    virtual StepResult transfer(std::uint8_t& code, char& firstByte, const std::string& request,
                                std::string& payload) = 0;
    // One step of the connection start: opens the port, waits without a time limit for the
    // scale's greeting and switches the line to 8 data bits.
    virtual StepResult open(std::uint8_t& code, std::string& identification) = 0;
    virtual ~ScaleLink() = default;

    // True from the sending of a request until its reply is complete or the exchange failed.
    bool isBusy() const { return busy_; }

    // Asks the link to let the job stop soon: from now on a frame is not sent again, and an
    // exchange under way (or started later) is given up (transfer returns Ended) when it is not
    // complete within kStopGraceMs; a wait for the scale's greeting ends at once. Callable
    // from any thread.
    void requestStop() {
        stopRequested_ = true;
        wakeWaits();
    }
    bool stopRequested() const { return stopRequested_; }
    static constexpr std::uint32_t kStopGraceMs = 1000;

    // The longest reply frame taken, STX to block check; a longer one is dropped and answered
    // with NAK. The job sets it from the largest record its tables can describe.
    void setReplyLimit(std::size_t bytes) { replyLimit_ = bytes; }
    static constexpr std::size_t kDefaultReplyLimit = 64 * 1024;

  protected:
    // Ends a blocking wait of the link at once, and every later one; called by requestStop on
    // the requesting thread.
    virtual void wakeWaits() {}

    bool busy_ = false;
    std::size_t replyLimit_ = kDefaultReplyLimit;

  private:
    std::atomic<bool> stopRequested_{false};
};

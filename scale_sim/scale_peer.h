// The simulated scale's protocol: greeting, acknowledgements, replies, stored records and the
// fault injection used by tests.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>

#include "scale_sim/pty_line.h"
#include "scale_sim/scale_tables.h"

namespace scale_sim {

struct PeerOptions {
    int scaleNumber = 1;
    std::string identification = "SIMSCALE0001";
    int ackTimeoutMs = 2000;  // wait for the program's ACK/NAK of a frame of ours
    int maxRepeats = 5;       // repeats of a frame of ours after NAK or time-out
    int settleMs = 30;        // quiet time after the program's configuration before the greeting
    bool echo = false;        // echo every byte, no protocol at all
    // Fault injection.
    int nakFirst = 0;              // answer the first k good frames with NAK
    int badBccFirst = 0;           // corrupt the block check of the first k replies sent
    bool neverAck = false;         // never acknowledge a frame
    int ackStores = -1;            // acknowledge k record frames, then none in that connection
    bool silentAfterAck = false;   // acknowledge, but never reply
    std::string stray;             // bytes sent before the STX of every reply
    char endReplyDigit = 0;        // end a table with "w" and this digit instead of "q"
    bool holdGreeting = false;     // greet only after a release
    int pauseAfter = 0;            // after the k-th record reply, answer nothing until a release
    std::string releaseFile;       // a release: this file exists, or SIGUSR1
    bool vanishOnRelease = false;  // end at a release: the device goes away under the program
    int qStarSign = -1;            // table that "q*" serves; -1: lowest data sign of the number
};

// Transcript of the conversation, one line per event, in the escaped text form:
//   open | hangup                       the program purged (opened) / closed the port
//   rx <frame> | rx-ack | rx-nak        a frame / acknowledgement from the program
//   tx <frame> | tx-ack | tx-nak        a frame / acknowledgement sent
//   store <number> <sign> <record>      a record received and stored
class Transcript {
  public:
    ~Transcript();
    bool open(const std::string& path);
    void line(const std::string& text);

  private:
    std::FILE* file_ = nullptr;
};

class ScalePeer {
  public:
    ScalePeer(PtyLine& line, ScaleTables& tables, Transcript& transcript,
              const PeerOptions& options);
    // Runs until `stop` becomes non-zero. `release` counts SIGUSR1 signals.
    void run(const volatile std::sig_atomic_t& stop, const volatile std::sig_atomic_t& release);

  private:
    using Clock = std::chrono::steady_clock;
    enum class State { WaitOpen, Settle, Greeting, WaitSwitch, Session };

    void onPurge(Clock::time_point now);
    void onHangup(Clock::time_point now);
    void observeSettings(Clock::time_point now);
    void startConnection();
    bool readyToGreet(Clock::time_point now) const;
    void onByte(char byte);
    void onFrame(const std::string& frame);
    void onAcknowledgement(bool positive);
    void answer(const std::string& request);
    void sendOwnFrame();
    void sendGreeting();
    bool released() const;
    std::string makeFrame(const std::string& numberDigits, const std::string& content) const;

    PtyLine& line_;
    ScaleTables& tables_;
    Transcript& transcript_;
    PeerOptions options_;
    bool model700_ = false;

    State state_ = State::WaitOpen;
    bool closed_ = true;
    Clock::time_point lastPurge_{};
    // The line's settings as last read back, and when they last changed.
    std::string settings_;
    Clock::time_point lastSettingsChange_{};
    // A hang-up is acted on only once it has lasted: during the switch to 8 data bits the
    // program closes and reopens the port, and that close is no end of the connection.
    bool hangupSeen_ = false;
    Clock::time_point hangupSince_{};
    int framesThisConnection_ = 0;
    bool releaseSeen_ = false;
    const volatile std::sig_atomic_t* releaseCount_ = nullptr;

    // Receiving.
    std::string frame_;
    bool inFrame_ = false;
    bool awaitingBcc_ = false;
    int naksLeft_ = 0;

    // The frame of ours that waits for ACK/NAK.
    std::string pending_;
    bool pendingIsGreeting_ = false;
    bool pendingIsRecord_ = false;
    bool pendingEndsSession_ = false;
    int pendingRepeats_ = 0;
    Clock::time_point pendingSentAt_{};
    int corruptLeft_ = 0;

    // A request held back while paused after the k-th record.
    int recordsAcknowledged_ = 0;
    int ackStoresLeft_ = -1;  // record frames still to acknowledge (--ack-stores; -1: all)
    bool deaf_ = false;       // acknowledges nothing any more (--ack-stores)
    bool paused_ = false;
    std::string deferred_;
};

}  // namespace scale_sim

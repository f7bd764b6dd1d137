#include "scale_sim/scale_peer.h"

#include <sys/stat.h>

#include <cstdlib>

#include "scale_sim/escaped_text.h"

namespace scale_sim {

namespace {

constexpr char STX = 0x02;
constexpr char ETX = 0x03;
constexpr char ACK = 0x06;
constexpr char NAK = 0x15;
constexpr char ETB = 0x17;
constexpr char kModel700Record = 0x1C;

char blockCheck(const std::string& bytes, std::size_t length) {
    char bcc = 0;
    for (std::size_t i = 0; i < length; ++i) {
        bcc = static_cast<char>(bcc ^ bytes[i]);
    }
    return bcc;
}

std::string signText(unsigned char sign) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", sign);
    return text;
}

// Type 109, variant 74, model 700: the scale speaks the model-700 letters.
bool isModel700(const std::string& identification) {
    return identification.size() == 10 && std::atoi(identification.substr(0, 3).c_str()) == 109 &&
           std::atoi(identification.substr(3, 2).c_str()) == 74 &&
           std::atoi(identification.substr(7, 3).c_str()) == 700;
}

}  // namespace

Transcript::~Transcript() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

bool Transcript::open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "wb");
    return file_ != nullptr;
}

void Transcript::line(const std::string& text) {
    if (file_ != nullptr) {
        std::fputs(text.c_str(), file_);
        std::fputc('\n', file_);
        std::fflush(file_);
    }
}

ScalePeer::ScalePeer(PtyLine& line, ScaleTables& tables, Transcript& transcript,
                     const PeerOptions& options)
    : line_(line),
      tables_(tables),
      transcript_(transcript),
      options_(options),
      model700_(isModel700(options.identification)),
      naksLeft_(options.nakFirst),
      corruptLeft_(options.badBccFirst) {
    ackStoresLeft_ = options.ackStores;
}

bool ScalePeer::released() const {
    if (releaseCount_ != nullptr && *releaseCount_ != 0) {
        return true;
    }
    struct stat info {};
    return !options_.releaseFile.empty() && stat(options_.releaseFile.c_str(), &info) == 0;
}

void ScalePeer::run(const volatile std::sig_atomic_t& stop,
                    const volatile std::sig_atomic_t& release) {
    releaseCount_ = &release;
    settings_ = line_.settingsSnapshot();
    while (stop == 0) {
        if (options_.vanishOnRelease && released()) {
            transcript_.line("vanish");
            return;
        }
        PtyLine::Input input = line_.wait(5);
        Clock::time_point now = Clock::now();
        if (input.hangup) {
            onHangup(now);
        } else {
            hangupSeen_ = false;  // the port is open (a closed one reports its hang-up at once)
        }
        if (input.purged) {
            onPurge(now);
        }
        for (char byte : input.data) {
            onByte(byte);
        }
        observeSettings(now);
        if (options_.echo) {
            continue;
        }
        if (state_ == State::Settle && readyToGreet(now) &&
            (!options_.holdGreeting || released())) {
            sendGreeting();
        }
        if (!pending_.empty() &&
            now - pendingSentAt_ >= std::chrono::milliseconds(options_.ackTimeoutMs)) {
            if (pendingRepeats_ >= options_.maxRepeats) {
                transcript_.line("giveup");
                pending_.clear();
            } else {
                ++pendingRepeats_;
                sendOwnFrame();
            }
        }
        if (paused_ && released()) {
            paused_ = false;
            if (!deferred_.empty()) {
                std::string request = deferred_;
                deferred_.clear();
                answer(request);
            }
        }
    }
}

// Reads the line's settings back. The program configures the port after each open; once the
// speed has left the start settings and nothing has changed for the settle time, the program
// is done with it. The greeting puts the start settings back, so the program's configuration
// at 8 data bits shows that it has switched the line; the first request of a connection puts
// them back again, so the configuration of the program's next open shows as well.
void ScalePeer::observeSettings(Clock::time_point now) {
    std::string settings = line_.settingsSnapshot();
    if (settings == settings_) {
        return;
    }
    settings_ = settings;
    lastSettingsChange_ = now;
    hangupSeen_ = false;
    if (!line_.configuredByProgram()) {
        return;
    }
    if (state_ == State::Greeting || state_ == State::WaitSwitch) {
        // The program has reopened the port at 8 data bits: it took the greeting, even if its
        // acknowledgement has not been read yet.
        if (pendingIsGreeting_) {
            pending_.clear();
        }
        transcript_.line("open");
        state_ = State::Session;
    } else if (state_ == State::WaitOpen ||
               (state_ == State::Session && framesThisConnection_ > 0)) {
        startConnection();
    }
}

bool ScalePeer::readyToGreet(Clock::time_point now) const {
    auto quiet = std::chrono::milliseconds(options_.settleMs);
    if (now - lastPurge_ < quiet || now - lastSettingsChange_ < quiet) {
        return false;
    }
    // Should the program have configured the port before the start settings were put back,
    // its speed never leaves them: greet after a longer quiet time all the same.
    return line_.configuredByProgram() || now - lastPurge_ >= std::chrono::milliseconds(500);
}

void ScalePeer::onHangup(Clock::time_point now) {
    if (closed_) {
        return;
    }
    if (!hangupSeen_) {
        hangupSeen_ = true;
        hangupSince_ = now;
    }
    // Under wine a port's open is made of several opens and closes of the device, and while
    // the program switches the line it closes the port and opens it again at once: a hang-up
    // that ends within a moment belongs to an older open and is no end of the connection. Only
    // a port that stays closed is closed.
    bool switching = state_ == State::Greeting || state_ == State::WaitSwitch;
    auto lasting = std::chrono::milliseconds(switching ? 1000 : 100);
    if (now - hangupSince_ < lasting) {
        return;
    }
    transcript_.line("hangup");
    closed_ = true;
    hangupSeen_ = false;
    line_.resetSettings();
    settings_ = line_.settingsSnapshot();
    if (!options_.echo) {
        pending_.clear();
        state_ = State::WaitOpen;
    }
}

void ScalePeer::onPurge(Clock::time_point now) {
    lastPurge_ = now;
    hangupSeen_ = false;
    if (options_.echo) {
        closed_ = false;
        return;
    }
    switch (state_) {
        case State::WaitOpen:
            startConnection();
            break;
        case State::Session:
            // The purges of the reopen at 8 data bits may come after the switch was seen; a
            // purge after the program has talked in this connection is a new connection whose
            // close was too short to be seen.
            if (closed_ || framesThisConnection_ > 0) {
                startConnection();
            }
            break;
        case State::Settle:
        case State::Greeting:
        case State::WaitSwitch:
            // The same open (its purges come before and after the configuration), or the
            // reopen at 8 data bits.
            break;
    }
    closed_ = false;
}

// A new connection: greet once the program has configured the port.
void ScalePeer::startConnection() {
    transcript_.line("open");
    closed_ = false;
    inFrame_ = false;
    awaitingBcc_ = false;
    frame_.clear();
    pending_.clear();
    framesThisConnection_ = 0;
    deaf_ = false;
    state_ = State::Settle;
}

void ScalePeer::sendGreeting() {
    line_.resetSettings();
    settings_ = line_.settingsSnapshot();
    char number[8];
    std::snprintf(number, sizeof number, "%02d", options_.scaleNumber);
    pending_ = makeFrame(number, std::string(1, 'i') + options_.identification);
    pendingIsGreeting_ = true;
    pendingIsRecord_ = false;
    pendingEndsSession_ = false;
    pendingRepeats_ = 0;
    state_ = State::Greeting;
    sendOwnFrame();
}

std::string ScalePeer::makeFrame(const std::string& numberDigits,
                                 const std::string& content) const {
    std::string frame;
    frame += STX;
    frame += ETB;
    frame += ']';
    frame += numberDigits;
    frame += ETB;
    frame += content;
    frame += ETX;
    frame += blockCheck(frame, frame.size());
    return frame;
}

void ScalePeer::sendOwnFrame() {
    std::string bytes = pending_;
    if (!pendingIsGreeting_ && corruptLeft_ > 0) {
        --corruptLeft_;
        bytes.back() = static_cast<char>(bytes.back() ^ 0x5A);
    }
    if (!pendingIsGreeting_ && !options_.stray.empty()) {
        line_.send(options_.stray);
    }
    line_.send(bytes);
    transcript_.line("tx " + escapeBytes(bytes));
    pendingSentAt_ = Clock::now();
}

void ScalePeer::onByte(char byte) {
    if (options_.echo) {
        line_.send(std::string(1, byte));
        return;
    }
    if (!inFrame_) {
        if (byte == STX) {
            inFrame_ = true;
            frame_.assign(1, byte);
        } else if (byte == ACK || byte == NAK) {
            onAcknowledgement(byte == ACK);
        }
        return;
    }
    frame_ += byte;
    if (awaitingBcc_) {
        inFrame_ = false;
        awaitingBcc_ = false;
        std::string frame;
        frame.swap(frame_);
        onFrame(frame);
    } else if (byte == ETX) {
        awaitingBcc_ = true;
    }
}

void ScalePeer::onAcknowledgement(bool positive) {
    transcript_.line(positive ? "rx-ack" : "rx-nak");
    if (pending_.empty()) {
        return;
    }
    if (!positive) {
        if (pendingRepeats_ >= options_.maxRepeats) {
            transcript_.line("giveup");
            pending_.clear();
            return;
        }
        ++pendingRepeats_;
        sendOwnFrame();
        return;
    }
    pending_.clear();
    if (pendingIsGreeting_ && state_ == State::Greeting) {
        state_ = State::WaitSwitch;
    }
    if (pendingEndsSession_) {
        state_ = State::WaitOpen;
    }
    if (pendingIsRecord_) {
        ++recordsAcknowledged_;
        if (options_.pauseAfter > 0 && recordsAcknowledged_ == options_.pauseAfter && !released()) {
            paused_ = true;
        }
    }
}

void ScalePeer::onFrame(const std::string& frame) {
    transcript_.line("rx " + escapeBytes(frame));
    if (framesThisConnection_++ == 0) {
        // The program configures the port before it sends anything: put the start settings
        // back now, so that its next open's configuration is a real change (under wine a
        // settings call that changes nothing a pseudo-terminal can hold fails) and shows.
        line_.resetSettings();
        settings_ = line_.settingsSnapshot();
    }
    if (blockCheck(frame, frame.size() - 1) != frame.back()) {
        line_.send(std::string(1, NAK));
        transcript_.line("tx-nak");
        return;
    }
    if (options_.neverAck) {
        return;
    }
    // A record frame beyond the allowed number stops every acknowledgement of this connection,
    // as a scale that hangs in the middle of a table.
    const char kind = frame.size() > 6 ? frame[6] : '\0';
    if (ackStoresLeft_ >= 0 && (kind == 'd' || kind == kModel700Record) && ackStoresLeft_-- == 0) {
        deaf_ = true;
    }
    if (deaf_) {
        return;
    }
    if (naksLeft_ > 0) {
        --naksLeft_;
        line_.send(std::string(1, NAK));
        transcript_.line("tx-nak");
        return;
    }
    line_.send(std::string(1, ACK));
    transcript_.line("tx-ack");
    if (state_ != State::Session) {
        // A request without a seen switch of the line: the program is talking, so talk back.
        state_ = State::Session;
    }
    if (options_.silentAfterAck) {
        return;
    }
    if (paused_) {
        deferred_ = frame;
        return;
    }
    answer(frame);
}

// Answers a request frame: the reply carries the request's header number.
void ScalePeer::answer(const std::string& request) {
    std::string digits = request.size() >= 5 ? request.substr(3, 2) : std::string("00");
    int number = std::atoi(digits.c_str());
    std::string content = request.size() >= 8 ? request.substr(6, request.size() - 8) : "";
    char kind = content.empty() ? '\0' : content[0];
    std::string end =
        options_.endReplyDigit != 0 ? std::string("w") + options_.endReplyDigit : std::string("q");
    std::string reply = "q";
    bool isRecord = false;
    bool endsSession = false;
    bool tableRequest = false;
    unsigned char sign = 0;
    if (kind == 'u' && content.size() >= 2) {
        tableRequest = true;
        sign = static_cast<unsigned char>(content[1]);
    } else if (kind == 'q' && content.size() >= 2 && content[1] == '*') {
        if (options_.qStarSign >= 0) {
            tableRequest = true;
            sign = static_cast<unsigned char>(options_.qStarSign);
        } else {
            tableRequest = tables_.firstDataSign(number, sign);
        }
        if (!tableRequest) {
            reply = end;
        }
    } else if ((kind == 'd' || kind == kModel700Record) && content.size() >= 2) {
        unsigned char storeSign = static_cast<unsigned char>(content[1]);
        std::string record = content.substr(1);
        tables_.store(number, storeSign, record);
        transcript_.line("store " + digits + " " + signText(storeSign) + " " + escapeBytes(record));
    } else if (kind == 'e' || (kind == 'q' && content.size() >= 2 && content[1] == '&')) {
        endsSession = true;
    }
    if (tableRequest) {
        std::string record;
        if (tables_.next(number, sign, record)) {
            reply = std::string(1, model700_ ? kModel700Record : 'd') + record;
            isRecord = true;
        } else {
            reply = end;
        }
    }
    pending_ = makeFrame(digits, reply);
    pendingIsGreeting_ = false;
    pendingIsRecord_ = isRecord;
    pendingEndsSession_ = endsSession;
    pendingRepeats_ = 0;
    sendOwnFrame();
}

}  // namespace scale_sim

// The telnet layer of a network serial port that speaks the COM-PORT-OPTION (RFC 2217): option
// negotiation, the subnegotiations that set the line, and the escape byte IAC (FFh), which is
// doubled in data. Pure code without I/O: the device feeds it the bytes it receives and sends
// what it hands out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/line_settings.h"

namespace platform {

class Rfc2217Codec {
  public:
    static constexpr unsigned char kIac = 0xFF;

    // `settings`: the line the server is to set once it accepts the COM-PORT-OPTION.
    explicit Rfc2217Codec(const LineSettings& settings);

    // The first bytes of a connection: WILL and DO BINARY, WILL and DO SUPPRESS-GO-AHEAD, WILL
    // COM-PORT-OPTION.
    std::string start();

    // Takes received bytes, in pieces of any size: data bytes are appended to `data`, the telnet
    // layer is consumed (answers wait in takeOutput()).
    void receive(const char* bytes, std::size_t count, std::string& data);

    // Bytes to send now (answers to the server's negotiation, the line settings, a purge).
    std::string takeOutput();

    // Asks the server to discard both of its buffers.
    void purge();

    // The server accepted the COM-PORT-OPTION and answered every setting of the line.
    bool lineSet() const;
    // The server refused the COM-PORT-OPTION (DONT), or will not take BINARY.
    bool refused() const { return refused_; }

    // One text per answer of the server that differs from what was asked, e.g. "data size 8
    // instead of 7"; taken out by the call.
    std::vector<std::string> takeNotes();

    // `data` with every IAC doubled.
    static std::string escape(const char* data, std::size_t count);

  private:
    enum class State : std::uint8_t { Data, Iac, Verb, Sub, SubIac };
    struct Setting {
        unsigned char code;
        std::string value;  // as sent
        bool answered;
    };

    void onVerb(unsigned char verb, unsigned char option);
    void onSubnegotiation();
    void sendVerb(unsigned char verb, unsigned char option);
    void sendSetting(unsigned char code, const std::string& value);
    void sendLine();

    LineSettings settings_;
    State state_ = State::Data;
    unsigned char verb_ = 0;
    std::string sub_;
    std::string output_;
    std::vector<Setting> asked_;
    std::vector<std::string> notes_;
    // Options this side has enabled (WILL sent and taken) and asked the server for (DO sent).
    bool weWill_[256] = {};
    bool weDo_[256] = {};
    bool comPortAccepted_ = false;
    bool refused_ = false;
};

}  // namespace platform

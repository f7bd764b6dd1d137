// Ports on the network: the lines of "Kwlink.ports" and the telnet layer of the COM-PORT-OPTION.
#include <gtest/gtest.h>

#include <string>

#include "platform/network_ports.h"
#include "platform/rfc2217_codec.h"

namespace {

using platform::Rfc2217Codec;

// Telnet bytes, written out.
constexpr char IAC = '\xFF', SB = '\xFA', SE = '\xF0', WILL = '\xFB', WONT = '\xFC', DO = '\xFD',
               DONT = '\xFE', COM = 44, BIN = 0, SGA = 3;

std::string verb(char v, char option) {
    return {IAC, v, option};
}

std::string sub(char code, const std::string& value) {
    return std::string{IAC, SB, COM, code} + value + std::string{IAC, SE};
}

LineSettings line(std::uint8_t dataBits) {
    LineSettings settings;
    settings.format.dataBits = dataBits;
    return settings;
}

// What the codec sends for 9600 baud, `dataBits`, odd parity, one stop bit, no flow control.
std::string setLine(char dataBits) {
    return sub(1, std::string("\x00\x00\x25\x80", 4)) + sub(2, {dataBits}) + sub(3, "\x02") +
           sub(4, "\x01") + sub(5, "\x01");
}

std::string feed(Rfc2217Codec& codec, const std::string& bytes) {
    std::string data;
    codec.receive(bytes.data(), bytes.size(), data);
    return data;
}

struct PortsCase {
    const char* text;
    bool ok;
    const char* badLine;
};

TEST(NetworkPorts, LinesOfTheFile) {
    const PortsCase cases[] = {
        {"5;rfc2217://192.0.2.7:4001\n6;tcp://scale3.shop.lan:3001\r\n", true, ""},
        {"# comment\n\n7;tcp://[2001:db8::5]:3001\n", true, ""},
        {"5;telnet://192.0.2.7:4001\n", false, "5;telnet://192.0.2.7:4001"},
        {"5;rfc2217://192.0.2.7\n", false, "5;rfc2217://192.0.2.7"},
        {"5;tcp://host:65536\n", false, "5;tcp://host:65536"},
        {"5;tcp://:3001\n", false, "5;tcp://:3001"},
        {"x;tcp://host:3001\n", false, "x;tcp://host:3001"},
        {"0;tcp://host:3001\n", false, "0;tcp://host:3001"},
        {"5 tcp://host:3001\n", false, "5 tcp://host:3001"},
        {"5;tcp://[2001:db8::5:3001\n", false, "5;tcp://[2001:db8::5:3001"},
        {"5;tcp://2001:db8::5:3001\n", false, "5;tcp://2001:db8::5:3001"},
    };
    for (const PortsCase& c : cases) {
        platform::NetworkPorts ports;
        std::string bad;
        EXPECT_EQ(platform::parseNetworkPorts(c.text, ports, bad), c.ok) << c.text;
        EXPECT_EQ(bad, c.badLine);
    }
    platform::NetworkPorts ports;
    std::string bad;
    ASSERT_TRUE(platform::parseNetworkPorts("5;rfc2217://h:1\n7;tcp://[::1]:3001", ports, bad));
    EXPECT_TRUE(ports.at(5).rfc2217);
    EXPECT_EQ(ports.at(7).host, "::1");
    EXPECT_EQ(ports.at(7).service, "3001");
    EXPECT_FALSE(ports.at(7).rfc2217);
    EXPECT_EQ(ports.at(7).address, "tcp://[::1]:3001");
}

// The start, the server's acceptance, and the line set at 7 and at 8 data bits.
TEST(Rfc2217Codec, NegotiatesAndSetsTheLine) {
    for (char dataBits : {7, 8}) {
        Rfc2217Codec codec(line(static_cast<std::uint8_t>(dataBits)));
        EXPECT_EQ(codec.start(), verb(WILL, BIN) + verb(DO, BIN) + verb(WILL, SGA) + verb(DO, SGA) +
                                     verb(WILL, COM));
        // Agreement to what was asked needs no answer; DO COM-PORT-OPTION brings the line.
        EXPECT_EQ(feed(codec, verb(DO, BIN) + verb(WILL, BIN) + verb(DO, SGA) + verb(DO, COM)), "");
        EXPECT_EQ(codec.takeOutput(), setLine(dataBits));
        EXPECT_FALSE(codec.lineSet());
        feed(codec, sub(101, std::string("\x00\x00\x25\x80", 4)) + sub(102, {dataBits}) +
                        sub(103, "\x02") + sub(104, "\x01"));
        EXPECT_FALSE(codec.lineSet());
        feed(codec, sub(105, "\x01"));
        EXPECT_TRUE(codec.lineSet());
        EXPECT_TRUE(codec.takeNotes().empty());
        codec.purge();
        EXPECT_EQ(codec.takeOutput(), sub(12, "\x03"));
        EXPECT_FALSE(codec.refused());
    }
}

struct AnswerCase {
    std::string received;
    std::string answer;
    bool refused;
};

// Options nobody asked for are refused; a refusal of the COM-PORT-OPTION or of BINARY ends it.
TEST(Rfc2217Codec, AnswersTheServersNegotiation) {
    const AnswerCase cases[] = {
        {verb(DO, 24), verb(WONT, 24), false},                        // terminal type
        {verb(WILL, 1), verb(DONT, 1), false},                        // echo
        {verb(WILL, COM), verb(DO, COM), false},                      // offered by the server too
        {verb(DONT, SGA), verb(WONT, SGA), false},                    // taken back
        {verb(WONT, SGA) + verb(WONT, SGA), verb(DONT, SGA), false},  // answered once
        {verb(DONT, COM), verb(WONT, COM), true},
        {verb(WONT, BIN), verb(DONT, BIN), true},
        {std::string{IAC, '\xF1'} + verb(DO, 99), verb(WONT, 99), false},  // NOP first
    };
    for (const AnswerCase& c : cases) {
        Rfc2217Codec codec(line(7));
        codec.start();
        EXPECT_EQ(feed(codec, c.received), "");
        EXPECT_EQ(codec.takeOutput(), c.answer);
        EXPECT_EQ(codec.refused(), c.refused);
        EXPECT_FALSE(codec.lineSet());
    }
}

// A server that cannot hold a setting answers another value: noted once, with both values.
TEST(Rfc2217Codec, NotesAnswersThatDiffer) {
    Rfc2217Codec codec(line(7));
    codec.start();
    feed(codec, verb(DO, COM));
    codec.takeOutput();
    feed(codec, sub(101, std::string("\x00\x00\x4B\x00", 4)) + sub(102, "\x08") + sub(103, "\x01") +
                    sub(104, "\x01") + sub(105, "\x01") + sub(102, "\x05"));
    EXPECT_TRUE(codec.lineSet());
    const std::vector<std::string> notes = codec.takeNotes();
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0], "baud rate 19200 instead of 9600");
    EXPECT_EQ(notes[1], "data size 8 instead of 7");
    EXPECT_EQ(notes[2], "parity 1 instead of 2");
}

// FFh is doubled on the way out and undoubled on the way in, also when the pair or a command
// is cut between two reads; nothing of the telnet layer reaches the data.
TEST(Rfc2217Codec, EscapeByteAcrossReads) {
    EXPECT_EQ(Rfc2217Codec::escape("a\xFF\xFF"
                                   "b",
                                   4),
              "a\xFF\xFF\xFF\xFF"
              "b");
    const std::string wire = std::string("A") + IAC + IAC + "B" + verb(DO, 77) +
                             sub(101, std::string("\x00\x00\xFF\xFF\x25\x80", 6)) + "\x02" + IAC +
                             IAC + "\x03" + sub(112, "\x03") + IAC + IAC;
    const std::string data = std::string(
        "A\xFF"
        "B\x02\xFF\x03\xFF");
    for (std::size_t cut = 0; cut <= wire.size(); ++cut) {
        Rfc2217Codec codec(line(8));
        codec.start();
        std::string received = feed(codec, wire.substr(0, cut));
        received += feed(codec, wire.substr(cut));
        EXPECT_EQ(received, data) << "cut at " << cut;
        EXPECT_EQ(codec.takeOutput(), verb(WONT, 77));
    }
    Rfc2217Codec codec(line(8));
    std::string byByte;
    for (char c : wire) {
        byByte += feed(codec, std::string(1, c));
    }
    EXPECT_EQ(byByte, data);
}

}  // namespace

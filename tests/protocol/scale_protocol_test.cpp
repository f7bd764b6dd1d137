// The words spoken with the scale: the requests the job builds and how it reads the replies.
// Expected bytes are written out by hand.
#include "protocol/scale_protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using protocol::Reply;

TEST(ScaleProtocol, BuildsEveryRequestAndTheModel700Letters) {
    const std::string h = protocol::header(1);
    struct Case {
        std::string built;
        std::string wire;
    };
    const std::vector<Case> cases = {
        {h, std::string("\x02\x17]01\x17")},
        {protocol::header(7), std::string("\x02\x17]07\x17")},
        {protocol::header(123), std::string("\x02\x17]123\x17")},
        {protocol::endRequest(3, false), std::string("\x02\x17]03\x17"
                                                     "e\x17")},
        {protocol::endRequest(3, true), std::string("\x02\x17]03\x17q&\x17")},
        {protocol::saveRequest(h), std::string("\x02\x17]01\x17s\x17")},
        {protocol::recordRequestStart(h, false), std::string("\x02\x17]01\x17"
                                                             "d")},
        {protocol::recordRequestStart(h, true), std::string("\x02\x17]01\x17\x1C")},
        {protocol::tableRequest(h, 0x42, false), std::string("\x02\x17]01\x17uB\x17")},
        {protocol::tableRequest(h, 0x90, false), std::string("\x02\x17]01\x17u\x90\x17")},
        {protocol::tableRequest(h, 0x42, true), std::string("\x02\x17]01\x17q*\x17")},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(cases[i].built, cases[i].wire) << "case " << i;
    }
}

TEST(ScaleProtocol, SortsRepliesByKindAndStatusDetail) {
    struct Case {
        std::string payload;  // from the kind on
        Reply expected;
    };
    const std::vector<Case> cases = {
        {"dB\x17", Reply::Record},
        {"\x1C"
         "B\x17",
         Reply::Record},
        {"q", Reply::TableEnd},
        {"w2", Reply::NothingToTransfer},
        {"w3", Reply::NothingToTransfer},
        {"w4", Reply::TableEnd},
        {"w5", Reply::TableEnd},
        {"w6", Reply::TableEnd},
        {"w1", Reply::Unknown},
        {"w7", Reply::Unknown},
        {"w", Reply::Unknown},
        {"x", Reply::Unknown},
        {"e", Reply::Unknown},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(protocol::classifyReply(c.payload[0], c.payload), c.expected) << c.payload;
    }
}

TEST(ScaleProtocol, ReadsTheHeaderNumberModulo256) {
    EXPECT_EQ(protocol::frameNumber(std::string("\x02\x17]07\x17")), 7);
    EXPECT_EQ(protocol::frameNumber(std::string("\x02\x17]99\x17")), 99);
    // No digit check: ":" counts as ten, and the sum wraps.
    EXPECT_EQ(protocol::frameNumber(std::string("\x02\x17]:0\x17")), 100);
    EXPECT_EQ(protocol::frameNumber(std::string("\x02\x17]\xFF\xFF\x17")), (10 * 207 + 207) % 256);
}

}  // namespace

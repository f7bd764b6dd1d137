// The Windows serial port and link under wine, against simulated scales that
// tests/link/wine_link_tests.sh starts on COM5, COM6, COM8, COM9, COM10 and COM12 (COM7 is
// missing).
#ifdef _WIN32

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "diag/message_texts.h"
#include "diag/qm_com_exceptions.h"
#include "link/serial_port.h"
#include "link/serial_scale_link.h"
#include "platform/platform.h"
#include "platform/serial_device.h"
#include "support/link_steps.h"
#include "support/scale_sim_process.h"

using testing_support::countLinesStartingWith;
using testing_support::readLines;
using testing_support::Reply;
using testing_support::roundTrip;
using testing_support::runToCompletion;

namespace {

using Clock = std::chrono::steady_clock;

const std::string kSaveRequest = std::string("\x02\x17]01\x17s\x17", 8);

// The simulators' directory as a Windows path (wine shows the Unix root as Z:).
std::string simDirectory() {
    const char* dir = std::getenv("KWLINK_SIM_DIR");
    return dir != nullptr ? std::string("Z:") + dir : std::string();
}

std::vector<std::string> transcriptOf(int port) {
    // Not "com<n>.txt": Windows takes COM5 with any extension for the device itself.
    return readLines(simDirectory() + "/scale" + std::to_string(port) + ".txt");
}

LinkSettings fastLink(std::uint32_t port) {
    LinkSettings settings;
    settings.port = port;
    settings.receiveTimeout = 2.0;
    settings.ackTimeout = 0.5;
    settings.pause = 5;
    settings.maxRepeats = 5;
    return settings;
}

class WineLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(simDirectory().empty())
            << "KWLINK_SIM_DIR is not set: run through tests/link/wine_link_tests.sh";
        texts_.reset(new MessageTexts(platform::programDirectory()));
        g_messageTexts = texts_.get();
    }
    void TearDown() override { g_messageTexts = nullptr; }

    std::unique_ptr<MessageTexts> texts_;
};

}  // namespace

TEST_F(WineLinkTest, GreetingSwitchAndExchangeInTwoConnections) {
    for (int connection = 0; connection < 2; ++connection) {
        SerialScaleLink link(LineSettings(), fastLink(5));
        std::uint8_t code = 0;
        std::string identification;
        runToCompletion([&] { return link.open(code, identification); });
        ASSERT_FALSE(HasFailure())
            << "connection " << connection << ", port result " << link.port().lastResult() << ": "
            << link.port().errorText() << link.port().systemErrorText();
        EXPECT_EQ(code, 3);
        EXPECT_EQ(identification, "1097400701");
        EXPECT_EQ(link.port().settings().format.dataBits, 8);
        Reply reply = roundTrip(link, kSaveRequest);
        EXPECT_EQ(reply.code, 1);
        EXPECT_EQ(reply.firstByte, 'q');
        EXPECT_EQ(reply.payload, std::string("q\x03\x2C", 3));
    }
    auto lines = transcriptOf(5);
    EXPECT_EQ(countLinesStartingWith(lines, "rx \\x02\\x17]01\\x17s\\x03."), 2);
}

TEST_F(WineLinkTest, RepeatsAfterTwoNaks) {
    SerialScaleLink link(LineSettings(), fastLink(6));
    runToCompletion([&] {
        std::uint8_t code = 0;
        std::string identification;
        return link.open(code, identification);
    });
    Reply reply = roundTrip(link, kSaveRequest);
    EXPECT_EQ(reply.firstByte, 'q');
    auto lines = transcriptOf(6);
    EXPECT_EQ(countLinesStartingWith(lines, "rx \\x02\\x17]01\\x17s\\x03."), 3);
}

TEST_F(WineLinkTest, ReplyWithBadBlockCheckIsRepeated) {
    SerialScaleLink link(LineSettings(), fastLink(8));
    runToCompletion([&] {
        std::uint8_t code = 0;
        std::string identification;
        return link.open(code, identification);
    });
    Reply reply = roundTrip(link, kSaveRequest);
    EXPECT_EQ(reply.payload, std::string("q\x03\x2C", 3));
    EXPECT_EQ(countLinesStartingWith(transcriptOf(8), "rx-nak"), 1);
}

TEST_F(WineLinkTest, MissingPortGivesMessage26) {
    SerialScaleLink link(LineSettings(), fastLink(7));
    std::uint8_t code = 0;
    std::string identification;
    try {
        link.open(code, identification);
        FAIL() << "no exception";
    } catch (const QmComExceptions& error) {
        EXPECT_EQ(error.message(), texts_->text(26) + " Com: 7");
    }
}

TEST_F(WineLinkTest, PortTwelveOpensThroughTheDeviceNamespace) {
    EXPECT_EQ(platform::serialDeviceName(12), "\\\\.\\COM12");
    SerialScaleLink link(LineSettings(), fastLink(12));
    std::uint8_t code = 0;
    std::string identification;
    runToCompletion([&] { return link.open(code, identification); });
    EXPECT_EQ(identification, "SIMSCALE0001");
}

TEST_F(WineLinkTest, SerialPortPassesEveryByteValueAndWaitsIdle) {
    SerialPort port;
    ASSERT_EQ(port.configure(9600, LineFormat{8, 1, 0}, 0, 4096, 4096), 0);
    ASSERT_EQ(port.open(9), 0) << port.systemErrorText();
    EXPECT_EQ(port.open(9), -1);
    EXPECT_EQ(port.errorText(),
              "Schnittstelle bereits ge\xF6"
              "ffnet.\n");
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all += static_cast<char>(i);
    }
    std::int32_t count = -1;
    EXPECT_EQ(port.write(all, count), 0);
    EXPECT_EQ(count, 256);
    std::string echoed;
    auto deadline = Clock::now() + std::chrono::seconds(5);
    while (echoed.size() < all.size() && Clock::now() < deadline) {
        std::string part;
        count = static_cast<std::int32_t>(all.size() - echoed.size());
        port.read(part, count);
        echoed += part;
    }
    EXPECT_EQ(echoed, all);
    // Nothing more comes: a one-byte read gives up after its short time-out.
    std::string none;
    count = 1;
    auto start = Clock::now();
    EXPECT_EQ(port.read(none, count), -1);
    EXPECT_EQ(count, 0);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(),
              500);
    // The idle wait on the same open port (the echo brings the byte written).
    testing_support::checkIdleWait(
        port,
        [&] {
            count = 1;
            port.write("\x02", count);
        },
        '\x02');
    EXPECT_EQ(port.close(), 0);
    EXPECT_EQ(port.close(), -1);
    EXPECT_EQ(port.errorText(),
              "Keine Schnittstelle ge\xF6"
              "ffnet.\n");
}

TEST_F(WineLinkTest, ReadFromAVanishedDeviceStillTakesItsTime) {
    SerialPort port;
    ASSERT_EQ(port.configure(9600, LineFormat{8, 1, 0}, 0, 4096, 4096), 0);
    ASSERT_EQ(port.open(10), 0) << port.systemErrorText();
    // The simulated scale on COM10 hangs its terminal up and ends when this file appears: the
    // device goes away under the open port, as when a USB adapter is pulled.
    {
        std::FILE* release = std::fopen((simDirectory() + "/vanish10").c_str(), "wb");
        ASSERT_NE(release, nullptr);
        std::fclose(release);
    }
    auto deadline = Clock::now() + std::chrono::seconds(5);
    while (countLinesStartingWith(transcriptOf(10), "vanish") == 0 && Clock::now() < deadline) {
        platform::sleepMillis(20);
    }
    ASSERT_EQ(countLinesStartingWith(transcriptOf(10), "vanish"), 1);
    platform::sleepMillis(300);  // the simulator closes the terminal as it exits
    for (std::int32_t wanted : {1, 4, 1}) {
        std::string buffer;
        std::int32_t count = wanted;
        auto start = Clock::now();
        std::int32_t result = port.read(buffer, count);
        auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        // Wine reports the hung-up terminal as a read that timed out; Windows reports a pulled
        // adapter as an OS error. Either way nothing is read and the time is taken.
        EXPECT_NE(result, 0);
        EXPECT_EQ(count, 0);
        EXPECT_GE(elapsed, 5 * wanted + 10 - 1) << wanted << " byte(s)";
    }
    port.close();
}

#endif

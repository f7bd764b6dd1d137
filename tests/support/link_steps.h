#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "diag/qm_com_exceptions.h"
#include "link/serial_scale_link.h"

namespace testing_support {

// Calls a non-blocking link step until it reports completion; fails the test when that
// takes longer than `seconds`, or with the failure's text when the step throws.
inline void runToCompletion(const std::function<StepResult()>& step, double seconds = 10.0) {
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    try {
        while (step() != StepResult::Complete) {
            ASSERT_LT(Clock::now(), deadline) << "step did not complete";
        }
    } catch (const QmComExceptions& failure) {
        FAIL() << "the step failed: " << failure.message();
    }
}

// What one completed exchange delivered.
struct Reply {
    std::uint8_t code = 0;
    char firstByte = 0;
    std::string payload;
};

// Exchanges `request` with the scale and returns the reply.
inline Reply roundTrip(SerialScaleLink& link, const std::string& request) {
    Reply reply;
    runToCompletion(
        [&] { return link.transfer(reply.code, reply.firstByte, request, reply.payload); });
    return reply;
}

// The idle wait of an open port whose far end is silent until `sendByte` (called on this
// thread, the one that uses the port) makes `byte` arrive: the wait runs its time, ends as soon
// as the byte is there (the next read then hands it out at once), and ends at once, also for
// every later wait, when another thread wakes the port.
inline void checkIdleWait(SerialPort& port, const std::function<void()>& sendByte, char byte) {
    using Clock = std::chrono::steady_clock;
    auto millisSince = [](Clock::time_point start) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    };
    bool readable = true;
    auto start = Clock::now();
    EXPECT_EQ(port.waitReadable(200, readable), 0) << port.systemErrorText();
    EXPECT_FALSE(readable);
    EXPECT_GE(millisSince(start), 199);

    sendByte();
    start = Clock::now();
    EXPECT_EQ(port.waitReadable(5000, readable), 0) << port.systemErrorText();
    EXPECT_TRUE(readable);
    EXPECT_LT(millisSince(start), 1000);
    std::string buffer;
    std::int32_t count = 1;
    start = Clock::now();
    EXPECT_EQ(port.read(buffer, count), 0);
    EXPECT_EQ(buffer, std::string(1, byte));
    EXPECT_LT(millisSince(start), 10) << "the byte is there at once";

    // A wait of 5 s, woken by another thread after 100 ms.
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        port.wake();
    });
    start = Clock::now();
    EXPECT_EQ(port.waitReadable(5000, readable), 0) << port.systemErrorText();
    const auto elapsed = millisSince(start);
    other.join();
    EXPECT_FALSE(readable);
    EXPECT_GE(elapsed, 90);
    EXPECT_LT(elapsed, 1000);
    start = Clock::now();
    EXPECT_EQ(port.waitReadable(5000, readable), 0);
    EXPECT_LT(millisSince(start), 100) << "a woken port stays woken";
}

}  // namespace testing_support

#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "diag/qm_com_exceptions.h"
#include "link/serial_scale_link.h"

namespace testing_support {

// Calls a non-blocking link step until it reports completion (1); fails the test when that
// takes longer than `seconds`, or with the failure's text when the step throws.
inline void runToCompletion(const std::function<std::uint8_t()>& step, double seconds = 10.0) {
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    try {
        while (step() != 1) {
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

}  // namespace testing_support

#pragma once

#include <cstdint>

// The result of one non-blocking step (the link's open and transfer, the job's runStep): the
// caller calls again until the step is complete or has ended.
enum class StepResult : std::uint8_t {
    // Ended early: the link gave an exchange up after a stop request; the job ended without an
    // error of its own (stopped, or failed before it was connected).
    Ended = 0,
    Complete = 1,   // the exchange, the connection start or the whole job is complete
    CallAgain = 2,  // not yet: call again
};

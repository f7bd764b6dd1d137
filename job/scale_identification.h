#pragma once

#include <cstdint>
#include <string>

#include "diag/messages.h"

// What the identification in a scale's greeting says about the scale, and so where its table
// descriptions lie:
//   - 10 characters "109" vv ?? mmm (numbers read as atoi reads them): variant 74 with model
//     700 or 701 is a model whose descriptions come with the program ("109SCALE700",
//     "109SCALE701" below the program directory; missing there: error 28); model 700 also
//     speaks its own request letters. Variant 74 with a model below 700, or a first number
//     other than 109: error 27. Any other variant, or a model above 701: a scale of its own.
//   - 11 to 13 characters: a scale of its own.
//   - any other length, or a text that could leave the directory it names: error 29.
// A scale of its own keeps its descriptions in a directory named after the identification
// below the data directory; when none are there, the job fetches them from the scale.
struct ScaleIdentity {
    bool valid = false;
    Message error = Message::IdentificationInvalid;  // when not valid
    bool builtIn = false;                            // descriptions that come with the program
    bool model700 = false;                           // the model-700 request letters
    std::string directoryName;                       // of the description directory
    // The three numbers of a ten-character identification, as far as they were read.
    std::int32_t type = 0;
    std::int32_t variant = 0;
    std::int32_t model = 0;
};

ScaleIdentity identifyScale(const std::string& identification);

// The description directory of a valid `identity`, ending with the path separator: below
// `programDir` for descriptions that come with the program, else below `dataDir`.
std::string descriptionDirectory(const ScaleIdentity& identity, const std::string& programDir,
                                 const std::string& dataDir);

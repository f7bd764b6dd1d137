// What the greeting's identification makes of a scale: its description directory, whether the
// descriptions come with the program, and the errors 27 and 29.
#include "job/scale_identification.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ScaleIdentification, DecidesTheDescriptionDirectoryOrTheError) {
    struct Case {
        std::string identification;
        int error;  // 0: valid
        std::string directory;
        bool builtIn;
        bool model700;
    };
    const std::vector<Case> cases = {
        {"1097401700", 0, "109SCALE700", true, true},
        {"1097401701", 0, "109SCALE701", true, false},
        {"  9740 700", 27, "", false, false},  // atoi reads blanks: 9, not 109
        {"1087401701", 27, "", false, false},
        {"1097401699", 27, "", false, false},
        {"1097401702", 0, "1097401702", false, false},  // above 701: a scale of its own
        {"1097501700", 0, "1097501700", false, false},  // another variant
        {"109-3xx700", 0, "109-3xx700", false, false},  // atoi("-3"): not 74
        {"10974XX701", 0, "109SCALE701", true, false},  // characters 5 and 6 are not read
        {"KWTEST-00011", 0, "KWTEST-00011", false, false},
        {"KWTEST-000013", 0, "KWTEST-000013", false, false},
        {"109740170", 29, "", false, false},
        {"KWTEST-0000014", 29, "", false, false},
        {"", 29, "", false, false},
        {"../../evil", 29, "", false, false},
        {"KWSIM/GEN/01", 29, "", false, false},
        {"KW\\SIM\\GEN", 29, "", false, false},
        {"C:SCALE0001", 29, "", false, false},
        {std::string("KWSIM\x01GEN01"), 29, "", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.identification);
        const ScaleIdentity identity = identifyScale(c.identification);
        EXPECT_EQ(identity.valid, c.error == 0);
        if (c.error != 0) {
            EXPECT_EQ(messageNumber(identity.error), c.error);
            continue;
        }
        EXPECT_EQ(identity.directoryName, c.directory);
        EXPECT_EQ(identity.builtIn, c.builtIn);
        EXPECT_EQ(identity.model700, c.model700);
    }
}

}  // namespace

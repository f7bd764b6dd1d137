#include "fuzz/fuzz_targets.h"

#include <cstdio>
#include <cstdlib>

namespace fuzz_targets {

const std::vector<Target>& all() {
    static const std::vector<Target> targets{
        {"job_string", jobString},           {"messages_res", messageTexts},
        {"kwlink_cfg", configFile},          {"qt_trans", charTranslation},
        {"csv_keyed", csvKeyedTable},        {"csv_single_record", csvSingleRecordTable},
        {"csv_per_scale", csvPerScaleTable}, {"csv_per_scale_keyed", csvPerScaleKeyedTable},
        {"record_decoding", recordDecoding}, {"descriptions", descriptions},
        {"link_receive", linkReceive},       {"network_receive", networkReceive},
    };
    return targets;
}

const Target* find(const std::string& name) {
    for (const Target& target : all()) {
        if (target.name == name) {
            return &target;
        }
    }
    return nullptr;
}

void brokenInvariant(const char* what) {
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

}  // namespace fuzz_targets

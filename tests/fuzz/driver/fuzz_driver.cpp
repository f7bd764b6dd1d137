// The libFuzzer entry point of one fuzz target; the build names the target with
// KWLINK_FUZZ_TARGET.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz_targets::Target* target = [] {
        const fuzz_targets::Target* found = fuzz_targets::find(KWLINK_FUZZ_TARGET);
        if (found == nullptr) {
            std::fprintf(stderr, "no fuzz target %s\n", KWLINK_FUZZ_TARGET);
            std::abort();
        }
        return found;
    }();
    target->entry(data, size);
    return 0;
}

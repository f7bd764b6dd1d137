// Replays every kept input of every fuzz target (the seed corpus and the inputs of past
// findings) through the same entries as the fuzzers, without libFuzzer. A finding shows here
// as a crash, an abort or, in the sanitizer build, a sanitizer report.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_targets.h"

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> filesBelow(const fs::path& directory) {
    std::vector<fs::path> files;
    std::error_code error;
    if (!fs::is_directory(directory, error)) {
        return files;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> targetNames() {
    std::vector<std::string> names;
    for (const fuzz_targets::Target& target : fuzz_targets::all()) {
        names.push_back(target.name);
    }
    return names;
}

class KeptFuzzInputs : public ::testing::TestWithParam<std::string> {};

TEST_P(KeptFuzzInputs, RunWithoutFinding) {
    const fuzz_targets::Target* target = fuzz_targets::find(GetParam());
    ASSERT_NE(target, nullptr);
    const fs::path root(KWLINK_FUZZ_DATA_DIR);
    std::size_t replayed = 0;
    for (const char* kind : {"corpus", "regressions"}) {
        for (const fs::path& file : filesBelow(root / kind / target->name)) {
            SCOPED_TRACE(file.string());
            const std::string bytes = readBytes(file);
            target->entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            ++replayed;
        }
    }
    // Every target has a seed corpus; none found means the directory moved.
    EXPECT_GT(replayed, 0u);
}

INSTANTIATE_TEST_SUITE_P(EveryTarget, KeptFuzzInputs, ::testing::ValuesIn(targetNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

}  // namespace

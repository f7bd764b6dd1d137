#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The parsers of bytes that reach the program from outside, each behind one entry function
// that takes arbitrary bytes. The libFuzzer drivers (tests/fuzz/driver/) call one entry each;
// the regression test replays every kept input through the same entries without libFuzzer.
// An entry returns normally for every input the program handles (also by rejecting it); a
// crash, a sanitizer report or a broken invariant (abort) is a finding.
namespace fuzz_targets {

using Entry = void (*)(const std::uint8_t* data, std::size_t size);

struct Target {
    std::string name;  // also the directory name below corpus/ and regressions/
    Entry entry;
};

// Every target, in a fixed order.
const std::vector<Target>& all();
// The target called `name`; null when there is none.
const Target* find(const std::string& name);

// The entries.
void jobString(const std::uint8_t* data, std::size_t size);
void messageTexts(const std::uint8_t* data, std::size_t size);
void configFile(const std::uint8_t* data, std::size_t size);
void charTranslation(const std::uint8_t* data, std::size_t size);
void csvKeyedTable(const std::uint8_t* data, std::size_t size);
void csvSingleRecordTable(const std::uint8_t* data, std::size_t size);
void csvPerScaleTable(const std::uint8_t* data, std::size_t size);
void csvPerScaleKeyedTable(const std::uint8_t* data, std::size_t size);
void recordDecoding(const std::uint8_t* data, std::size_t size);
void descriptions(const std::uint8_t* data, std::size_t size);
void linkReceive(const std::uint8_t* data, std::size_t size);
void networkReceive(const std::uint8_t* data, std::size_t size);

// Stops the process with a message when an invariant of an entry does not hold.
[[noreturn]] void brokenInvariant(const char* what);

}  // namespace fuzz_targets

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "dictionary/table_description.h"

// What the file-reading entries share: a scratch directory per process for the files they
// write the fuzzer's bytes into, the message texts and the fixed set of table descriptions
// the CSV and record entries work under.
namespace fuzz_scratch {

// A directory of its own below the temporary directory, ending with the path separator,
// removed with everything in it when the process ends normally. `name` keeps the entries
// apart from each other.
const std::string& directory(const std::string& name);

// Writes `size` bytes to `path`, replacing the file. Aborts when that fails: an entry whose
// input never reaches the parser tests nothing.
void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size);

// Loads the message texts beside the program once, so that failures carry their texts.
void loadMessageTexts();

// The descriptions of the model-701 scale beside the program: every handler class has a
// table there. Index 0 and 1 are TDES and ADES. Aborts when they cannot be loaded.
std::size_t descriptionCount();
const TableDescription& description(std::size_t index);
// The first description with this fileSign; aborts without one.
const TableDescription& description(const std::string& fileSign);

}  // namespace fuzz_scratch

// Entries for the job string and the three text files beside the program.
#include <string>

#include "diag/config_file.h"
#include "diag/message_texts.h"
#include "diag/qm_com_exceptions.h"
#include "dictionary/char_translation.h"
#include "fuzz/fuzz_scratch.h"
#include "fuzz/fuzz_targets.h"
#include "job/job_parameters.h"

namespace fuzz_targets {

namespace {

std::string bytes(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// The scratch directory of `name` as the readers of program files take it: no separator at
// the end.
std::string programDirectory(const std::string& name) {
    std::string directory = fuzz_scratch::directory(name);
    directory.pop_back();
    return directory;
}

}  // namespace

void jobString(const std::uint8_t* data, std::size_t size) {
    fuzz_scratch::loadMessageTexts();
    try {
        JobParseResult result = JobParameters(bytes(data, size)).result();
        if (result.tableNameCount > result.tables.size() &&
            result.tableNameCount != JobParseResult::kAllTables) {
            brokenInvariant("more table names counted than held");
        }
        if (!result.workDir.empty() && result.workDir.size() < result.dirName.size() + 1) {
            brokenInvariant("the directory name is longer than the working directory");
        }
    } catch (const QmComExceptions&) {
        // A job string the program refuses.
    }
}

void messageTexts(const std::uint8_t* data, std::size_t size) {
    const std::string directory = programDirectory("messages");
    fuzz_scratch::writeFile(directory + "/Messages.res", data, size);
    try {
        MessageTexts texts(directory);
        for (std::int32_t number : {0, 1, 9, 26, 40, 99, -1, 2147483647}) {
            texts.text(number);
        }
    } catch (const QmComExceptions&) {
        // A file the program refuses.
    }
}

void configFile(const std::uint8_t* data, std::size_t size) {
    fuzz_scratch::loadMessageTexts();
    const std::string directory = programDirectory("config");
    fuzz_scratch::writeFile(directory + "/Kwlink.cfg", data, size);
    try {
        ConfigFile config(directory);
        LinkSettings settings;
        if (!config.getSettings(settings)) {
            brokenInvariant("a configuration file read without failure holds no settings");
        }
        // A job with KWPORT rewrites the file with another port.
        config.setPort(settings.port + 1);
    } catch (const QmComExceptions&) {
        // A file the program refuses.
    }
}

void charTranslation(const std::uint8_t* data, std::size_t size) {
    fuzz_scratch::loadMessageTexts();
    const std::string directory = programDirectory("translation");
    fuzz_scratch::writeFile(directory + "/QT_TRANS.DAT", data, size);
    try {
        CharTranslation translation(directory);
        std::string every;
        for (int c = 0; c < 256; ++c) {
            every.push_back(static_cast<char>(c));
        }
        std::string text = every;
        translation.toScale(text);
        if (text.size() != every.size()) {
            brokenInvariant("the translation to the scale changed the length of a text");
        }
        translation.fromScale(text);
        if (text.size() != every.size()) {
            brokenInvariant("the translation from the scale changed the length of a text");
        }
    } catch (const QmComExceptions&) {
        // A file the program refuses.
    }
}

}  // namespace fuzz_targets

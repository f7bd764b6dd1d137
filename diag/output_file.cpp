#include "diag/output_file.h"

#include <cstdio>
#include <fstream>

#include "platform/platform.h"

namespace {

const char kTemporarySuffix[] = ".tmp~";

// "<name>.<digits>.tmp~", the pattern temporaryFileName gives.
bool isTemporaryName(const std::string& name) {
    const std::string suffix = kTemporarySuffix;
    if (name.size() <= suffix.size() ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return false;
    }
    std::string::size_type end = name.size() - suffix.size();
    std::string::size_type begin = end;
    while (begin > 0 && name[begin - 1] >= '0' && name[begin - 1] <= '9') {
        --begin;
    }
    return begin < end && begin > 1 && name[begin - 1] == '.';
}

}  // namespace

std::string temporaryFileName(const std::string& path) {
    return path + "." + std::to_string(platform::processId()) + kTemporarySuffix;
}

void removeStaleTemporaryFiles(const std::string& directory) {
    for (const std::string& name : platform::directoryEntries(directory)) {
        if (isTemporaryName(name)) {
            std::remove((directory + name).c_str());
        }
    }
}

bool writeOutputFile(const std::string& path, const std::string& content) {
    const std::string target = platform::resolveLinks(path);
    const std::string temporary = temporaryFileName(target);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            return false;
        }
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (!platform::replaceFile(temporary, target)) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

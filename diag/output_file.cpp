#include "diag/output_file.h"

#include <cstdio>

#include "diag/job_log.h"
#include "platform/platform.h"

namespace {

const char kTemporarySuffix[] = ".tmp~";

// "<name>.<digits>.tmp~", the pattern of platform::createTemporaryFile.
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

bool outputTarget(const std::string& path, std::string& target, std::string& refusal) {
    if (platform::resolveOwnLinks(path, target, refusal)) {
        return true;
    }
    if (g_log != nullptr) {
        g_log->add(refusal);
    }
    return false;
}

void removeStaleTemporaryFiles(const std::string& directory) {
    for (const std::string& name : platform::directoryEntries(directory)) {
        if (isTemporaryName(name)) {
            std::remove((directory + name).c_str());
        }
    }
}

bool writeOutputFile(const std::string& path, const std::string& content, std::string* refusal) {
    std::string target;
    std::string why;
    if (!outputTarget(path, target, why)) {
        if (refusal != nullptr) {
            *refusal = why;
        }
        return false;
    }
    std::string temporary;
    platform::NewFile* file = platform::createTemporaryFile(target, temporary);
    if (file == nullptr) {
        return false;
    }
    const bool written = platform::writeNewFile(file, content.data(), content.size());
    if (!platform::closeNewFile(file, target) || !written ||
        !platform::replaceFile(temporary, target)) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

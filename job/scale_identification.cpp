#include "job/scale_identification.h"

#include <cstdlib>

#include "platform/platform.h"

namespace {

constexpr std::int32_t kScaleType = 109;
constexpr std::int32_t kBuiltInVariant = 74;
constexpr std::int32_t kModel700 = 700;
constexpr std::int32_t kModel701 = 701;

// The identification names a directory: it must not be able to leave the directory it lies
// in, or name a device.
bool safeAsDirectoryName(const std::string& identification) {
    if (identification.find("..") != std::string::npos) {
        return false;
    }
    for (char c : identification) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '/' || c == '\\' || c == ':') {
            return false;
        }
    }
    return true;
}

ScaleIdentity refused(ScaleIdentity identity, Message error) {
    identity.valid = false;
    identity.error = error;
    return identity;
}

}  // namespace

ScaleIdentity identifyScale(const std::string& identification) {
    ScaleIdentity identity;
    const std::size_t length = identification.size();
    if (length < 10 || length > 13 || !safeAsDirectoryName(identification)) {
        return refused(identity, Message::IdentificationInvalid);
    }
    if (length == 10) {
        identity.type = std::atoi(identification.substr(0, 3).c_str());
        if (identity.type != kScaleType) {
            return refused(identity, Message::UnknownScaleType);
        }
        identity.variant = std::atoi(identification.substr(3, 2).c_str());
        identity.model = std::atoi(identification.substr(7, 3).c_str());
        if (identity.variant == kBuiltInVariant && identity.model <= kModel701) {
            if (identity.model < kModel700) {
                return refused(identity, Message::UnknownScaleType);
            }
            identity.valid = true;
            identity.builtIn = true;
            identity.model700 = identity.model == kModel700;
            identity.directoryName = identity.model == kModel700 ? "109SCALE700" : "109SCALE701";
            return identity;
        }
    }
    identity.valid = true;
    identity.directoryName = identification;
    return identity;
}

std::string descriptionDirectory(const ScaleIdentity& identity, const std::string& programDir,
                                 const std::string& dataDir) {
    const std::string separator(1, platform::pathSeparator());
    return (identity.builtIn ? programDir : dataDir) + separator + identity.directoryName +
           separator;
}

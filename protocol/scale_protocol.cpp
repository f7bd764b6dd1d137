#include "protocol/scale_protocol.h"

#include <cstdio>

namespace protocol {

std::string header(std::uint8_t number) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%02d", number);
    return std::string{STX, ETB, kHeaderMark} + digits + ETB;
}

std::string endRequest(std::uint8_t scaleNumber, bool model700) {
    std::string out = header(scaleNumber);
    if (model700) {
        out += {kModel700Command, kModel700End};
    } else {
        out.push_back(kEndRequest);
    }
    out.push_back(ETB);
    return out;
}

std::string saveRequest(const std::string& header) {
    return header + kSaveRequest + ETB;
}

std::string recordRequestStart(const std::string& header, bool model700) {
    return header + (model700 ? kModel700Record : kRecord);
}

std::string tableRequest(const std::string& header, std::uint8_t busSign, bool model700) {
    if (model700) {
        return header + kModel700Command + kModel700Table + ETB;
    }
    return header + kTableRequest + static_cast<char>(busSign) + ETB;
}

Reply classifyReply(char kind, const std::string& payload) {
    switch (kind) {
        case kRecord:
        case kModel700Record:
            return Reply::Record;
        case kTableEnd:
            return Reply::TableEnd;
        case kStatus: {
            const char detail = payload.size() > 1 ? payload[1] : '\0';
            if (detail >= kFirstNothingDetail && detail <= kLastNothingDetail) {
                return Reply::NothingToTransfer;
            }
            if (detail >= kFirstEndDetail && detail <= kLastEndDetail) {
                return Reply::TableEnd;
            }
            return Reply::Unknown;
        }
        default:
            return Reply::Unknown;
    }
}

std::uint8_t frameNumber(const std::string& frame) {
    const int tens = static_cast<unsigned char>(frame[kNumberPosition]) - '0';
    const int ones = static_cast<unsigned char>(frame[kNumberPosition + 1]) - '0';
    return static_cast<std::uint8_t>(10 * tens + ones);
}

}  // namespace protocol

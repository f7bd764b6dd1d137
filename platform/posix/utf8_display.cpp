#include "platform/posix/utf8_display.h"

#include <iconv.h>

#include <array>

namespace platform {
namespace {

// The UTF-8 form of every byte 80h..FFh, derived once from iconv.
const std::array<std::string, 128>& highBytes() {
    static const std::array<std::string, 128> table = [] {
        std::array<std::string, 128> t;
        iconv_t cd = iconv_open("UTF-8", "CP1252");
        for (unsigned i = 0; i < 128; ++i) {
            t[i] = "\xEF\xBF\xBD";
            if (cd == reinterpret_cast<iconv_t>(-1)) {
                continue;
            }
            char in = static_cast<char>(0x80 + i);
            char out[8];
            char* inPtr = &in;
            std::size_t inLeft = 1;
            char* outPtr = out;
            std::size_t outLeft = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1)) {
                t[i].assign(out, static_cast<std::size_t>(outPtr - out));
            }
        }
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(cd);
        }
        return t;
    }();
    return table;
}

}  // namespace

std::string toUtf8(const std::string& cp1252) {
    std::string out;
    out.reserve(cp1252.size());
    for (char c : cp1252) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += highBytes()[byte - 0x80];
        }
    }
    return out;
}

}  // namespace platform

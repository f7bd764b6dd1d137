#include <iconv.h>

#include <cerrno>

#include "platform/text_encoding.h"

namespace platform {

bool utf8ToWindows1252(const std::string& utf8, std::string& out) {
    out.clear();
    // Without "//TRANSLIT" iconv stops with EILSEQ at a character the target lacks.
    iconv_t cd = iconv_open("WINDOWS-1252", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    // Every UTF-8 sequence gives at most one byte.
    out.resize(utf8.size());
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* dest = out.empty() ? nullptr : &out[0];
    std::size_t destLeft = out.size();
    const std::size_t result = utf8.empty() ? 0 : iconv(cd, &in, &inLeft, &dest, &destLeft);
    const bool ok = result != static_cast<std::size_t>(-1) && inLeft == 0 && result == 0;
    iconv_close(cd);
    if (ok) {
        out.resize(out.size() - destLeft);
    }
    return ok;
}

}  // namespace platform

#include <windows.h>

#include <vector>

#include "platform/text_encoding.h"

namespace platform {

bool utf8ToWindows1252(const std::string& utf8, std::string& out) {
    out.clear();
    if (utf8.empty()) {
        return true;
    }
    const int inLength = static_cast<int>(utf8.size());
    const int wideLength =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLength, nullptr, 0);
    if (wideLength <= 0) {
        return false;
    }
    std::vector<wchar_t> wide(static_cast<std::size_t>(wideLength));
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLength, wide.data(),
                            wideLength) != wideLength) {
        return false;
    }
    // WC_NO_BEST_FIT_CHARS: without it a character the code page lacks silently becomes a
    // look-alike (an omega becomes "O"); with it, it becomes the default character and the
    // used-default flag tells.
    BOOL usedDefault = FALSE;
    const int outLength = WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength,
                                              nullptr, 0, nullptr, &usedDefault);
    if (outLength <= 0 || usedDefault) {
        return false;
    }
    out.resize(static_cast<std::size_t>(outLength));
    usedDefault = FALSE;
    if (WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, &out[0], outLength,
                            nullptr, &usedDefault) != outLength ||
        usedDefault) {
        out.clear();
        return false;
    }
    return true;
}

}  // namespace platform

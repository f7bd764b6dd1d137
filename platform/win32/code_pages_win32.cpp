#include <windows.h>

#include "platform/code_pages.h"

namespace platform {

void ansiToOem(std::string& text) {
    if (!text.empty()) {
        CharToOemBuffA(text.data(), text.data(), static_cast<DWORD>(text.size()));
    }
}

void oemToAnsi(std::string& text) {
    if (!text.empty()) {
        OemToCharBuffA(text.data(), text.data(), static_cast<DWORD>(text.size()));
    }
}

}  // namespace platform

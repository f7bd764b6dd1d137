// Win32 implementation of the basic operations of platform.h.
#include <direct.h>
#include <windows.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "platform/platform.h"

namespace platform {

std::uint64_t monotonicMillis() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void sleepMillis(std::uint32_t milliseconds) {
    Sleep(milliseconds);
}

LocalTime localTime() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    LocalTime t;
    t.year = now.wYear;
    t.month = now.wMonth;
    t.day = now.wDay;
    t.hour = now.wHour;
    t.minute = now.wMinute;
    t.second = now.wSecond;
    t.millisecond = now.wMilliseconds;
    return t;
}

std::string programDirectory() {
    // The module "Kwvault.exe", when a sibling program has loaded this code, else (a null
    // handle) the program's own executable. The buffer grows until the whole name fits: a
    // fixed buffer would cut a long path, and every file beside the program would then be
    // "missing".
    HMODULE module = GetModuleHandleA("Kwvault.exe");
    std::string name(MAX_PATH, '\0');
    for (;;) {
        DWORD n = GetModuleFileNameA(module, &name[0], static_cast<DWORD>(name.size()));
        if (n == 0) {
            return std::string();
        }
        if (n < name.size()) {
            name.resize(n);
            break;
        }
        name.resize(name.size() * 2);
    }
    // Cut at the last backslash; the first character is never examined.
    for (std::string::size_type i = name.size(); i-- > 1;) {
        if (name[i] == '\\') {
            name.resize(i);
            break;
        }
    }
    return name;
}

bool makeDirectory(const std::string& path) {
    if (_mkdir(path.c_str()) == 0) {
        return true;
    }
    // An existing file of that name is no directory: nothing could be written into it.
    if (errno != EEXIST) {
        return false;
    }
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

char pathSeparator() {
    return '\\';
}

bool replaceFile(const std::string& source, const std::string& target) {
    return MoveFileExA(source.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void showMessageBox(const std::string& caption, const std::string& text, MessageIcon icon) {
    UINT style = MB_OK | (icon == MessageIcon::Error ? MB_ICONERROR : MB_ICONWARNING);
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
}

}  // namespace platform

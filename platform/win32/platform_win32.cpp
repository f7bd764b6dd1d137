// Win32 implementation of the basic operations of platform.h.
#include <direct.h>
#include <windows.h>

#include <cerrno>
#include <chrono>
#include <random>
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

std::string dataDirectory() {
    return programDirectory();
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
    // The read-only attribute is the permission bit Windows knows: the new file keeps it. A
    // read-only target cannot be replaced, so the attribute moves to the new file first.
    const DWORD old = GetFileAttributesA(target.c_str());
    const bool readOnly = old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly) {
        SetFileAttributesA(target.c_str(), old & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
    if (MoveFileExA(source.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        if (readOnly) {
            SetFileAttributesA(target.c_str(), old);
        }
        return false;
    }
    if (readOnly) {
        SetFileAttributesA(target.c_str(), old);
    }
    return true;
}

bool resolveOwnLinks(const std::string& path, std::string& resolved, std::string&) {
    resolved = path;
    return true;
}

struct NewFile {
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool failed = false;
};

NewFile* createTemporaryFile(const std::string& target, std::string& name) {
    // CREATE_NEW never opens an existing file; the random digits make the name unknown until
    // it exists.
    static std::mt19937_64 generator{std::random_device{}() ^ GetTickCount64() ^
                                     (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32)};
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = target + "." + std::to_string(generator() % 10000000000000000ULL) + ".tmp~";
        HANDLE handle = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            return new NewFile{handle};
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    name.clear();
    return nullptr;
}

bool writeNewFile(NewFile* file, const char* data, std::size_t size) {
    while (size > 0 && !file->failed) {
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (WriteFile(file->handle, data, chunk, &written, nullptr) == 0 || written == 0) {
            file->failed = true;
            break;
        }
        data += written;
        size -= written;
    }
    return !file->failed;
}

bool closeNewFile(NewFile* file, const std::string&) {
    // The read-only attribute, Windows' permission bit, moves over in replaceFile.
    bool ok = !file->failed;
    ok = CloseHandle(file->handle) != 0 && ok;
    delete file;
    return ok;
}

bool isDirectory(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

namespace {

std::string lastErrorText() {
    const DWORD code = GetLastError();
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0,
        nullptr);
    std::string result = length > 0 && text != nullptr ? std::string(text, length) : std::string();
    if (text != nullptr) {
        LocalFree(text);
    }
    while (!result.empty() && (result.back() == '\r' || result.back() == '\n' ||
                               result.back() == ' ' || result.back() == '.')) {
        result.pop_back();
    }
    return result.empty() ? "system error " + std::to_string(code) : result;
}

}  // namespace

FileAccess readAccess(const std::string& path, std::string& reason) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
            return FileAccess::Missing;
        }
        SetLastError(code);
        reason = lastErrorText();
        return FileAccess::Unreadable;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        reason = "it is a directory";
        return FileAccess::Unreadable;
    }
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        reason = lastErrorText();
        return FileAccess::Unreadable;
    }
    CloseHandle(file);
    return FileAccess::Readable;
}

std::vector<std::string> directoryEntries(const std::string& path) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const bool endsWithSeparator = !path.empty() && (path.back() == '\\' || path.back() == '/');
    HANDLE search = FindFirstFileA((path + (endsWithSeparator ? "*" : "\\*")).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        names.emplace_back(found.cFileName);
    } while (FindNextFileA(search, &found) != 0);
    FindClose(search);
    return names;
}

std::uint32_t processId() {
    return static_cast<std::uint32_t>(GetCurrentProcessId());
}

struct FileLock {
    HANDLE handle = INVALID_HANDLE_VALUE;
};

LockResult lockFile(const std::string& path, FileLock*& lock, std::string&) {
    lock = nullptr;
    // Opened without sharing: while this handle is open no other process can open the file.
    // Windows closes it when the process ends in any way.
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION
                   ? LockResult::HeldByOther
                   : LockResult::Unavailable;
    }
    lock = new FileLock{handle};
    return LockResult::Locked;
}

void releaseFileLock(FileLock* lock) {
    if (lock != nullptr) {
        CloseHandle(lock->handle);
        delete lock;
    }
}

void showMessageBox(const std::string& caption, const std::string& text, MessageIcon icon) {
    UINT style = MB_OK | (icon == MessageIcon::Error ? MB_ICONERROR : MB_ICONWARNING);
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
}

}  // namespace platform

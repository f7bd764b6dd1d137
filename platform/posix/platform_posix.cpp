// POSIX implementation of the basic operations of platform.h.
#include <limits.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace platform {

std::uint64_t monotonicMillis() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void sleepMillis(std::uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

LocalTime localTime() {
    timeval now{};
    gettimeofday(&now, nullptr);
    time_t seconds = now.tv_sec;
    tm parts{};
    localtime_r(&seconds, &parts);
    LocalTime t;
    t.year = parts.tm_year + 1900;
    t.month = parts.tm_mon + 1;
    t.day = parts.tm_mday;
    t.hour = parts.tm_hour;
    t.minute = parts.tm_min;
    t.second = parts.tm_sec;
    t.millisecond = static_cast<int>(now.tv_usec / 1000);
    return t;
}

std::string programDirectory() {
    // readlink() gives /proc/self/exe's target with every symbolic link resolved. The buffer
    // grows until the whole name fits.
    std::string name(256, '\0');
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", &name[0], name.size());
        if (n < 0) {
            return ".";
        }
        if (static_cast<std::size_t>(n) < name.size()) {
            name.resize(static_cast<std::size_t>(n));
            break;
        }
        name.resize(name.size() * 2);
    }
    std::string::size_type slash = name.rfind('/');
    if (slash == std::string::npos) {
        return name;
    }
    if (slash == 0) {
        return "/";
    }
    return name.substr(0, slash);
}

bool makeDirectory(const std::string& path) {
    if (mkdir(path.c_str(), 0777) == 0) {
        return true;
    }
    // An existing file of that name is no directory: nothing could be written into it.
    struct stat info {};
    return errno == EEXIST && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

char pathSeparator() {
    return '/';
}

bool replaceFile(const std::string& source, const std::string& target) {
    return std::rename(source.c_str(), target.c_str()) == 0;
}

void showMessageBox(const std::string& caption, const std::string& text, MessageIcon) {
    std::string line = caption + ": " + text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

}  // namespace platform

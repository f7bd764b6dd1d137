// POSIX implementation of the basic operations of platform.h.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
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
    struct stat old {};
    if (stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        chmod(source.c_str(), old.st_mode & 07777);
    }
    return std::rename(source.c_str(), target.c_str()) == 0;
}

std::string resolveLinks(const std::string& path) {
    std::string current = path;
    // The kernel's own limit on links followed in one path name.
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return current;
        }
        std::string target(PATH_MAX, '\0');
        ssize_t n = readlink(current.c_str(), &target[0], target.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) {
            return current;
        }
        target.resize(static_cast<std::size_t>(n));
        if (target[0] != '/') {
            std::string::size_type slash = current.rfind('/');
            if (slash != std::string::npos) {
                target = current.substr(0, slash + 1) + target;
            }
        }
        current = target;
    }
    return current;
}

bool isDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

FileAccess readAccess(const std::string& path, std::string& reason) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return FileAccess::Missing;
        }
        reason = std::strerror(errno);
        return FileAccess::Unreadable;
    }
    if (S_ISDIR(info.st_mode)) {
        reason = std::strerror(EISDIR);
        return FileAccess::Unreadable;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        reason = std::strerror(errno);
        return FileAccess::Unreadable;
    }
    close(fd);
    return FileAccess::Readable;
}

std::vector<std::string> directoryEntries(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (dirent* entry = readdir(dir)) {
        names.emplace_back(entry->d_name);
    }
    closedir(dir);
    return names;
}

std::uint32_t processId() {
    return static_cast<std::uint32_t>(getpid());
}

struct FileLock {
    int fd = -1;
};

LockResult lockFile(const std::string& path, FileLock*& lock) {
    lock = nullptr;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0) {
        return LockResult::Unavailable;
    }
    // flock belongs to the open file: the kernel drops it when the process ends in any way.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? LockResult::HeldByOther : LockResult::Unavailable;
    }
    lock = new FileLock{fd};
    return LockResult::Locked;
}

void releaseFileLock(FileLock* lock) {
    if (lock != nullptr) {
        flock(lock->fd, LOCK_UN);
        ::close(lock->fd);
        delete lock;
    }
}

void showMessageBox(const std::string& caption, const std::string& text, MessageIcon) {
    std::string line = caption + ": " + text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

}  // namespace platform

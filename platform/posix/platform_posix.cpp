// POSIX implementation of the basic operations of platform.h.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <thread>

#include "platform/platform.h"

#ifndef KWLINK_DATA_DIR
#define KWLINK_DATA_DIR ""
#endif

namespace platform {

namespace {

// The process's file creation mask, read once before any thread starts: umask() can only be
// read by setting it.
mode_t readUmask() {
    const mode_t mask = umask(022);
    umask(mask);
    return mask;
}
const mode_t kUmask = readUmask();

// The user name of `uid`, or its number when the system knows no name for it.
std::string userName(uid_t uid) {
    char buffer[1024];
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr) {
        return found->pw_name;
    }
    return std::to_string(uid);
}

// Whose links and files a job may trust: its own (effective) user's and root's.
bool trustedOwner(uid_t uid) {
    return uid == 0 || uid == geteuid();
}

}  // namespace

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

std::string dataDirectory() {
    const char* home = std::getenv("KWLINK_HOME");
    if (home != nullptr && *home != '\0') {
        std::string dir = home;
        while (dir.size() > 1 && dir.back() == '/') {
            dir.pop_back();
        }
        return dir;
    }
    if (*KWLINK_DATA_DIR != '\0') {
        return KWLINK_DATA_DIR;
    }
    return programDirectory();
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

bool resolveOwnLinks(const std::string& path, std::string& resolved, std::string& refusal) {
    std::string current = path;
    // The kernel's own limit on links followed in one path name.
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            break;
        }
        if (!trustedOwner(info.st_uid)) {
            refusal =
                current + " is a symbolic link of user " + userName(info.st_uid) + ", not followed";
            return false;
        }
        std::string target(PATH_MAX, '\0');
        ssize_t n = readlink(current.c_str(), &target[0], target.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) {
            break;
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
    resolved = current;
    return true;
}

struct NewFile {
    int fd = -1;
    bool failed = false;
};

NewFile* createTemporaryFile(const std::string& target, std::string& name) {
    // O_EXCL with O_NOFOLLOW creates the file itself or fails: a name someone planted (a file,
    // a link) is never opened. The random digits make the name unknown until it exists.
    static std::mt19937_64 generator{std::random_device{}() ^
                                     (static_cast<std::uint64_t>(getpid()) << 32)};
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = target + "." + std::to_string(generator() % 10000000000000000ULL) + ".tmp~";
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            return new NewFile{fd};
        }
        if (errno != EEXIST) {
            break;
        }
    }
    name.clear();
    return nullptr;
}

bool writeNewFile(NewFile* file, const char* data, std::size_t size) {
    while (size > 0 && !file->failed) {
        ssize_t n = ::write(file->fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            file->failed = true;
            break;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return !file->failed;
}

bool closeNewFile(NewFile* file, const std::string& target) {
    // The bits go on through the open descriptor: a name can be swapped for a link meanwhile.
    struct stat old {};
    const mode_t mode = lstat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)
                            ? (old.st_mode & 07777)
                            : (0666 & ~kUmask);
    bool ok = !file->failed && fchmod(file->fd, mode) == 0;
    ok = ::close(file->fd) == 0 && ok;
    delete file;
    return ok;
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

LockResult lockFile(const std::string& path, FileLock*& lock, std::string& refusal) {
    lock = nullptr;
    // No link is followed, and O_NONBLOCK keeps a planted FIFO from holding the job at the open.
    const int flags = O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(path.c_str(), O_RDWR | flags, 0666);
    if (fd < 0 && errno != ELOOP) {
        fd = ::open(path.c_str(), O_RDONLY | (flags & ~O_CREAT));
    }
    if (fd < 0) {
        if (errno == ELOOP) {
            refusal = path + " is a symbolic link";
            return LockResult::Refused;
        }
        return LockResult::Unavailable;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        ::close(fd);
        return LockResult::Unavailable;
    }
    if (!S_ISREG(info.st_mode)) {
        refusal = path + " is not a regular file";
    } else if (!trustedOwner(info.st_uid)) {
        refusal = path + " belongs to user " + userName(info.st_uid);
    } else if (info.st_nlink != 1) {
        refusal = path + " has further names (hard links)";
    }
    if (!refusal.empty()) {
        ::close(fd);
        return LockResult::Refused;
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

// The operating-system interface of kwlink.
//
// Everything the core needs from the operating system goes through the functions declared
// here (and in the few headers this file includes). Each operation has one implementation per
// operating system, in platform/posix/ and platform/win32/; the build picks the folder, so no
// core code carries #ifdefs and no OS type (HANDLE, termios, DCB, ...) appears in a header the
// core includes.
//
// Texts are byte strings in the program's single-byte code page (Windows-1252); paths are
// passed as the program builds them, with the separator that pathSeparator() returns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Milliseconds from a fixed point before the first call (process start or boot), taken from a
// monotonic clock: never goes backwards and does not follow changes of the wall-clock time.
// Thread-safe.
std::uint64_t monotonicMillis();

// Blocks the calling thread for at least `milliseconds` without using the processor.
void sleepMillis(std::uint32_t milliseconds);

// The local wall-clock date and time, with milliseconds (month 1..12, day 1..31, hour 0..23).
struct LocalTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};
LocalTime localTime();

// The directory that holds the program's executable file, without a trailing separator. The
// program's own files (message texts, link settings, translation table, description
// directories) lie there. On Windows this is the directory of the module "Kwvault.exe" when
// such a module is loaded in the process, else of the program's own executable; on POSIX the
// directory of /proc/self/exe with symbolic links resolved.
std::string programDirectory();

// Creates the one directory `path` (not its parents). True when it was created or already
// exists as a directory; false for every other failure (an existing file of that name too).
bool makeDirectory(const std::string& path);

// The separator the program puts between a directory and a name: '\\' on Windows, '/' on
// POSIX.
char pathSeparator();

// Replaces `target` by `source` in one step (both in the same directory): afterwards `target`
// holds what `source` held and `source` is gone. When `target` existed, the new file gets its
// permission bits. False (and nothing changed) on failure.
bool replaceFile(const std::string& source, const std::string& target);

// The file that `path` finally names: a symbolic link is followed (also a chain of links and
// a link to a file that does not exist yet), so that writing there replaces the link's target
// and keeps the link. Any other path is returned unchanged.
std::string resolveLinks(const std::string& path);

// True when `path` names an existing directory.
bool isDirectory(const std::string& path);

// Whether a file can be read: Missing when nothing of that name exists, Unreadable when
// something does but it is not a file that can be opened for reading (a directory, no
// permission, ...); `reason` then holds the system's text for it.
enum class FileAccess { Missing, Readable, Unreadable };
FileAccess readAccess(const std::string& path, std::string& reason);

// The names (without directory) of the entries of directory `path`; empty when it cannot be
// read.
std::vector<std::string> directoryEntries(const std::string& path);

// The id of this process.
std::uint32_t processId();

// An exclusive lock on a file, held until releaseFileLock() or the end of the process (the
// operating system releases it when the process dies, also when it is killed).
struct FileLock;
enum class LockResult { Locked, HeldByOther, Unavailable };
// Creates `path` if missing and locks it without waiting. Locked: `lock` is set. HeldByOther:
// another process (or another lock of this one) holds it. Unavailable: the file could not be
// created or opened (a read-only directory, say); `lock` stays null.
LockResult lockFile(const std::string& path, FileLock*& lock);
void releaseFileLock(FileLock* lock);

// A message box without owner window, with an OK button; blocks the calling thread until the
// user has closed it. On POSIX nothing waits: the box is one line "<caption>: <text>" on
// standard error.
enum class MessageIcon { Error, Warning };
void showMessageBox(const std::string& caption, const std::string& text, MessageIcon icon);

}  // namespace platform

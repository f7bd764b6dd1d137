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

#include <cstddef>
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
// directories shipped with it) lie there. On Windows this is the directory of the module
// "Kwvault.exe" when such a module is loaded in the process, else of the program's own
// executable; on POSIX the directory of /proc/self/exe with symbolic links resolved.
std::string programDirectory();

// The directory of the files the users' jobs make and keep: Kwlink.cfg, the descriptions
// fetched from scales and (POSIX) the com<n> links. On POSIX the environment variable
// KWLINK_HOME when it is set and not empty, else the directory fixed when the program was built
// (an installed package keeps the program directory read-only), else programDirectory(). On
// Windows always programDirectory(). No trailing separator.
std::string dataDirectory();

// Creates the one directory `path` (not its parents). True when it was created or already
// exists as a directory; false for every other failure (an existing file of that name too).
bool makeDirectory(const std::string& path);

// The separator the program puts between a directory and a name: '\\' on Windows, '/' on
// POSIX.
char pathSeparator();

// Replaces `target` by `source` in one step (both in the same directory): afterwards `target`
// holds what `source` held and `source` is gone. Neither name is followed as a link. False (and
// nothing changed) on failure.
bool replaceFile(const std::string& source, const std::string& target);

// The file that `path` finally names: a symbolic link at its end is followed (also a chain of
// links and a link to a file that does not exist yet), so that writing there replaces the
// link's target and keeps the link. A link is followed only when it belongs to the running user
// or to root, the rule the kernel applies in sticky directories: a link another user planted
// would send the job's write wherever that user chose. For such a link the result is false
// and `refusal` names the link and its owner. Any other path comes back unchanged. (Windows:
// the path unchanged; the system follows its own links.)
bool resolveOwnLinks(const std::string& path, std::string& resolved, std::string& refusal);

// A new file being written, made by createTemporaryFile; owned by the caller until
// closeNewFile().
struct NewFile;
// Creates a new file beside `target` under a name no other process can foresee,
// "<target>.<digits>.tmp~", exclusively: never an existing file, never through a link, readable
// and writable by the running user only. `name` is set to its path. Null when it cannot be
// created.
NewFile* createTemporaryFile(const std::string& target, std::string& name);
// Appends `size` bytes. False when they could not all be written.
bool writeNewFile(NewFile* file, const char* data, std::size_t size);
// Gives the file the permission bits of `target` when that is an existing file (else those a
// newly created file gets) and closes it; `file` is freed in every case. False when that or the
// close failed.
bool closeNewFile(NewFile* file, const std::string& target);

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
enum class LockResult { Locked, HeldByOther, Unavailable, Refused };
// Creates `path` if missing and locks it without waiting. Locked: `lock` is set. HeldByOther:
// another process (or another lock of this one) holds it. Unavailable: the file could not be
// created or opened (a read-only directory, say); `lock` stays null. Refused (POSIX): `path` is
// a symbolic link, or not a regular file, or belongs to neither the running user nor root, or
// has further names; it is not followed, and `refusal` says why.
LockResult lockFile(const std::string& path, FileLock*& lock, std::string& refusal);
void releaseFileLock(FileLock* lock);

// A message box without owner window, with an OK button; blocks the calling thread until the
// user has closed it. On POSIX nothing waits: the box is one line "<caption>: <text>" on
// standard error.
enum class MessageIcon { Error, Warning };
void showMessageBox(const std::string& caption, const std::string& text, MessageIcon icon);

}  // namespace platform

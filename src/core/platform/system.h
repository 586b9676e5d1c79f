#pragma once

#include <cstddef>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

// What differs between the systems the program runs on, behind one interface:
// system_posix.cpp implements it for Linux, system_windows.cpp for Windows
// (wide paths). The rest of the program's logic never asks which system it
// runs on.
namespace tesselwick::platform {

// Paths from and to the program's own text, which is UTF-8 everywhere.
std::filesystem::path PathFromUtf8(std::string_view text);
std::string Utf8FromPath(const std::filesystem::path& path);

// `when` in the local time zone.
std::tm LocalTime(std::time_t when);

// The folder in which the program keeps the user's files when it is started
// from the desktop menu: "tesselwick" under $XDG_DATA_HOME or ~/.local/share
// on Linux, "TesselWick" in the roaming application-data folder on Windows.
// Empty when none is known.
std::filesystem::path UserFilesFolder();

// Files are reached through small numbers (file descriptors), always in
// binary mode: bytes go to and from the disk exactly as they are.

// What OpenForReading found.
struct OpenedFile {
  // >= 0 when opened.
  int fd = -1;
  // A symbolic link that leads nowhere: nothing was opened or created.
  bool danglingLink = false;
  // Why it could not be opened ("it is a folder").
  std::string problem;
};

// Opens a regular file for reading, creating it empty when it is missing.
// A folder, a FIFO or a device of that name is refused without blocking.
// On Windows, other programs may read, write, rename and delete the file
// while it is open, so that reading never blocks a replacement.
OpenedFile OpenForReading(const std::filesystem::path& path);

// Reads at most `size` bytes; 0 at the end, below 0 on an error.
long ReadSome(int fd, char* buffer, std::size_t size);
// Writes at most `size` bytes; how many, below 1 on an error.
long WriteSome(int fd, const char* bytes, std::size_t size);
// Makes what was written reach the disk.
bool FlushToDisk(int fd);
bool CloseFile(int fd);

// The program's advisory lock on an open file, which copies of the program
// take while they read and replace one of their files, so that they take
// turns. It never holds back a reader or writer that does not ask for it
// (on Windows it covers a byte far past any file's end). TryLockFile takes it
// at once or gives false when another holder has it; it is given up by
// UnlockFile or when the file is closed.
bool TryLockFile(int fd);
void UnlockFile(int fd);
// Whether `path` leads to the file open as fd, not to another renamed over
// it since it was opened.
bool IsFileAt(int fd, const std::filesystem::path& path);
// Whether a file may be replaced by ReplaceWith while this program holds it
// open: so on POSIX systems; on Windows not everywhere (not before Windows
// 10, nor under Wine), so there the holder lets go of it first.
bool CanReplaceHeldFile();
#ifndef _WIN32
// Sends `signal` to `handler` once, unless the signal was ignored when the
// program started (nohup): the handler is then reset, so the same signal
// again ends the program, and writes and waits under way carry on rather
// than fail with EINTR.
void CatchSignalOnce(int signal, void (*handler)(int));
#endif

// Creates a new, empty file that did not exist (never through a link), open
// for writing; -1 when it cannot, with `taken` true when the name exists.
int CreateNewFile(const std::filesystem::path& path, bool& taken);

// An existing file that a replacement is to take the place of.
struct ReplacedFile {
  bool exists = false;
  // A regular file that this user may write.
  bool writable = false;
  // Its permissions, which the new file keeps (POSIX mode bits).
  unsigned mode = 0;
};
ReplacedFile InspectReplaced(const std::filesystem::path& path);

// Gives the new file (open as fd) the permissions of the one it replaces.
bool KeepPermissions(int fd, const ReplacedFile& old);

// Puts `temp` in the place of `path` in one step, so a reader sees either
// the old or the new file. On Windows, where a file that another program
// holds open may not be replaced, it is tried again for a moment before the
// replacement fails (and then `temp` is still there).
bool ReplaceWith(const std::filesystem::path& temp, const std::filesystem::path& path);

// Creates `folder` (its parent exists), private to the user; true when it
// exists afterwards, else the reason in `problem`.
bool CreatePrivateFolder(const std::filesystem::path& folder, std::string& problem);

// Whether files in `folder` can be reached (the right to search it).
bool MayEnterFolder(const std::filesystem::path& folder, std::string& problem);

// Raises the number of files the process may have open at once to at least
// `wanted`, as far as the system allows (its hard limit); never lowers it.
// Returns the limit in force afterwards, or `wanted` where the system keeps
// no such limit.
std::size_t RaiseOpenFileLimit(std::size_t wanted);

// While it lives, the calling thread reads text in the C library's
// functions as UTF-8, whatever the user's locale, as the program's own text
// is: libcurl hands an international host name to the C library on Linux.
// Changes nothing on Windows, where libcurl reads such names as UTF-8 itself.
class Utf8Text {
 public:
  Utf8Text();
  ~Utf8Text();
  Utf8Text(const Utf8Text&) = delete;
  Utf8Text& operator=(const Utf8Text&) = delete;

 private:
  void* previous_ = nullptr;
};

}  // namespace tesselwick::platform

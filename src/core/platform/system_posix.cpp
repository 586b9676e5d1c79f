#include <fcntl.h>
#include <locale.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <system_error>

#include "core/platform/system.h"
#include "core/platform/working_folder.h"
#include "core/text/translation.h"

namespace tesselwick::platform {

namespace fs = std::filesystem;

namespace {

std::string ErrnoText() { return std::generic_category().message(errno); }

}  // namespace

fs::path PathFromUtf8(std::string_view text) { return fs::path(text); }

std::string Utf8FromPath(const fs::path& path) { return path.string(); }

std::tm LocalTime(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  return local;
}

fs::path UserFilesFolder() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  std::string homeText = home ? home : "";
  if (homeText.empty()) {
    if (const passwd* user = getpwuid(getuid()); user && user->pw_dir) homeText = user->pw_dir;
  }
  return tesselwick::UserFilesFolder(xdg ? xdg : "", homeText);
}

OpenedFile OpenForReading(const fs::path& path) {
  // O_NONBLOCK keeps a FIFO of that name from blocking the open; it is
  // refused below like any other file that is not a regular one.
  constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
  OpenedFile opened;
  int fd = -1;
  for (int attempt = 0; attempt < 2 && fd < 0; ++attempt) {
    fd = ::open(path.c_str(), kFlags);
    if (fd >= 0 || errno != ENOENT) break;
    // O_EXCL never follows a link: a dangling one makes this fail with EEXIST.
    fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
    if (fd >= 0 || errno != EEXIST) break;
    struct stat link {};
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
      opened.danglingLink = true;
      return opened;
    }
    // Someone else created it in between: open theirs.
  }
  if (fd < 0) {
    opened.problem = errno == EISDIR ? N_("it is a folder") : ErrnoText();
    return opened;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    opened.problem = S_ISDIR(info.st_mode) ? N_("it is a folder") : N_("it is not a regular file");
    ::close(fd);
    return opened;
  }
  opened.fd = fd;
  return opened;
}

long ReadSome(int fd, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

long WriteSome(int fd, const char* bytes, std::size_t size) {
  for (;;) {
    const ssize_t n = ::write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

bool FlushToDisk(int fd) { return ::fsync(fd) == 0; }

bool CloseFile(int fd) { return ::close(fd) == 0; }

bool TryLockFile(int fd) {
  // flock, not fcntl: its lock belongs to the open file, so two saves in one
  // process take turns too, and closing another descriptor of the same file
  // does not give it up.
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EINTR) return false;
  }
}

void UnlockFile(int fd) { ::flock(fd, LOCK_UN); }

bool CanReplaceHeldFile() { return true; }

void CatchSignalOnce(int signal, void (*handler)(int)) {
  struct sigaction previous {};
  if (sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  // SA_RESETHAND is 0x80000000, an unsigned constant; the flags field is an int.
  action.sa_flags = static_cast<int>(SA_RESETHAND | SA_RESTART);
  sigaction(signal, &action, nullptr);
}

bool IsFileAt(int fd, const fs::path& path) {
  struct stat open {};
  struct stat named {};
  return ::fstat(fd, &open) == 0 && ::stat(path.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

int CreateNewFile(const fs::path& path, bool& taken) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
  taken = fd < 0 && errno == EEXIST;
  return fd;
}

ReplacedFile InspectReplaced(const fs::path& path) {
  ReplacedFile old;
  struct stat info {};
  old.exists = ::stat(path.c_str(), &info) == 0;
  // A file that may not be written stays as it is, although renaming over it
  // would succeed.
  old.writable = old.exists && S_ISREG(info.st_mode) && ::access(path.c_str(), W_OK) == 0;
  old.mode = static_cast<unsigned>(info.st_mode) & 07777U;
  return old;
}

bool KeepPermissions(int fd, const ReplacedFile& old) {
  return !old.exists || ::fchmod(fd, static_cast<mode_t>(old.mode)) == 0;
}

bool ReplaceWith(const fs::path& temp, const fs::path& path) {
  return std::rename(temp.c_str(), path.c_str()) == 0;
}

bool CreatePrivateFolder(const fs::path& folder, std::string& problem) {
  if (::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) return true;
  problem = ErrnoText();
  return false;
}

bool MayEnterFolder(const fs::path& folder, std::string& problem) {
  if (faccessat(AT_FDCWD, folder.c_str(), X_OK, AT_EACCESS) == 0) return true;
  problem = ErrnoText();
  return false;
}

std::size_t RaiseOpenFileLimit(std::size_t wanted) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return wanted;
  const auto want = static_cast<rlim_t>(wanted);
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= want)
    return limit.rlim_cur == RLIM_INFINITY ? wanted : static_cast<std::size_t>(limit.rlim_cur);
  rlimit raised = limit;
  raised.rlim_cur =
      limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= want ? want : limit.rlim_max;
  if (setrlimit(RLIMIT_NOFILE, &raised) != 0) return static_cast<std::size_t>(limit.rlim_cur);
  return static_cast<std::size_t>(raised.rlim_cur);
}

Utf8Text::Utf8Text() {
  // Made once and kept for the program's life; the C library has the
  // character set "C.UTF-8" built in, other systems may only have a
  // language's UTF-8 locale.
  static const locale_t utf8 = [] {
    locale_t made = nullptr;
    for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
      made = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr));
      if (made != nullptr) break;
    }
    return made;
  }();
  if (utf8 != nullptr) previous_ = uselocale(utf8);
}

Utf8Text::~Utf8Text() {
  if (previous_ != nullptr) uselocale(static_cast<locale_t>(previous_));
}

}  // namespace tesselwick::platform

#include "core/platform/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

namespace tesselwick {

namespace fs = std::filesystem;

std::string ToDiskLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

std::string FromDiskLineEnds(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    out.push_back(bytes[i]);
  }
  return out;
}

std::optional<std::string> ReadTextFileContents(const fs::path& path) {
  // Opening for reading creates a missing file, empty, like the program's
  // text streams always have; O_CREAT without O_TRUNC leaves a present file
  // alone. O_NONBLOCK keeps a FIFO of that name from blocking the open; it is
  // refused below like any other file that is not a regular one.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    // A read error ends the text like the end of the file: what was read stays.
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return FromDiskLineEnds(bytes);
}

namespace {

// Creates a new, empty temporary file in the folder of `path`, named after it
// ("pad.dat.3f9a1c.tmp"), and gives its descriptor and name. The name is new
// each time and the file is created exclusively, so an old temporary file, a
// link planted under such a name or another copy of the program saving at the
// same moment can neither block the save nor be written through.
int CreateTemporaryBeside(const fs::path& path, fs::path& temp) {
  thread_local std::mt19937 random{std::random_device{}()};
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%06x.tmp", static_cast<unsigned>(random() & 0xffffffU));
    temp = path;
    temp += suffix;
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

bool ReplaceFileBytes(const fs::path& path, std::string_view bytes) {
  std::error_code ec;
  // A file that may not be written stays as it is, although renaming over it
  // would succeed; the new file keeps the old one's permissions.
  struct stat old {};
  const bool exists = ::stat(path.c_str(), &old) == 0;
  if (exists && (!S_ISREG(old.st_mode) || ::access(path.c_str(), W_OK) != 0)) return false;
  fs::path temp;
  const int fd = CreateTemporaryBeside(path, temp);
  if (fd < 0) return false;
  bool ok = !exists || ::fchmod(fd, old.st_mode & 07777) == 0;
  std::size_t done = 0;
  while (ok && done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
    } else {
      done += static_cast<std::size_t>(n);
    }
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && std::rename(temp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) fs::remove(temp, ec);
  return ok;
}

bool ReplaceTextFile(const fs::path& path, std::string_view text) {
  return ReplaceFileBytes(path, ToDiskLineEnds(text));
}

}  // namespace tesselwick

#include "core/platform/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
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

namespace {

// Opens a file for reading, creating it empty when it is missing, as the
// program's text streams always have. O_NONBLOCK keeps a FIFO of that name
// from blocking the open; it is refused later like any other file that is not
// a regular one. -1 with errno set when it cannot be opened; -2 for a link
// that leads nowhere, which reads as an empty file without creating its
// target.
int OpenForReading(const fs::path& path) {
  constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = ::open(path.c_str(), kFlags);
    if (fd >= 0 || errno != ENOENT) return fd;
    // O_EXCL never follows a link: a dangling one makes this fail with EEXIST.
    const int created = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
    if (created >= 0 || errno != EEXIST) return created;
    struct stat link {};
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) return -2;
    // Someone else created it in between: open theirs.
  }
  return -1;
}

void Say(std::string* problem, std::string why) {
  if (problem != nullptr) *problem = std::move(why);
}

}  // namespace

std::optional<std::string> ReadTextFileContents(const fs::path& path, std::string* problem) {
  const int fd = OpenForReading(path);
  if (fd == -2) return std::string();
  if (fd < 0) {
    Say(problem, errno == EISDIR ? "it is a folder" : std::generic_category().message(errno));
    return std::nullopt;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    Say(problem, S_ISDIR(info.st_mode) ? "it is a folder" : "it is not a regular file");
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

// The file that a save of `path` replaces: the end of its chain of symbolic
// links, which need not exist yet. Nothing for a loop of links (or a chain of
// more than 40) and for a link that cannot be read.
std::optional<fs::path> FileBehindLinks(const fs::path& path) {
  fs::path file = path;
  for (int step = 0; step < 40; ++step) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(file, ec))) return file;
    const fs::path target = fs::read_symlink(file, ec);
    if (ec) return std::nullopt;
    file = target.is_absolute() ? target : file.parent_path() / target;
  }
  return std::nullopt;
}

// True for names that CreateTemporaryBeside gives `base`: base.XXXXXX.tmp
// with six lower-case hex digits.
bool IsTemporaryName(const std::string& name, const std::string& base) {
  constexpr std::size_t kDigits = 6;
  if (name.size() != base.size() + 1 + kDigits + 4 || name.compare(0, base.size(), base) != 0 ||
      name[base.size()] != '.' || name.compare(name.size() - 4, 4, ".tmp") != 0) {
    return false;
  }
  for (std::size_t i = base.size() + 1; i < base.size() + 1 + kDigits; ++i) {
    const char c = name[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// Removes the temporary files that saves of `file` left behind when they were
// killed, once they are older than a day: a save under way in another copy of
// the program is never that old. Only plain files of our own naming go.
void RemoveStaleTemporaries(const fs::path& file) {
  std::error_code ec;
  const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
  const std::string base = file.filename().string();
  const auto dayAgo = fs::file_time_type::clock::now() - std::chrono::hours(24);
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!IsTemporaryName(it->path().filename().string(), base)) continue;
    std::error_code entryError;
    if (!it->is_regular_file(entryError) || it->is_symlink(entryError)) continue;
    const auto modified = fs::last_write_time(it->path(), entryError);
    if (!entryError && modified < dayAgo) fs::remove(it->path(), entryError);
  }
}

}  // namespace

FileReplacement::FileReplacement(const fs::path& link) {
  const std::optional<fs::path> behindLinks = FileBehindLinks(link);
  if (!behindLinks) return;
  path_ = *behindLinks;
  // A file that may not be written stays as it is, although renaming over it
  // would succeed; the new file keeps the old one's permissions.
  struct stat old {};
  const bool exists = ::stat(path_.c_str(), &old) == 0;
  if (exists && (!S_ISREG(old.st_mode) || ::access(path_.c_str(), W_OK) != 0)) return;
  fd_ = CreateTemporaryBeside(path_, temp_);
  if (fd_ < 0) return;
  ok_ = !exists || ::fchmod(fd_, old.st_mode & 07777) == 0;
}

FileReplacement::~FileReplacement() {
  if (fd_ < 0) return;
  ::close(fd_);
  std::error_code ec;
  fs::remove(temp_, ec);
}

bool FileReplacement::Write(std::string_view bytes) {
  std::size_t done = 0;
  while (ok_ && done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok_ = false;
    } else {
      done += static_cast<std::size_t>(n);
    }
  }
  return ok_;
}

bool FileReplacement::WriteText(std::string_view text) {
  // In slices, so that a long text is never doubled in memory.
  constexpr std::size_t kSlice = 64 * 1024;
  for (std::size_t at = 0; ok_ && at < text.size(); at += kSlice)
    Write(ToDiskLineEnds(text.substr(at, kSlice)));
  return ok_;
}

bool FileReplacement::Commit() {
  if (fd_ < 0) return false;
  if (ok_ && ::fsync(fd_) != 0) ok_ = false;
  if (::close(fd_) != 0) ok_ = false;
  fd_ = -1;
  if (ok_ && std::rename(temp_.c_str(), path_.c_str()) != 0) ok_ = false;
  std::error_code ec;
  if (!ok_) fs::remove(temp_, ec);
  RemoveStaleTemporaries(path_);
  return ok_;
}

bool ReplaceFileBytes(const fs::path& path, std::string_view bytes) {
  FileReplacement replacement(path);
  replacement.Write(bytes);
  return replacement.Commit();
}

bool ReplaceTextFile(const fs::path& path, std::string_view text) {
  FileReplacement replacement(path);
  replacement.WriteText(text);
  return replacement.Commit();
}

}  // namespace tesselwick

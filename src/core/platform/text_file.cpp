#include "core/platform/text_file.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <system_error>
#include <thread>

#include "core/platform/system.h"

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

void Say(std::string* problem, std::string why) {
  if (problem != nullptr) *problem = std::move(why);
}

}  // namespace

std::optional<std::string> ReadTextFileContents(const fs::path& path, std::string* problem) {
  const platform::OpenedFile opened = platform::OpenForReading(path);
  if (opened.danglingLink) return std::string();
  if (opened.fd < 0) {
    Say(problem, opened.problem);
    return std::nullopt;
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const long n = platform::ReadSome(opened.fd, buffer, sizeof buffer);
    // A read error ends the text like the end of the file: what was read stays.
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  platform::CloseFile(opened.fd);
  return FromDiskLineEnds(bytes);
}

namespace {

void ForEachLineOf(int fd, std::size_t longestLine,
                   const std::function<void(std::string_view line)>& handle) {
  std::string line;
  // Set while the rest of a line that grew too long is passed over.
  bool passing = false;
  char buffer[65536];
  for (;;) {
    const long n = platform::ReadSome(fd, buffer, sizeof buffer);
    // A read error ends the text like the end of the file.
    if (n <= 0) break;
    std::string_view piece(buffer, static_cast<std::size_t>(n));
    while (!piece.empty()) {
      const std::size_t end = piece.find('\n');
      const std::string_view part = piece.substr(0, end);
      if (!passing && line.size() + part.size() > longestLine + 1) {
        // One byte more than the longest line is taken: the CR of its CR LF.
        passing = true;
        line.clear();
      } else if (!passing) {
        line.append(part);
      }
      if (end == std::string_view::npos) break;
      piece.remove_prefix(end + 1);
      if (!passing) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() <= longestLine) handle(line.append(1, '\n'));
      }
      line.clear();
      passing = false;
    }
  }
}

}  // namespace

bool ForEachTextFileLine(const fs::path& path, std::size_t longestLine,
                         const std::function<void(std::string_view line)>& line,
                         std::string* problem) {
  const platform::OpenedFile opened = platform::OpenForReading(path);
  if (opened.danglingLink) return true;
  if (opened.fd < 0) {
    Say(problem, opened.problem);
    return false;
  }
  ForEachLineOf(opened.fd, longestLine, line);
  platform::CloseFile(opened.fd);
  return true;
}

LockedFile::LockedFile(const fs::path& path, std::chrono::milliseconds patience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  // A copy that held the lock before this one got it has renamed its new
  // file over the one opened here: that one is opened and locked in turn.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const platform::OpenedFile opened = platform::OpenForReading(path);
    if (opened.fd < 0) return;
    fd_ = opened.fd;
    while (!(locked_ = platform::TryLockFile(fd_)) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!locked_ || platform::IsFileAt(fd_, path)) return;
    platform::CloseFile(fd_);
    fd_ = -1;
    locked_ = false;
  }
}

LockedFile::~LockedFile() { Release(); }

void LockedFile::Release() {
  if (fd_ < 0) return;
  if (locked_) platform::UnlockFile(fd_);
  platform::CloseFile(fd_);
  fd_ = -1;
  locked_ = false;
}

void LockedFile::ForEachLine(std::size_t longestLine,
                             const std::function<void(std::string_view line)>& line) const {
  if (fd_ >= 0) ForEachLineOf(fd_, longestLine, line);
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
    bool taken = false;
    const int fd = platform::CreateNewFile(temp, taken);
    if (fd >= 0 || !taken) return fd;
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
  const std::string base = platform::Utf8FromPath(file.filename());
  const auto dayAgo = fs::file_time_type::clock::now() - std::chrono::hours(24);
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!IsTemporaryName(platform::Utf8FromPath(it->path().filename()), base)) continue;
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
  // A file that may not be written stays as it is; the new file keeps the old
  // one's permissions.
  const platform::ReplacedFile old = platform::InspectReplaced(path_);
  if (old.exists && !old.writable) return;
  fd_ = CreateTemporaryBeside(path_, temp_);
  if (fd_ < 0) return;
  ok_ = platform::KeepPermissions(fd_, old);
}

FileReplacement::~FileReplacement() {
  if (fd_ < 0) return;
  platform::CloseFile(fd_);
  std::error_code ec;
  fs::remove(temp_, ec);
}

bool FileReplacement::Write(std::string_view bytes) {
  std::size_t done = 0;
  while (ok_ && done < bytes.size()) {
    const long n = platform::WriteSome(fd_, bytes.data() + done, bytes.size() - done);
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

bool FileReplacement::Commit(const std::function<void()>& beforeReplace) {
  if (fd_ < 0) return false;
  if (ok_ && !platform::FlushToDisk(fd_)) ok_ = false;
  if (!platform::CloseFile(fd_)) ok_ = false;
  fd_ = -1;
  if (ok_ && beforeReplace) beforeReplace();
  if (ok_ && !platform::ReplaceWith(temp_, path_)) ok_ = false;
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

#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tesselwick {

// Text files as the program keeps them: bytes on disk with CR LF line ends,
// bytes in memory with LF alone.

// Reads a whole text file, turning each CR LF into LF (a lone CR stays).
// A missing file is created empty first, as the program's files always are;
// a symbolic link that points nowhere reads as empty and creates nothing.
// Returns nothing when the file cannot be opened or created (a folder or FIFO
// of that name, no permission), and then says why in `problem` when given
// ("it is a folder"); a read error part-way ends the text there.
std::optional<std::string> ReadTextFileContents(const std::filesystem::path& path,
                                                std::string* problem = nullptr);

// Reads a text file one line at a time, for a file that anyone may have made
// as large as they like: calls `line` with each line that ends in a line feed
// (its CR LF as LF, the LF included), in order. A line of more than
// `longestLine` bytes (its line feed not counted) is passed over whole and
// never held in memory, and whatever follows the last line feed is not a
// line. The file is opened as ReadTextFileContents opens it; false when it
// cannot be, with the reason in `problem` when given.
bool ForEachTextFileLine(const std::filesystem::path& path, std::size_t longestLine,
                         const std::function<void(std::string_view line)>& line,
                         std::string* problem = nullptr);

// A file held under the program's lock (platform::TryLockFile) while it is
// read and then replaced, so that copies of the program saving it at the same
// moment take turns and each reads what the one before it wrote. The file is
// opened as ReadTextFileContents opens it, and the lock waited for up to
// `patience`; when it cannot be had by then (a program that holds it and does
// not let go), the file is read and replaced all the same, unlocked.
class LockedFile {
 public:
  explicit LockedFile(const std::filesystem::path& path,
                      std::chrono::milliseconds patience = std::chrono::seconds(10));
  ~LockedFile();
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;

  bool Locked() const { return locked_; }
  // Gives up the lock and closes the file, as the destructor does.
  void Release();
  // The lines of the file as it is now, under ForEachTextFileLine's rules;
  // none when it could not be opened.
  void ForEachLine(std::size_t longestLine,
                   const std::function<void(std::string_view line)>& line) const;

 private:
  int fd_ = -1;
  bool locked_ = false;
};

// Turns every LF into CR LF.
std::string ToDiskLineEnds(std::string_view text);

// Turns every CR LF into LF.
std::string FromDiskLineEnds(std::string_view bytes);

// Writes text (LF line ends) as the whole new content of path, with CR LF line
// ends on disk. The bytes go to a temporary file in the same folder, which is
// flushed and renamed over the old file only when every byte was written, so a
// failed write leaves the old file as it was. When path is a symbolic link,
// the file it leads to is the one replaced and the link stays, so a shared
// copy behind a link is kept up to date. A file that may not be written
// (read-only, not a regular file) is refused, and the new file keeps the old
// one's permissions. Temporary files of this file's that a killed save left
// behind are removed once they are a day old. Returns false on any failure.
bool ReplaceTextFile(const std::filesystem::path& path, std::string_view text);

// Same, with the bytes written exactly as given.
bool ReplaceFileBytes(const std::filesystem::path& path, std::string_view bytes);

// The new content of a file written piece by piece, under the same rules as
// ReplaceTextFile: into a temporary file beside the file (behind its links),
// put in place by Commit only when every piece was written. A replacement
// that is never committed leaves the old file and no temporary one.
class FileReplacement {
 public:
  explicit FileReplacement(const std::filesystem::path& path);
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Appends bytes as they are; false once anything has failed.
  bool Write(std::string_view bytes);
  // Appends text with its LF line ends written as CR LF.
  bool WriteText(std::string_view text);
  // Puts the new content in place; false (and the old file kept) when any
  // step failed. `beforeReplace`, when given, runs once the new content is
  // on disk, just before it takes the file's name.
  bool Commit(const std::function<void()>& beforeReplace = {});

 private:
  std::filesystem::path path_;
  std::filesystem::path temp_;
  int fd_ = -1;
  bool ok_ = false;
};

}  // namespace tesselwick

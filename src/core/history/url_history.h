#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tesselwick {

// The order of the remembered URLs: byte order after folding ASCII letters to
// lower case.
bool UrlEntryLess(const std::string& a, const std::string& b);
// Equal with ASCII letter case ignored.
bool EqualsNoCase(const std::string& a, const std::string& b);
// The text with ASCII letters folded to lower case: equal for two texts
// exactly when EqualsNoCase is true.
std::string FoldAsciiCase(std::string text);

// Whether text holds a control character: a byte below 0x20 (line feed,
// carriage return, tab, escape...) or DEL.
bool HasControlCharacter(std::string_view text);

// Whether a URL may be remembered: not empty, no longer than the longest URL
// that is requested (kMaxUrlBytes), and without control characters (bytes
// below 0x20, and DEL), which no request may hold and which would break the
// history file's lines. Nothing else reaches the history file.
bool IsRememberableUrl(std::string_view url);

// The PAD URLs used before: kept in UrlEntryLess order, no two equal with
// letter case ignored, and kept between runs in tesselwick.ini.
class UrlHistory {
 public:
  // How many entries the file keeps ("URL1" to "URL10").
  static constexpr std::size_t kSavedEntries = 10;

  // How much of a history file is taken at most, whatever its size: the
  // program writes ten entries, so a file with more was made by someone else.
  static constexpr std::size_t kMostLoadedEntries = 100000;
  static constexpr std::size_t kMostLoadedBytes = std::size_t{16} * 1024 * 1024;

  // Takes the entries of a history file's text (LF line ends): the values of
  // "URL1" to "URL10" that are rememberable (IsRememberableUrl) and not yet
  // known, until kMostLoadedEntries or kMostLoadedBytes are taken. Gives the
  // value of the last "URL" line whose value is empty or rememberable, the
  // PAD URL of the last session, if there is one. Linear in the size of the text.
  std::optional<std::string> Read(std::string_view text);
  // Reads the file in the same way, a line at a time, so that memory stays
  // within those bounds however large the file is: a line longer than a URL
  // can be is passed over unread. A missing file is created empty and gives
  // nothing, one that cannot be read gives nothing either.
  std::optional<std::string> Load(const std::filesystem::path& file);

  // Adds a URL used for a submission unless an entry equals it with letter
  // case ignored; gives the position it was put at, if it was added. The
  // entry of the URL used last is always among those saved. A URL that is
  // not rememberable is not taken at all.
  std::optional<std::size_t> Remember(const std::string& url);

  const std::vector<std::string>& Entries() const { return entries_; }
  // Position of the entry equal to text with letter case ignored.
  std::optional<std::size_t> Find(const std::string& text) const;

  // The file's text (LF line ends) for the PAD URL in the box: "CREATOR",
  // "URL" and "URL1" to "URL10": the first ten entries, except that the entry
  // of the URL used last takes the place of the tenth when it sorts after it.
  // "URL" is left empty when the box holds a URL that is not rememberable.
  std::string FileText(const std::string& padUrl) const;
  // Writes that text over the file; false, with the old file kept, when it
  // could not be written whole. The entries that the file holds at that
  // moment are merged in first, under the file's lock (LockedFile), so what
  // another copy of the program saved in the same folder since this one
  // loaded the file is kept.
  bool Save(const std::filesystem::path& file, const std::string& padUrl) const;

 private:
  std::vector<std::string> entries_;
  std::string used_;
};

}  // namespace tesselwick

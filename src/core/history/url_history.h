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

// The PAD URLs used before: kept in UrlEntryLess order, no two equal with
// letter case ignored, and kept between runs in tesselwick.ini.
class UrlHistory {
 public:
  // How many entries the file keeps ("URL1" to "URL10").
  static constexpr std::size_t kSavedEntries = 10;

  // Takes the entries of a history file's text (LF line ends): the values of
  // "URL1" to "URL10" that are not empty and not yet known. Gives the value
  // of the last "URL" line, the PAD URL of the last session, if there is one.
  // Linear in the size of the text.
  std::optional<std::string> Read(std::string_view text);
  // Reads the file; a missing file is created empty and gives nothing, one
  // that cannot be read gives nothing either.
  std::optional<std::string> Load(const std::filesystem::path& file);

  // Adds a URL used for a submission unless an entry equals it with letter
  // case ignored; gives the position it was put at, if it was added. The
  // entry of the URL used last is always among those saved.
  std::optional<std::size_t> Remember(const std::string& url);

  const std::vector<std::string>& Entries() const { return entries_; }
  // Position of the entry equal to text with letter case ignored.
  std::optional<std::size_t> Find(const std::string& text) const;

  // The file's text (LF line ends) for the PAD URL in the box: "CREATOR",
  // "URL" and "URL1" to "URL10": the first ten entries, except that the entry
  // of the URL used last takes the place of the tenth when it sorts after it.
  std::string FileText(const std::string& padUrl) const;
  // Writes that text over the file; false, with the old file kept, when it
  // could not be written whole.
  bool Save(const std::filesystem::path& file, const std::string& padUrl) const;

 private:
  std::vector<std::string> entries_;
  std::string used_;
};

}  // namespace tesselwick

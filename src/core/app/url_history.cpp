// The PAD URL history: the PAD-URL box's list and tesselwick.ini.

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/app/main_dialog.h"
#include "core/app/texts.h"
#include "core/platform/text_file.h"
#include "core/text/key_value_line.h"

namespace tesselwick {

namespace {

// How many list entries the file keeps ("URL1" to "URL10").
constexpr std::size_t kSavedEntries = 10;

// The number n of a key "URL1" to "URL10", or 0 for any other key. Keys are
// compared exactly: "url1", "URL01" and "URL1 " are not history keys.
int HistoryEntryNumber(const std::string& key) {
  for (std::size_t n = 1; n <= kSavedEntries; ++n)
    if (key == "URL" + std::to_string(n)) return static_cast<int>(n);
  return 0;
}

}  // namespace

void MainDialog::LoadUrlHistory() {
  Pull();
  // A missing file is created empty and loads nothing; a file that can't be
  // read at all (a folder of that name, no permission) loads nothing, silently.
  const std::optional<std::string> text = ReadTextFileContents(FilePath(texts::kHistoryFile));
  if (text) ReadUrlHistory(*text);
  Push();
}

void MainDialog::ReadUrlHistory(std::string_view text) {
  // Entries are told apart by their text with ASCII letters folded, looked up
  // in a hash set, and put in order once at the end, so a file of many lines
  // loads in time proportional to its size.
  std::unordered_set<std::string> known;
  for (const std::string& entry : UrlEntries) known.insert(FoldAsciiCase(entry));
  std::vector<std::string> added;
  ForEachKeyValueLine(text, [&](const KeyValue& line) {
    if (line.key == "URL") {
      // The URL of the last session goes into the edit field, not the list;
      // the last such line wins.
      PadUrl = line.value;
    } else if (HistoryEntryNumber(line.key) != 0 && !line.value.empty() &&
               known.insert(FoldAsciiCase(line.value)).second) {
      added.push_back(line.value);
    }
  });
  if (UrlEntries.empty()) {
    std::sort(added.begin(), added.end(), UrlEntryLess);
    for (std::string& entry : added) {
      controls_.urlBox.InsertEntry(static_cast<int>(UrlEntries.size()), entry);
      UrlEntries.push_back(std::move(entry));
    }
  } else {
    for (const std::string& entry : added) AddUrlEntry(entry);
  }
  Push();
}

void MainDialog::RememberPadUrl() {
  Pull();
  // Remembered before anything is fetched, so a URL whose PAD file then fails
  // to load is offered again too; a case variant of an entry adds nothing.
  if (!PadUrl.empty()) {
    if (FindUrlEntryNoCase(PadUrl) < 0) AddUrlEntry(PadUrl);
    usedPadUrl_ = PadUrl;
  }
  Push();
}

void MainDialog::SaveUrlHistory() {
  // No pull: PadUrl is what the last command (or Quit) took from the box.
  Push();
  std::string text = "CREATOR=TESSELWICK 1.0";
  text += "\nURL=" + PadUrl;
  // The first ten entries in list order; the rest are not kept, except the
  // entry of the PAD URL used in this run of the program: when it sorts
  // after ten others, it takes the place of the last of them.
  std::vector<std::size_t> saved;
  for (std::size_t i = 0; i < UrlEntries.size() && saved.size() < kSavedEntries; ++i)
    saved.push_back(i);
  const int used = usedPadUrl_.empty() ? -1 : FindUrlEntryNoCase(usedPadUrl_);
  if (used >= 0 && static_cast<std::size_t>(used) >= kSavedEntries)
    saved.back() = static_cast<std::size_t>(used);
  for (std::size_t n = 1; n <= kSavedEntries; ++n) {
    text += "\nURL" + std::to_string(n) + "=";
    if (n <= saved.size()) text += UrlEntries[saved[n - 1]];
  }
  text += "\n\n\n";
  // The new file replaces the old one only when it was written whole, so a
  // failed save leaves the previous history in place.
  if (!ReplaceTextFile(FilePath(texts::kHistoryFile), text))
    controls_.messages.ShowMessage("Save to File", "Error Writing File");
}

}  // namespace tesselwick

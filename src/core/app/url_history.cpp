// The PAD URL history: the PAD-URL box's list and tesselwick.ini.

#include <optional>
#include <string>

#include "core/app/main_dialog.h"
#include "core/app/texts.h"
#include "core/platform/text_file.h"
#include "core/sites/key_value_line.h"

namespace tesselwick {

namespace {

// How many list entries the file keeps ("URL1" to "URL10").
constexpr int kSavedEntries = 10;

// The number n of a key "URL1" to "URL10", or 0 for any other key. Keys are
// compared exactly: "url1", "URL01" and "URL1 " are not history keys.
int HistoryEntryNumber(const std::string& key) {
  for (int n = 1; n <= kSavedEntries; ++n)
    if (key == "URL" + std::to_string(n)) return n;
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
  ForEachKeyValueLine(text, [this](const KeyValue& line) {
    if (line.key == "URL") {
      // The URL of the last session goes into the edit field, not the list.
      PadUrl = line.value;
      Push();
    } else if (HistoryEntryNumber(line.key) != 0 && !line.value.empty() &&
               FindUrlEntryNoCase(line.value) < 0) {
      AddUrlEntry(line.value);
    }
  });
}

void MainDialog::RememberPadUrl() {
  Pull();
  // Remembered before anything is fetched, so a URL whose PAD file then fails
  // to load is offered again too; a case variant of an entry adds nothing.
  if (!PadUrl.empty() && FindUrlEntryNoCase(PadUrl) < 0) AddUrlEntry(PadUrl);
  Push();
}

void MainDialog::SaveUrlHistory() {
  // No pull: PadUrl is what the last command (or Quit) took from the box.
  Push();
  std::string text = "CREATOR=TESSELWICK 1.0";
  text += "\nURL=" + PadUrl;
  // The first ten entries in list order; the rest are not kept.
  for (int n = 1; n <= kSavedEntries; ++n) {
    const auto index = static_cast<std::size_t>(n - 1);
    text += "\nURL" + std::to_string(n) + "=";
    if (index < UrlEntries.size()) text += UrlEntries[index];
  }
  text += "\n\n\n";
  // The new file replaces the old one only when it was written whole, so a
  // failed save leaves the previous history in place.
  if (!ReplaceTextFile(FilePath(texts::kHistoryFile), text))
    controls_.messages.ShowMessage("Save to File", "Error Writing File");
}

}  // namespace tesselwick

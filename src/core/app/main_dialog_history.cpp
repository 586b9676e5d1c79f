// The PAD URL history as the main window shows it: the PAD-URL box's list,
// kept by the UrlHistory service, and tesselwick.ini.

#include <optional>
#include <string>

#include "core/app/main_dialog.h"
#include "core/text/messages.h"

namespace tesselwick {

void MainDialog::LoadUrlHistory() {
  Pull();
  // A missing file is created empty and loads nothing; a file that can't be
  // read at all (a folder of that name, no permission) loads nothing, silently.
  // The URL of the last session goes into the edit field, not the list.
  if (std::optional<std::string> padUrl = history_.Load(FilePath(program::kHistoryFile)))
    PadUrl = std::move(*padUrl);
  controls_.urlBox.SetEntries(history_.Entries());
  Push();
}

void MainDialog::RememberPadUrl() {
  Pull();
  // Remembered before anything is fetched, so a URL whose PAD file then fails
  // to load is offered again too; a case variant of an entry adds nothing.
  if (const std::optional<std::size_t> at = history_.Remember(PadUrl))
    controls_.urlBox.InsertEntry(static_cast<int>(*at), PadUrl);
  Push();
}

void MainDialog::SaveUrlHistory() {
  // No pull: PadUrl is what the last command (or Quit) took from the box.
  Push();
  if (!history_.Save(FilePath(program::kHistoryFile), PadUrl))
    controls_.messages.ShowMessage(texts::kHistoryUnwritable, texts::kHistoryUnwritableCaption);
}

}  // namespace tesselwick

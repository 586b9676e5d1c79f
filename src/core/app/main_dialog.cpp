#include "core/app/main_dialog.h"

#include <algorithm>
#include <string>

#include "core/app/texts.h"

namespace tesselwick {

namespace {
char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool UrlEntryLess(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(FoldAscii(x)) < static_cast<unsigned char>(FoldAscii(y));
  });
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldAscii(x) == FoldAscii(y);
         });
}

std::string FoldAsciiCase(std::string text) {
  for (char& c : text) c = FoldAscii(c);
  return text;
}

MainDialog::MainDialog(MainDialogControls controls, std::filesystem::path folder)
    : controls_(controls), folder_(std::move(folder)) {}

void MainDialog::Pull() {
  // The site-count box is read-only and filled only by pushes, so its value is
  // always SiteCount's own; the PAD URL is the box's edit text, untrimmed.
  PadUrl = controls_.urlBox.EditText();
}

void MainDialog::Push() {
  controls_.siteCount.SetText(std::to_string(SiteCount));
  // The box shows PadUrl exactly: a list entry is selected only when it is
  // the very same text, so nothing downstream ever sees a longer entry or a
  // case variant in place of what the user typed.
  const auto it = std::find(UrlEntries.begin(), UrlEntries.end(), PadUrl);
  if (!PadUrl.empty() && it != UrlEntries.end()) {
    controls_.urlBox.SelectEntry(static_cast<int>(it - UrlEntries.begin()));
  } else if (controls_.urlBox.EditText() != PadUrl) {
    controls_.urlBox.SetEditText(PadUrl);
  }
}

void MainDialog::Initialise() {
  Push();
  CreateSiteColumns();
  LoadSiteFile();
  LoadUrlHistory();
}

void MainDialog::CloseDown() { SaveUrlHistory(); }

int MainDialog::FindUrlEntryNoCase(const std::string& text) const {
  const auto it =
      std::find_if(UrlEntries.begin(), UrlEntries.end(),
                   [&text](const std::string& entry) { return EqualsNoCase(entry, text); });
  return it == UrlEntries.end() ? -1 : static_cast<int>(it - UrlEntries.begin());
}

void MainDialog::AddUrlEntry(const std::string& text) {
  const auto at = std::upper_bound(UrlEntries.begin(), UrlEntries.end(), text, UrlEntryLess);
  const int index = static_cast<int>(at - UrlEntries.begin());
  UrlEntries.insert(at, text);
  controls_.urlBox.InsertEntry(index, text);
}

void MainDialog::OnShowManual() {
  Pull();
  controls_.shell.Open(std::string(texts::kSiteUrl) + "/manual.htm");
  Push();
}

void MainDialog::OnUpdateSites() {
  if (runUpdateDialog) runUpdateDialog(texts::kProgramVersion, SitesVersion);
  controls_.siteList.DeleteAllRows();
  SiteCount = controls_.siteList.RowCount();
  controls_.siteCount.SetText(std::to_string(SiteCount));
  // A site that an earlier run left in CurrentSite would otherwise be listed twice.
  CurrentSite = {};
  LoadSiteFile();
}

}  // namespace tesselwick

#include "core/app/main_dialog.h"

#include <algorithm>
#include <string>

#include "core/platform/system.h"
#include "core/text/messages.h"

namespace tesselwick {

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
  const std::vector<std::string>& entries = history_.Entries();
  const auto it = std::find(entries.begin(), entries.end(), PadUrl);
  if (!PadUrl.empty() && it != entries.end()) {
    controls_.urlBox.SelectEntry(static_cast<int>(it - entries.begin()));
  } else if (controls_.urlBox.EditText() != PadUrl) {
    controls_.urlBox.SetEditText(PadUrl);
  }
}

std::string ManualAddress(std::string_view siteUrl, const std::filesystem::path& installedManual) {
  const bool local =
      siteUrl.starts_with("http://127.0.0.1:") || siteUrl.starts_with("http://localhost:");
  std::error_code ec;
  if (local && !installedManual.empty() && std::filesystem::is_regular_file(installedManual, ec))
    return platform::Utf8FromPath(installedManual);
  return std::string(siteUrl) + "/manual.htm";
}

void MainDialog::Initialise() {
  Push();
  CreateSiteColumns();
  LoadSiteFile();
  LoadUrlHistory();
}

void MainDialog::CloseDown() { SaveUrlHistory(); }

void MainDialog::OnShowManual() {
  Pull();
  controls_.shell.Open(manualAddress);
  Push();
}

void MainDialog::OnUpdateSites() {
  if (runUpdateDialog) runUpdateDialog(program::kProgramVersion, SitesVersion);
  sites_.Clear();
  controls_.siteList.ShowSites(sites_);
  SiteCount = static_cast<int>(sites_.Count());
  controls_.siteCount.SetText(std::to_string(SiteCount));
  // A site that an earlier run left in CurrentSite would otherwise be listed twice.
  CurrentSite = {};
  LoadSiteFile();
}

}  // namespace tesselwick

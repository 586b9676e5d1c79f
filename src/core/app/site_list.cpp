#include <filesystem>
#include <system_error>

#include "core/app/main_dialog.h"
#include "core/app/texts.h"
#include "core/platform/text_file.h"
#include "core/sites/site_file.h"

namespace tesselwick {

void MainDialog::CreateSiteColumns() {
  controls_.siteList.CreateColumns({"Title", "URL", "Submit URL", "Get Or Post"});
  AutosizeSiteColumns();
}

void MainDialog::AutosizeSiteColumns() { controls_.siteList.FitColumns(); }

void MainDialog::CountSites() {
  SiteCount = controls_.siteList.RowCount();
  Push();
}

void MainDialog::AddSiteRow() {
  Pull();
  CountSites();
  if (CurrentSite.Title.empty()) return;
  controls_.siteList.InsertRowAtTop(CurrentSite);
  Push();
  AutosizeSiteColumns();
  CountSites();
}

void MainDialog::ReadSiteRow(int index) {
  Pull();
  CurrentSite = controls_.siteList.Row(index);
  Push();
}

void MainDialog::ResetCurrentSite() {
  Pull();
  // Url is emptied in place of the PAD URL, so a reload never wipes what the
  // user typed into the PAD-URL box.
  CurrentSite.Title.clear();
  CurrentSite.Url.clear();
  CurrentSite.SubmitUrl.clear();
  CurrentSite.RequestTemplate.clear();
  Push();
}

void MainDialog::LoadSiteFile() {
  Pull();
  // A file that cannot be read at all (a folder of that name, a FIFO, no
  // permission) loads nothing, and the user is told which file and why: an
  // empty list without a word would look like a site list with no sites.
  // What is pending in CurrentSite is still listed.
  std::string problem;
  const std::optional<std::string> text =
      ReadTextFileContents(FilePath(texts::kSiteFile), &problem);
  if (!text) {
    std::error_code ec;
    const std::filesystem::path shown = std::filesystem::absolute(FilePath(texts::kSiteFile), ec);
    controls_.messages.ShowMessage("The site list cannot be read.\r\n" +
                                       (ec ? FilePath(texts::kSiteFile) : shown).string() + ": " +
                                       problem,
                                   "Error Loading Site List");
  }
  SiteFileContents contents = ParseSiteFile(text ? *text : std::string(), CurrentSite);
  if (contents.scriptVersion) SitesVersion = *contents.scriptVersion;
  // Each record goes on top, so the file's last record ends up in row 0. The
  // columns are fitted once for the whole load, which shows the same as
  // fitting after every row and keeps large lists quick.
  for (const SiteRecord& site : contents.records) controls_.siteList.InsertRowAtTop(site);
  CurrentSite = std::move(contents.current);
  if (!contents.records.empty()) AutosizeSiteColumns();
  CountSites();
  ResetCurrentSite();
  Push();
}

}  // namespace tesselwick

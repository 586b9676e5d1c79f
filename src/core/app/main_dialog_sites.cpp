#include <filesystem>
#include <system_error>

#include "core/app/main_dialog.h"
#include "core/sites/site_list_messages.h"
#include "core/text/messages.h"
#include "core/text/translation.h"

namespace tesselwick {

void MainDialog::CreateSiteColumns() {
  // The table looks the headings up in the user's language.
  controls_.siteList.CreateColumns({N_("Title"), N_("URL"), N_("Submit URL"), N_("Get Or Post")});
  AutosizeSiteColumns();
}

void MainDialog::AutosizeSiteColumns() { controls_.siteList.FitColumns(); }

void MainDialog::CountSites() {
  SiteCount = static_cast<int>(sites_.Count());
  Push();
}

void MainDialog::ReadSiteRow(int index) {
  Pull();
  CurrentSite = sites_.Row(static_cast<std::size_t>(index));
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
  const SiteCatalog::Loaded loaded = sites_.Load(FilePath(program::kSiteFile), CurrentSite);
  if (loaded.problem) {
    controls_.messages.ShowMessage(
        UnreadableSiteListText(FilePath(program::kSiteFile), *loaded.problem),
        texts::kSiteListUnreadableCaption);
  }
  if (loaded.version) SitesVersion = *loaded.version;
  // The file's last record is now in row 0. The columns are fitted once for
  // the whole load, which shows the same as fitting after every row and keeps
  // large lists quick.
  controls_.siteList.ShowSites(sites_);
  if (loaded.added > 0) AutosizeSiteColumns();
  CountSites();
  ResetCurrentSite();
  Push();
}

}  // namespace tesselwick

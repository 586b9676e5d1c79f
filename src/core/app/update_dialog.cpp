#include "core/app/update_dialog.h"

#include <utility>

#include "core/sites/site_list_messages.h"
#include "core/text/messages.h"

namespace tesselwick {

UpdateDialog::UpdateDialog(UpdateDialogControls controls, std::filesystem::path folder,
                           std::string serverUrl, FetchLimits limits)
    : siteUrl(std::move(serverUrl)),
      fetchLimits(limits),
      controls_(controls),
      folder_(std::move(folder)) {}

void UpdateDialog::Push() {
  controls_.programVersion.SetText(ProgramVersion);
  controls_.serverProgramVersion.SetText(ServerProgramVersion);
  controls_.sitesVersion.SetText(SitesVersion);
  controls_.serverSitesVersion.SetText(ServerSitesVersion);
}

void UpdateDialog::Initialise() {
  Push();
  controls_.updateButton.Enable(false);
}

SiteUpdate UpdateDialog::Service() const {
  return SiteUpdate(siteUrl, SiteFilePath(), fetchLimits);
}

bool UpdateDialog::FetchLines(const std::string& url) {
  ResponseText.clear();
  lastAnswer_ = Service().Request(url, waiter);
  // A request the user gave up is no failure of the network's.
  if (lastAnswer_.cancelled) return false;
  if (!lastAnswer_.ok()) {
    ReportFetchFailure(lastAnswer_.error, ErrorText);
    return false;
  }
  Push();
  ResponseText = lastAnswer_.body;
  return true;
}

void UpdateDialog::OnCheckVersion() {
  // No pull: the four boxes are read-only and filled only by pushes, so they
  // always hold the fields' own values.
  ServerSitesVersion.clear();
  ServerProgramVersion.clear();
  ResponseText.clear();
  CheckVersion();
  Push();
}

void UpdateDialog::CheckVersion() {
  // Given up by the user: nothing came back, and nothing is said about it.
  if (!FetchLines(Service().CheckUrl(SitesVersion)) && LastFetchStopped()) return;
  ParseVersionResponse();
}

void UpdateDialog::ParseVersionResponse() {
  // Whatever came back is shown first, also when nothing did.
  controls_.messages.ShowMessage(ResponseText, texts::kResponseCaption);
  const std::optional<ServerVersions> versions = ReadVersionAnswer(ResponseText);
  if (!versions) {
    controls_.messages.ShowMessage(texts::kNotDownloaded, texts::kNotDownloadedCaption);
    return;
  }
  if (versions->program) ServerProgramVersion = *versions->program;
  if (versions->sites) ServerSitesVersion = *versions->sites;
  Push();
  // Any other version, older ones too, is news to the user.
  if (OffersOtherVersion(ServerProgramVersion, ProgramVersion))
    controls_.messages.ShowMessage(texts::kNewProgram, texts::kNewProgramCaption);
  // A different site list may be downloaded; a later check that finds the
  // same version, or none, does not take that back.
  if (OffersOtherVersion(ServerSitesVersion, SitesVersion)) controls_.updateButton.Enable(true);
  Push();
}

void UpdateDialog::OnUpdate() {
  DownloadSiteFile();
  Push();
}

void UpdateDialog::DownloadSiteFile() {
  if (!FetchLines(Service().DownloadUrl(SitesVersion)) && LastFetchStopped()) return;
  // Only a saved file counts as an update; otherwise the user has seen why
  // and may try again with the button still enabled.
  if (!SaveSiteFile()) return;
  controls_.messages.ShowMessage(texts::kUpdateComplete, texts::kUpdateCompleteCaption);
  SitesVersion = ServerSitesVersion;
  controls_.updateButton.Enable(false);
  Push();
}

bool UpdateDialog::SaveSiteFile() {
  const auto notSaved = NotSavedMessage(Service().Save(lastAnswer_));
  if (notSaved) controls_.messages.ShowMessage(notSaved->first, notSaved->second);
  return !notSaved;
}

}  // namespace tesselwick

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
  ResponseText.clear();
  const VersionCheck check = CheckVersions(Service(), ProgramVersion, SitesVersion, waiter, *this);
  // Given up by the user: nothing came back, and nothing is said about it.
  if (check.stopped) return;
  TakeOffer(check.offer);
}

void UpdateDialog::ParseVersionResponse() {
  TakeOffer(ReadVersionCheck(ResponseText, ProgramVersion, SitesVersion, *this));
}

void UpdateDialog::TakeOffer(const VersionOffer& offer) {
  if (!offer.versions) return;
  // A different site list may be downloaded; a later check that finds the
  // same version, or none, does not take that back.
  if (offer.otherSiteList) controls_.updateButton.Enable(true);
  Push();
}

void UpdateDialog::OnUpdate() {
  DownloadSiteFile();
  Push();
}

void UpdateDialog::DownloadSiteFile() {
  ResponseText.clear();
  const SiteListDownload download = DownloadSiteList(Service(), SitesVersion, waiter, *this);
  // Only a saved file counts as an update; otherwise the user has seen why
  // (or gave the request up) and may try again with the button still enabled.
  if (download.save != SiteListSave::Saved) return;
  SitesVersion = ServerSitesVersion;
  controls_.updateButton.Enable(false);
  Push();
}

void UpdateDialog::RequestFailed(const FetchResult& answer) {
  ReportFetchFailure(answer.error, ErrorText);
}

void UpdateDialog::Answered(const FetchResult& answer) {
  Push();
  ResponseText = answer.body;
}

void UpdateDialog::VersionAnswer(std::string_view text) {
  controls_.messages.ShowMessage(text, texts::kResponseCaption);
}

void UpdateDialog::NoVersions() {
  controls_.messages.ShowMessage(texts::kNotDownloaded, texts::kNotDownloadedCaption);
}

void UpdateDialog::VersionsRead(const ServerVersions& versions) {
  // The boxes show the server's versions before anything is said about them.
  if (versions.program) ServerProgramVersion = *versions.program;
  if (versions.sites) ServerSitesVersion = *versions.sites;
  Push();
}

void UpdateDialog::NewProgramOffered() {
  controls_.messages.ShowMessage(texts::kNewProgram, texts::kNewProgramCaption);
}

void UpdateDialog::SiteListSaved() {
  controls_.messages.ShowMessage(texts::kUpdateComplete, texts::kUpdateCompleteCaption);
}

void UpdateDialog::SiteListNotSaved(SiteListSave why) {
  if (const auto notSaved = NotSavedMessage(why))
    controls_.messages.ShowMessage(notSaved->first, notSaved->second);
}

}  // namespace tesselwick

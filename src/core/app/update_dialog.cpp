#include "core/app/update_dialog.h"

#include <utility>

#include "core/net/background_fetch.h"
#include "core/platform/text_file.h"
#include "core/sites/site_file.h"
#include "core/text/key_value_line.h"
#include "core/text/percent_encode.h"

namespace tesselwick {

namespace {

constexpr const char* kCheckPath = "/cgi-bin/versioncheck.pl?version=";
constexpr const char* kDownloadPath = "/cgi-bin/versionupdate.pl?version=";

// Anything shorter is not an answer of the update server.
constexpr std::size_t kShortestAnswer = 10;

constexpr const char* kResponseCaption = "linkpage";
constexpr const char* kNotDownloaded =
    "Script not downloaded, please try again.\r\nEnsure you are connected to the internet.";
constexpr const char* kNotDownloadedCaption = "Error";
constexpr const char* kNewProgram =
    "A new version of the program is available.\r\nPlease close the program and visit our "
    "website to download a new version.";
constexpr const char* kNewProgramCaption = "New Program Version Available";
constexpr const char* kUpdateComplete = "Site update complete";
constexpr const char* kUpdateCompleteCaption = "TesselWick Update:";
constexpr const char* kNotASiteList =
    "The update server's answer is not a site list.\r\nNothing was changed.";
constexpr const char* kNotASiteListCaption = "Error";
constexpr const char* kSaveFailed = "Error Saving Engines File";
constexpr const char* kSaveFailedCaption = "Update Data";

}  // namespace

UpdateDialog::UpdateDialog(UpdateDialogControls controls, std::filesystem::path folder,
                           std::string serverUrl, FetchLimits limits)
    : siteUrl(std::move(serverUrl)),
      fetchLimits(limits),
      controls_(controls),
      folder_(std::move(folder)) {}

void UpdateDialog::Pull() {
  // The four boxes are read-only and filled only by pushes, so they always
  // hold the fields' own values; reading them back could only lose bytes that
  // the screen shows in another encoding.
}

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

bool UpdateDialog::FetchLines(const std::string& url) {
  ResponseText.clear();
  FetchResult result;
  if (waiter != nullptr) {
    BackgroundFetch fetch(url, FetchMode::Lines, fetchLimits);
    waiter->Wait(fetch);
    result = fetch.Result();
  } else {
    result = HttpFetch(url, FetchMode::Lines, fetchLimits);
  }
  lastFetchOk_ = result.ok;
  lastStatus_ = result.status;
  lastFetchStopped_ = result.cancelled;
  // A request the user gave up is no failure of the network's.
  if (result.cancelled) return false;
  if (!result.ok) {
    ReportFetchFailure(result.error, ErrorText);
    return false;
  }
  Push();
  ResponseText = std::move(result.body);
  return true;
}

void UpdateDialog::OnCheckVersion() {
  Pull();
  ServerSitesVersion.clear();
  ServerProgramVersion.clear();
  ResponseText.clear();
  CheckVersion();
  Push();
}

void UpdateDialog::CheckVersion() {
  // The installed version goes into the update URLs escaped, so a version
  // with a space, "&" or "#" still makes a valid request that carries all of
  // it; a version of digits, letters, dots and dashes goes out as it is.
  // Given up by the user: nothing came back, and nothing is said about it.
  if (!FetchLines(siteUrl + kCheckPath + PercentEncodeValue(SitesVersion)) && lastFetchStopped_)
    return;
  ParseVersionResponse();
}

void UpdateDialog::ParseVersionResponse() {
  // Whatever came back is shown first, also when nothing did.
  controls_.messages.ShowMessage(ResponseText, kResponseCaption);
  if (ResponseText.size() < kShortestAnswer) {
    controls_.messages.ShowMessage(kNotDownloaded, kNotDownloadedCaption);
    return;
  }
  ForEachKeyValueLine(ResponseText, [this](const KeyValue& line) {
    if (line.key == "VERSION") {
      ServerProgramVersion = line.value;
    } else if (line.key == "SCRIPTVERSION") {
      ServerSitesVersion = line.value;
    }
  });
  Push();
  // Any other version, older ones too, is news to the user.
  if (!ServerProgramVersion.empty() && ServerProgramVersion != ProgramVersion)
    controls_.messages.ShowMessage(kNewProgram, kNewProgramCaption);
  // A different site list may be downloaded; a later check that finds the
  // same version, or none, does not take that back.
  if (!ServerSitesVersion.empty() && ServerSitesVersion != SitesVersion)
    controls_.updateButton.Enable(true);
  Push();
}

void UpdateDialog::OnUpdate() {
  Pull();
  DownloadSiteFile();
  Push();
}

void UpdateDialog::DownloadSiteFile() {
  if (!FetchLines(siteUrl + kDownloadPath + PercentEncodeValue(SitesVersion)) && lastFetchStopped_)
    return;
  // Only a saved file counts as an update; otherwise the user has seen why
  // and may try again with the button still enabled.
  if (!SaveSiteFile()) return;
  controls_.messages.ShowMessage(kUpdateComplete, kUpdateCompleteCaption);
  SitesVersion = ServerSitesVersion;
  controls_.updateButton.Enable(false);
  Push();
}

bool UpdateDialog::SaveSiteFile() {
  // An answer cut off on its way, the server's error page, or a few stray
  // bytes would replace a working site list with a broken one.
  const bool whole = lastFetchOk_ && lastStatus_ >= 200 && lastStatus_ < 300;
  if (!whole || ResponseText.size() < kShortestAnswer) {
    controls_.messages.ShowMessage(kNotDownloaded, kNotDownloadedCaption);
    return false;
  }
  // A whole answer may still be no site list: a proxy's error page sent with
  // status 200, a version answer, a few stray bytes. Saving it would leave
  // the user with no sites at all.
  if (!IsSiteList(ResponseText)) {
    controls_.messages.ShowMessage(kNotASiteList, kNotASiteListCaption);
    return false;
  }
  // Written beside the old file and renamed over it, so a failed write keeps
  // the old list.
  if (!ReplaceTextFile(SiteFilePath(), ResponseText + "\n")) {
    controls_.messages.ShowMessage(kSaveFailed, kSaveFailedCaption);
    return false;
  }
  return true;
}

}  // namespace tesselwick

#include "core/sites/site_update.h"

#include <utility>

#include "core/platform/text_file.h"
#include "core/sites/site_file.h"
#include "core/text/key_value_line.h"
#include "core/text/percent_encode.h"

namespace tesselwick {

namespace {
constexpr const char* kCheckPath = "/cgi-bin/versioncheck.pl?version=";
constexpr const char* kDownloadPath = "/cgi-bin/versionupdate.pl?version=";
}  // namespace

ServerVersions ReadServerVersions(std::string_view answer) {
  ServerVersions versions;
  ForEachKeyValueLine(answer, [&versions](const KeyValue& line) {
    if (line.key == "VERSION") {
      versions.program = line.value;
    } else if (line.key == "SCRIPTVERSION") {
      versions.sites = line.value;
    }
  });
  return versions;
}

std::optional<ServerVersions> ReadVersionAnswer(std::string_view answer) {
  if (answer.size() < kShortestUpdateAnswer) return std::nullopt;
  return ReadServerVersions(answer);
}

bool OffersOtherVersion(std::string_view server, std::string_view installed) {
  return !server.empty() && server != installed;
}

SiteUpdate::SiteUpdate(std::string serverUrl, std::filesystem::path siteFile, FetchLimits limits)
    : serverUrl_(std::move(serverUrl)), siteFile_(std::move(siteFile)), limits_(limits) {}

std::string SiteUpdate::CheckUrl(std::string_view sitesVersion) const {
  return serverUrl_ + kCheckPath + PercentEncodeValue(sitesVersion);
}

std::string SiteUpdate::DownloadUrl(std::string_view sitesVersion) const {
  return serverUrl_ + kDownloadPath + PercentEncodeValue(sitesVersion);
}

FetchResult SiteUpdate::Request(const std::string& url, FetchWaiter* waiter) const {
  if (waiter == nullptr) return HttpFetch(url, FetchMode::Lines, limits_);
  BackgroundFetch fetch(url, FetchMode::Lines, limits_);
  waiter->Wait(fetch);
  return fetch.Result();
}

SiteListSave SiteUpdate::Save(const FetchResult& answer) const {
  // An answer cut off on its way, the server's error page, or a few stray
  // bytes would replace a working site list with a broken one.
  const bool whole = answer.ok() && answer.status >= 200 && answer.status < 300;
  if (!whole || answer.body.size() < kShortestUpdateAnswer) return SiteListSave::NotDownloaded;
  // A whole answer may still be no site list: a proxy's error page sent with
  // status 200, a version answer, a few stray bytes. Saving it would leave
  // the user with no sites at all.
  if (!IsSiteList(answer.body)) return SiteListSave::NotASiteList;
  // Written beside the old file and renamed over it, so a failed write keeps
  // the old list.
  if (!ReplaceTextFile(siteFile_, answer.body + "\n")) return SiteListSave::NotWritten;
  return SiteListSave::Saved;
}

}  // namespace tesselwick

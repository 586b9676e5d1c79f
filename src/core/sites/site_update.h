#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/net/background_fetch.h"
#include "core/net/http_fetch.h"

namespace tesselwick {

// The versions an update server's version answer names; a later line with
// the same key wins.
struct ServerVersions {
  std::optional<std::string> program;  // VERSION
  std::optional<std::string> sites;    // SCRIPTVERSION
};

// Reads a version answer (LF line ends).
ServerVersions ReadServerVersions(std::string_view answer);

// Anything shorter is not an answer of the update server: "Script not
// downloaded".
inline constexpr std::size_t kShortestUpdateAnswer = 10;

// Reads a version answer as the update window takes it: nothing when it is
// too short to be an answer of the update server at all.
std::optional<ServerVersions> ReadVersionAnswer(std::string_view answer);

// True when the server names a version (of the program or of the site list)
// and it differs from the installed one; an older one differs too.
bool OffersOtherVersion(std::string_view server, std::string_view installed);

// What became of a downloaded site list.
enum class SiteListSave {
  Saved,
  // The answer was cut off, had an error status or was too short.
  NotDownloaded,
  // A whole answer, but no site list: an error page, a version answer.
  NotASiteList,
  // pad.dat could not be written; the old file stays.
  NotWritten,
};

// The maker's update server: the version check and the site-list download,
// both asked with the installed site-list version, and the new pad.dat saved
// only when it is a whole site list.
class SiteUpdate {
 public:
  // Requests go to `serverUrl` followed by their fixed paths; pad.dat is
  // `siteFile`.
  SiteUpdate(std::string serverUrl, std::filesystem::path siteFile, FetchLimits limits);

  // The two requests' URLs. The installed version goes into them escaped,
  // so a version with a space, "&" or "#" still makes a valid request that
  // carries all of it; a version of digits, letters, dots and dashes goes
  // out as it is.
  std::string CheckUrl(std::string_view sitesVersion) const;
  std::string DownloadUrl(std::string_view sitesVersion) const;

  // One line-mode request. With a waiter it runs on a thread of its own while
  // the waiter keeps its window alive (and may stop it: the result is then
  // `cancelled`); without one, on the calling thread.
  FetchResult Request(const std::string& url, FetchWaiter* waiter = nullptr) const;

  // Replaces pad.dat with a downloaded answer when it is whole, has a 2xx
  // status and reads as a site list; the file gets the answer and one more
  // line feed. Anything else leaves pad.dat as it was.
  SiteListSave Save(const FetchResult& answer) const;

  const std::string& ServerUrl() const { return serverUrl_; }
  const std::filesystem::path& SiteFile() const { return siteFile_; }
  const FetchLimits& Limits() const { return limits_; }

 private:
  std::string serverUrl_;
  std::filesystem::path siteFile_;
  FetchLimits limits_;
};

}  // namespace tesselwick

#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/net/background_fetch.h"
#include "core/net/http_fetch.h"
#include "core/sites/site_update.h"

namespace tesselwick {

// What Check Version and Update tell their front end while they run, in the
// order it happens: the Update window shows these as its message boxes, the
// command-line tool as lines on standard error. A front end overrides the
// notices it has something to show for; the others do nothing.
class UpdateObserver {
 public:
  virtual ~UpdateObserver() = default;

  // A request could not be made or its answer not read to its end; the user
  // did not give it up.
  virtual void RequestFailed(const FetchResult& /*answer*/) {}
  // A request's answer was read to its end, before anything is taken from it.
  virtual void Answered(const FetchResult& /*answer*/) {}
  // The version check's answer as it is read: the body, or nothing when the
  // request failed. Told on every check that was not given up.
  virtual void VersionAnswer(std::string_view /*text*/) {}
  // The answer is too short to be the update server's: no versions.
  virtual void NoVersions() {}
  // The versions the answer names (either may be missing), before anything
  // is said about them.
  virtual void VersionsRead(const ServerVersions& /*versions*/) {}
  // The server names another program version than the installed one.
  virtual void NewProgramOffered() {}
  // The downloaded site list replaced pad.dat.
  virtual void SiteListSaved() {}
  // The download was not saved, and why; pad.dat is as it was.
  virtual void SiteListNotSaved(SiteListSave /*why*/) {}
};

// What a version answer offers.
struct VersionOffer {
  // Nothing when the answer was too short to be a version answer.
  std::optional<ServerVersions> versions;
  // The server names another program version, an older one too.
  bool newProgram = false;
  // The server names another site list version: Update may download it.
  bool otherSiteList = false;
};

// How a version check ended.
struct VersionCheck {
  FetchResult answer;
  // The user gave the request up, or the limits' cancel flag was set: nothing
  // was read and nothing was told after the request.
  bool stopped = false;
  VersionOffer offer;
};

// How a site-list download ended.
struct SiteListDownload {
  FetchResult answer;
  // NotDownloaded when stopped.
  SiteListSave save = SiteListSave::NotDownloaded;
  // As for VersionCheck: nothing was saved and nothing told.
  bool stopped = false;
};

// Check Version: asks the update server for its versions with the installed
// site-list version, then reads the answer (an empty one when the request
// failed) as ReadVersionCheck does.
VersionCheck CheckVersions(const SiteUpdate& service, const std::string& programVersion,
                           const std::string& sitesVersion, FetchWaiter* waiter,
                           UpdateObserver& observer);

// Reads the text of a version answer: tells it, then that it names no
// versions, or the versions it names and whether it offers a new program.
VersionOffer ReadVersionCheck(std::string_view text, const std::string& programVersion,
                              const std::string& sitesVersion, UpdateObserver& observer);

// Update: downloads the site list for the installed site-list version and
// saves it over pad.dat when it is a whole site list.
SiteListDownload DownloadSiteList(const SiteUpdate& service, const std::string& sitesVersion,
                                  FetchWaiter* waiter, UpdateObserver& observer);

}  // namespace tesselwick

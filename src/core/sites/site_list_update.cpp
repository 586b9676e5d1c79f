#include "core/sites/site_list_update.h"

#include <atomic>

namespace tesselwick {

namespace {

// Asks the update server once and tells how the request ended; false when it
// was stopped. A stop by the user (or by Ctrl+C) is no failure of the
// network's, and nothing is said about it; a cancel flag set just after the
// answer came stops as well, so a stopped command-line run goes no further.
bool Ask(const SiteUpdate& service, const std::string& url, FetchWaiter* waiter,
         UpdateObserver& observer, FetchResult& answer) {
  answer = service.Request(url, waiter);
  const std::atomic<bool>* cancel = service.Limits().cancel;
  if (answer.cancelled || (cancel != nullptr && cancel->load())) return false;
  if (answer.ok()) {
    observer.Answered(answer);
  } else {
    observer.RequestFailed(answer);
  }
  return true;
}

}  // namespace

VersionCheck CheckVersions(const SiteUpdate& service, const std::string& programVersion,
                           const std::string& sitesVersion, FetchWaiter* waiter,
                           UpdateObserver& observer) {
  VersionCheck check;
  if (!Ask(service, service.CheckUrl(sitesVersion), waiter, observer, check.answer)) {
    check.stopped = true;
    return check;
  }
  // A failed request is read as an empty answer: no versions.
  check.offer = ReadVersionCheck(check.answer.ok() ? check.answer.body : std::string(),
                                 programVersion, sitesVersion, observer);
  return check;
}

VersionOffer ReadVersionCheck(std::string_view text, const std::string& programVersion,
                              const std::string& sitesVersion, UpdateObserver& observer) {
  VersionOffer offer;
  // Whatever came back is told first, also when nothing did.
  observer.VersionAnswer(text);
  offer.versions = ReadVersionAnswer(text);
  if (!offer.versions) {
    observer.NoVersions();
    return offer;
  }
  observer.VersionsRead(*offer.versions);
  // Any other version, older ones too, is news to the user.
  offer.newProgram = OffersOtherVersion(offer.versions->program.value_or(""), programVersion);
  if (offer.newProgram) observer.NewProgramOffered();
  offer.otherSiteList = OffersOtherVersion(offer.versions->sites.value_or(""), sitesVersion);
  return offer;
}

SiteListDownload DownloadSiteList(const SiteUpdate& service, const std::string& sitesVersion,
                                  FetchWaiter* waiter, UpdateObserver& observer) {
  SiteListDownload download;
  if (!Ask(service, service.DownloadUrl(sitesVersion), waiter, observer, download.answer)) {
    download.stopped = true;
    return download;
  }
  // A failed request is saved as nothing: pad.dat stays, and the user is told.
  download.save = service.Save(download.answer);
  if (download.save == SiteListSave::Saved) {
    observer.SiteListSaved();
  } else {
    observer.SiteListNotSaved(download.save);
  }
  return download;
}

}  // namespace tesselwick

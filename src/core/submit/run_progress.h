#pragma once

#include "core/net/background_fetch.h"
#include "core/submit/run_results.h"
#include "core/submit/site_run.h"

namespace tesselwick {

// What the user can do with a run's results: ask the sites that did not pass
// again, and look at the report once more.
class RunResultsActions {
 public:
  virtual ~RunResultsActions() = default;
  // Asks the failed sites again (through RunProgress::FollowSites), takes
  // their outcomes into the results, and writes and opens the report again.
  virtual void RetryFailed() = 0;
  virtual void OpenReport() = 0;
};

// Keeps a front end alive while a submission run waits for the network: the
// PAD file's request (FetchWaiter::Wait, which returns once the fetch is
// Done), then the sites' requests; then shows what came of them.
class RunProgress : public FetchWaiter {
 public:
  // Steps `run` until it is over (SiteRun::Step, with an observer that shows
  // its progress and may stop it).
  virtual void FollowSites(SiteRun& run) = 0;
  // Shows the results of the sites' requests, once their report is written,
  // until the user is done with them; `results` changes when the user asks
  // the failed sites again through `actions`.
  virtual void ShowResults(const RunResults& results, RunResultsActions& actions) {
    (void)results;
    (void)actions;
  }
};

}  // namespace tesselwick

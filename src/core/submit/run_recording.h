#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "core/runs/run_log.h"
#include "core/submit/run_results.h"
#include "core/submit/site_run.h"

namespace tesselwick {

// A site's row in the run log, from its result as the results and the report
// show it (Pass, Fail or Skipped), at `position` of the site list.
LoggedSite LoggedSiteOf(const SiteResult& result, std::size_t position, std::string requestUrl);

// How a site fared as its row in the run log says: the inverse of
// LoggedSiteOf, but for the words of a limit, which the row keeps only in
// its reason.
Judgement JudgementOfLogged(const LoggedSite& row);

// A recorded run as its results stand once it ended (RunLog::MergedSites):
// one result for each site that had a row, asked with the URL it was asked
// with then; its log run, and each site's newest Pass before it, kept.
std::unique_ptr<RunResults> ResultsOfLoggedRun(RunLog& log, const LoggedRun& run, std::string date);

// Writes a run's sites into the run log as they are judged (SiteRun's
// answer hook): a site's row is recorded when its answer is judged, and the
// log writes its rows in short transactions as they gather. The log's run is
// begun and ended by the owner (RunLog::BeginRun, RunLog::EndRun), which also
// reports the log's problem, if any, once.
class RunRecorder {
 public:
  // `listIndices` as RunResults::Take takes them: the list index of each
  // site of `run`, or empty when the run asks the whole list in order.
  RunRecorder(const SiteRun& run, RunLog& log, std::vector<std::size_t> listIndices = {});

  void Judged(std::size_t index, const FetchResult& answer, const Judgement& judgement);

 private:
  const SiteRun& run_;
  RunLog& log_;
  const std::vector<std::size_t> listIndices_;
};

}  // namespace tesselwick

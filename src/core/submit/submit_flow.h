#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/history/url_history.h"
#include "core/net/http_fetch.h"
#include "core/net/request_pool.h"
#include "core/runs/run_log.h"
#include "core/sites/site_catalog.h"
#include "core/sites/site_record.h"
#include "core/submit/pad_check.h"
#include "core/submit/run_progress.h"
#include "core/submit/run_results.h"
#include "core/submit/submission.h"

namespace tesselwick {

// Sites of the list that passed this PAD URL with this same Program_Version
// in a recorded run.
struct AlreadyAccepted {
  std::size_t sites = 0;
  // The PAD file's Program_Name and Program_Version.
  std::string program;
  std::string version;
  // The newest of those Passes, UTC ("2026-12-08T10:00:00Z").
  std::string last;
};

// What a Submit tells its front end as it goes, and asks it: the window shows
// each notice as its message box, the command-line tool as its line. Notices
// come in the order the user must see them; the waits and the sites' progress
// come through RunProgress.
class SubmitObserver : public RunProgress {
 public:
  // The PAD URL holds a line break or another control character: it is
  // neither requested nor remembered, and the Submit ends there.
  virtual void PadUrlRefused() {}
  // The PAD URL is a new entry of the history, at `index` of its list.
  virtual void Remembered(std::size_t index) { (void)index; }
  // A request could not be made: the PAD file's, or a site's as it answers.
  virtual void Unreachable(const FetchResult& failed) { (void)failed; }
  // The PAD file was not fetched (PadFile::Outcome::Failed); Unreachable came
  // first when its request failed.
  virtual void PadFileFailed(const PadFile& pad) { (void)pad; }
  // The PAD file names no category; no site is asked.
  virtual void NoCategory() {}
  // What download sites may reject the PAD file for, before any of them is
  // asked; false ends the Submit there (the report is still written).
  virtual bool GoOn(const std::vector<PadProblem>& problems) {
    (void)problems;
    return true;
  }
  // Some sites already accepted this version: true asks them again, false
  // skips them (they are not asked, and show as skipped).
  virtual bool AskAgain(const AlreadyAccepted& accepted) {
    (void)accepted;
    return true;
  }
  // The report template could not be read: the built-in layout was used.
  virtual void ReportTemplateUnreadable() {}
  // Report.htm could not be written; the old one, if any, stays.
  virtual void ReportNotWritten() {}
  // The report's file, written or not, to be shown.
  virtual void ReportReady(const std::filesystem::path& file) { (void)file; }
  // A retry of the newest recorded run found no run of this PAD URL in the
  // run log.
  virtual void NoRecordedRun() {}
  // tesselwick.ini could not be saved.
  virtual void HistoryNotSaved() {}
  // The run log could not be opened or written, or was started anew; told
  // once a run, and the run goes on.
  virtual void RunLogFault(const RunLogProblem& problem) { (void)problem; }
};

// What a Submit works with.
struct SubmitRequest {
  // The working folder: its ReportTemplate.htm, Report.htm and tesselwick.ini.
  std::filesystem::path folder;
  // As typed.
  std::string padUrl;
  FetchLimits limits;
  int maxConcurrent = RequestPool::kDefaultConcurrency;
  // The sites asked, in list order.
  const SiteCatalog* sites = nullptr;
  // The PAD URL is remembered here before anything is fetched.
  UrlHistory* history = nullptr;
  // Whether the history is saved once the report is written (the command-line
  // tool); the window saves it when it closes.
  bool saveHistory = false;
  // Whether the run and its sites are written into the folder's run log.
  bool recordRun = true;
};

// What came of a Submit.
struct SubmitOutcome {
  // The PAD URL was refused; nothing else happened.
  bool refused = false;
  // RetryRecordedRun found no recorded run of the PAD URL; nothing else
  // happened after the URL was remembered.
  bool noRecordedRun = false;
  PadFile pad;
  // The category as sent (empty when the PAD file stopped the run).
  std::string category;
  // The date the run began, which its rows carry.
  std::string date;
  // The sites' results; nothing when no site was asked.
  std::unique_ptr<RunResults> results;
  // The last site in list order that finished, as it was requested (its
  // request URL in RequestTemplate), with its answer (the head of it).
  std::optional<SiteRecord> lastSite;
  FetchResult lastAnswer;
  // The error of the last site in list order whose request failed.
  std::optional<FetchError> lastFailure;
  ReportWritten report;
  // Whether the history was saved, when it was to be.
  std::optional<bool> historySaved;
};

// The words of a run log's fault, in the user's language.
std::string RunLogFaultText(const RunLogProblem& problem);

// The Submit: refuses a PAD URL with a control character, remembers the URL,
// fetches the PAD file, takes its category, checks the file (asking the
// observer whether to go on when it has problems), asks every site, writes
// the report on every path, and saves the history when asked to.
SubmitOutcome SubmitPadFile(const SubmitRequest& request, SubmitObserver& observer);

// Retry Failed after the program was started anew: remembers the URL,
// fetches and checks the PAD file as a Submit does, then asks the sites
// that failed (not those skipped) in the newest recorded run of the PAD URL
// again, with the requests that run made; the report holds the sites of
// that run that had a row, with the retried outcomes in place.
SubmitOutcome RetryRecordedRun(const SubmitRequest& request, SubmitObserver& observer);

// Retry Failed: asks the sites of `results` that did not pass again with the
// same PAD URL and category, takes their outcomes, and writes the report
// again. Nothing happens when every site passed.
struct RetryOutcome {
  bool retried = false;
  ReportWritten report;
};
RetryOutcome RetryFailedSites(RunResults& results, const SubmitRequest& request,
                              SubmitObserver& observer);

// Writes Report.htm in `folder` with `rows` and `counts` (see WriteReportFile)
// and tells `observer` what came of it: the template's and the page's
// problems, then the page to show.
ReportWritten WriteSubmitReport(const std::filesystem::path& folder, const std::string& padUrl,
                                const std::string& category, const ReportRows& rows,
                                const ReportCounts& counts, SubmitObserver& observer);

}  // namespace tesselwick

#include "core/submit/submit_flow.h"

#include <utility>

#include "core/platform/date.h"
#include "core/text/program.h"

namespace tesselwick {
namespace {

// Asks the sites of `run`, told through the observer's progress; each
// request that fails is told as it answers. Gives the last site in list
// order whose request failed.
std::optional<std::size_t> FollowRun(SiteRun& run, SubmitObserver& observer) {
  std::optional<std::size_t> lastFailed;
  run.OnEachAnswer([&](std::size_t index, const FetchResult& answer) {
    if (answer.ok) return;
    observer.Unreachable(answer);
    if (!lastFailed || index > *lastFailed) lastFailed = index;
  });
  observer.FollowSites(run);
  return lastFailed;
}

// Asks every site of the list and keeps, besides the results, the last site
// that finished, as it was requested, and the last that failed: the window
// shows them as its state.
void RequestSites(const SubmitRequest& request, SubmitOutcome& outcome, SubmitObserver& observer) {
  // The templates keep their placeholders in the list for the next run.
  std::vector<SiteRecord> sites;
  if (request.sites != nullptr) {
    sites.reserve(request.sites->Count());
    for (std::size_t i = 0; i < request.sites->Count(); ++i) sites.push_back(request.sites->Row(i));
  }
  outcome.results =
      std::make_unique<RunResults>(sites, request.padUrl, outcome.category, outcome.date);
  SiteRun run(std::move(sites), outcome.category, request.padUrl, request.limits,
              request.maxConcurrent);
  const std::optional<std::size_t> lastFailed = FollowRun(run, observer);
  std::optional<std::size_t> last;
  for (std::size_t i = 0; i < run.Sites().size(); ++i)
    if (run.Outcomes()[i]) last = i;
  if (last) {
    outcome.lastSite = run.Sites()[*last];
    if (std::optional<std::string> url = run.RequestUrl(*last))
      outcome.lastSite->RequestTemplate = std::move(*url);
    outcome.lastAnswer = *run.Answer(*last);
    if (lastFailed) outcome.lastFailure = run.Answer(*lastFailed)->error;
  }
  outcome.results->Take(run);
}

// Writes the report of `results`, with no rows when no site was asked.
ReportWritten WriteReport(const std::filesystem::path& folder, const std::string& padUrl,
                          const std::string& category, const RunResults* results,
                          SubmitObserver& observer) {
  if (results == nullptr)
    return WriteSubmitReport(
        folder, padUrl, category, [](const ReportSink&) {}, {}, observer);
  return WriteSubmitReport(folder, padUrl, category, results->Rows(), results->Counts(), observer);
}

}  // namespace

ReportWritten WriteSubmitReport(const std::filesystem::path& folder, const std::string& padUrl,
                                const std::string& category, const ReportRows& rows,
                                const ReportCounts& counts, SubmitObserver& observer) {
  const ReportWritten report = WriteReportFile(folder, padUrl, category, rows, counts);
  // A template that can be neither opened nor created gives the built-in
  // layout, after a word; a report that can't be written leaves whatever
  // page was there, which is shown all the same.
  if (report.templateUnreadable) observer.ReportTemplateUnreadable();
  if (!report.written) observer.ReportNotWritten();
  observer.ReportReady(report.file);
  return report;
}

SubmitOutcome SubmitPadFile(const SubmitRequest& request, SubmitObserver& observer) {
  SubmitOutcome outcome;
  // A URL with a line break in it can be neither requested nor kept in the
  // history file, whose lines it would split.
  if (HasControlCharacter(request.padUrl)) {
    outcome.refused = true;
    observer.PadUrlRefused();
    return outcome;
  }
  // The URL is remembered before anything is fetched, so a PAD file that
  // fails to load doesn't cost the user the typed URL; a case variant of an
  // entry adds nothing.
  if (request.history != nullptr) {
    if (const std::optional<std::size_t> at = request.history->Remember(request.padUrl))
      observer.Remembered(*at);
  }
  // Every row of the run carries the date at which the run began.
  outcome.date = Today();

  // The PAD file is fetched on a thread of its own while the front end waits;
  // the user may give it up, which is no error of the network's.
  outcome.pad = FetchPadFile(request.padUrl, request.limits, &observer);
  const PadFile& pad = outcome.pad;
  if (pad.outcome == PadFile::Outcome::Failed) {
    if (!pad.answer.ok) observer.Unreachable(pad.answer);
    observer.PadFileFailed(pad);
  } else if (pad.outcome == PadFile::Outcome::Fetched) {
    outcome.category = pad.category;
    if (outcome.category.empty()) {
      observer.NoCategory();
    } else if (observer.GoOn(CheckPadFields(pad.answer.body, request.padUrl))) {
      // What download sites would reject is shown before any of them is
      // asked; the observer may end the run there.
      RequestSites(request, outcome, observer);
    }
  }

  // The report is written and shown on every path, with no rows when the PAD
  // file stopped the run; then the history is saved, as the window does when
  // it closes.
  outcome.report = WriteReport(request.folder, request.padUrl, outcome.category,
                               outcome.results.get(), observer);
  if (request.saveHistory && request.history != nullptr) {
    outcome.historySaved =
        request.history->Save(request.folder / program::kHistoryFile, request.padUrl);
    if (!*outcome.historySaved) observer.HistoryNotSaved();
  }
  return outcome;
}

RetryOutcome RetryFailedSites(RunResults& results, const SubmitRequest& request,
                              SubmitObserver& observer) {
  RetryOutcome outcome;
  std::unique_ptr<SiteRun> retry = results.RetryRun(request.limits, request.maxConcurrent);
  if (!retry) return outcome;
  outcome.retried = true;
  // The report's rows carry the date of the latest asking.
  results.SetDate(Today());
  FollowRun(*retry, observer);
  results.TakeRetry(*retry);
  outcome.report =
      WriteReport(request.folder, results.PadUrl(), results.Category(), &results, observer);
  return outcome;
}

}  // namespace tesselwick

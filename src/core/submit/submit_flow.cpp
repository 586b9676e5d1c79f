#include "core/submit/submit_flow.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <utility>

#include "core/platform/date.h"
#include "core/submit/run_recording.h"
#include "core/text/messages.h"
#include "core/text/program.h"
#include "core/text/translation.h"

namespace tesselwick {
namespace {

// Asks the sites of `run`, told through the observer's progress; each
// request that fails is told as it answers, and each judged site is
// recorded when there is a recorder. Gives the last site in list order
// whose request failed.
std::optional<std::size_t> FollowRun(SiteRun& run, SubmitObserver& observer,
                                     RunRecorder* recorder) {
  std::optional<std::size_t> lastFailed;
  run.OnEachAnswer([&](std::size_t index, const FetchResult& answer, const Judgement& judgement) {
    if (recorder != nullptr) recorder->Judged(index, answer, judgement);
    if (answer.ok()) return;
    observer.Unreachable(answer);
    if (!lastFailed || index > *lastFailed) lastFailed = index;
  });
  observer.FollowSites(run);
  return lastFailed;
}

// The folder's run log for one run, when runs are recorded: its problem is
// told once, when it first shows.
class Recording {
 public:
  Recording(const SubmitRequest& request, SubmitObserver& observer) : observer_(observer) {
    if (!request.recordRun) return;
    log_.emplace(request.folder);
    TellProblem();
  }

  // Begins the log's run of `run` and records its sites as they are judged.
  std::int64_t Begin(const RunStart& start, const SiteRun& run,
                     std::vector<std::size_t> listIndices = {}) {
    if (!log_ || !log_->Usable()) return 0;
    const std::int64_t id = log_->BeginRun(start);
    TellProblem();
    recorder_.emplace(run, *log_, std::move(listIndices));
    return id;
  }
  RunRecorder* Recorder() { return recorder_ ? &*recorder_ : nullptr; }
  // The log the run is written into; nullptr when runs are not recorded or
  // the log cannot be used.
  RunLog* Log() { return log_ && log_->Usable() ? &*log_ : nullptr; }
  void End(bool stopped) {
    if (!recorder_) return;
    log_->EndRun(stopped);
    TellProblem();
  }

 private:
  void TellProblem() {
    if (std::optional<RunLogProblem> problem = log_->TakeProblem()) observer_.RunLogFault(*problem);
  }

  SubmitObserver& observer_;
  std::optional<RunLog> log_;
  std::optional<RunRecorder> recorder_;
};

// For each site of `sites`, its newest Pass of this PAD URL with this same
// version in a recorded run; `already` counts them and takes the newest.
std::vector<std::optional<Acceptance>> AcceptedBefore(RunLog& log, const std::string& padUrl,
                                                      const std::string& version,
                                                      const std::vector<SiteRecord>& sites,
                                                      AlreadyAccepted& already) {
  std::vector<std::optional<Acceptance>> accepted(sites.size());
  std::map<std::pair<std::string, std::string>, std::string> newest;
  for (const AcceptedSite& site : log.AcceptedVersion(padUrl, version))
    newest.emplace(std::pair{site.site.title, site.site.url}, site.started);
  if (newest.empty()) return accepted;
  for (std::size_t i = 0; i < sites.size(); ++i) {
    const auto found = newest.find({sites[i].Title, sites[i].Url});
    if (found == newest.end()) continue;
    accepted[i] = Acceptance{0, found->second, version};
    ++already.sites;
    already.last = std::max(already.last, found->second);
  }
  return accepted;
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
  RunResults& results = *outcome.results;

  RunStart start;
  start.started = std::time(nullptr);
  start.padUrl = request.padUrl;
  const PadProgram program = ReadPadProgram(outcome.pad.answer.body);
  start.program = program.name;
  start.version = program.version;
  start.category = outcome.category;
  if (request.sites != nullptr) start.sitesVersion = request.sites->Version();
  start.siteCount = sites.size();
  Recording recording(request, observer);

  // Sites that took this very version before are asked again only when the
  // front end says so, before any site is asked.
  std::vector<std::size_t> asked;
  if (RunLog* log = recording.Log()) {
    AlreadyAccepted already{0, program.name, program.version, {}};
    const std::vector<std::optional<Acceptance>> skip =
        AcceptedBefore(*log, request.padUrl, program.version, sites, already);
    if (already.sites > 0 && !observer.AskAgain(already)) {
      for (std::size_t i = 0; i < sites.size(); ++i) {
        if (skip[i]) {
          results.Skip(i, *skip[i]);
        } else {
          asked.push_back(i);
        }
      }
    }
  }
  std::vector<SiteRecord> askedSites;
  if (asked.empty() && results.Skipped() == 0) {
    askedSites = std::move(sites);
  } else {
    for (const std::size_t i : asked) askedSites.push_back(sites[i]);
  }
  SiteRun run(std::move(askedSites), outcome.category, request.padUrl, request.limits,
              request.maxConcurrent);

  const std::int64_t id = recording.Begin(start, run, asked);
  results.SetLogged(id, start);
  if (RunLog* log = recording.Log()) {
    // The skipped sites are recorded as such at once; the others as they
    // are judged.
    for (std::size_t i = 0; i < results.Count(); ++i)
      if (results.Sites()[i].Skipped()) log->Record(LoggedSiteOf(results.Sites()[i], i, ""));
    std::vector<SiteKey> keys;
    keys.reserve(results.Count());
    for (const SiteResult& site : results.Sites()) keys.push_back({site.site.Title, site.site.Url});
    results.SetLastAccepted(log->LastAccepted(request.padUrl, keys, id));
  }

  const std::optional<std::size_t> lastFailed = FollowRun(run, observer, recording.Recorder());
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
  results.Take(run, asked);
  recording.End(results.Stopped());
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

std::string RunLogFaultText(const RunLogProblem& problem) {
  const char* pattern = problem.kind == RunLogProblem::Kind::Replaced ? texts::kRunLogReplaced
                                                                      : texts::kRunLogUnusable;
  return FormatText(Tr(pattern), {problem.reason});
}

namespace {

// The first steps of every run: a URL with a line break in it can be neither
// requested nor kept in the history file, whose lines it would split; the
// URL is remembered before anything is fetched, so a PAD file that fails to
// load doesn't cost the user the typed URL (a case variant of an entry adds
// nothing). False when the URL was refused.
bool Begin(const SubmitRequest& request, SubmitOutcome& outcome, SubmitObserver& observer) {
  if (HasControlCharacter(request.padUrl)) {
    outcome.refused = true;
    observer.PadUrlRefused();
    return false;
  }
  if (request.history != nullptr) {
    if (const std::optional<std::size_t> at = request.history->Remember(request.padUrl))
      observer.Remembered(*at);
  }
  // Every row of the run carries the date at which the run began.
  outcome.date = Today();
  return true;
}

// Fetches the PAD file on a thread of its own while the front end waits (the
// user may give it up, which is no error of the network's), takes its
// category and checks it: what download sites would reject is shown before
// any of them is asked, and the observer may end the run there. True when
// the sites may be asked.
bool PadFileReady(const SubmitRequest& request, SubmitOutcome& outcome, SubmitObserver& observer) {
  outcome.pad = FetchPadFile(request.padUrl, request.limits, &observer);
  const PadFile& pad = outcome.pad;
  if (pad.outcome == PadFile::Outcome::Failed) {
    if (!pad.answer.ok()) observer.Unreachable(pad.answer);
    observer.PadFileFailed(pad);
    return false;
  }
  if (pad.outcome != PadFile::Outcome::Fetched) return false;
  outcome.category = pad.category;
  if (outcome.category.empty()) {
    observer.NoCategory();
    return false;
  }
  return observer.GoOn(CheckPadFields(pad.answer.body, request.padUrl));
}

// The last steps of every run: the report is written and shown on every
// path, with no rows when the PAD file stopped the run; then the history is
// saved, as the window does when it closes.
void End(const SubmitRequest& request, SubmitOutcome& outcome, SubmitObserver& observer) {
  const std::string& category = outcome.results ? outcome.results->Category() : outcome.category;
  outcome.report =
      WriteReport(request.folder, request.padUrl, category, outcome.results.get(), observer);
  if (request.saveHistory && request.history != nullptr) {
    outcome.historySaved =
        request.history->Save(request.folder / program::kHistoryFile, request.padUrl);
    if (!*outcome.historySaved) observer.HistoryNotSaved();
  }
}

// Asks the sites of `results` that did not pass again, recording the retry
// as a run of its own that names the run it retried. False when every site
// passed (or was skipped).
bool RetrySites(RunResults& results, const SubmitRequest& request, SubmitObserver& observer,
                Recording& recording) {
  std::unique_ptr<SiteRun> retry = results.RetryRun(request.limits, request.maxConcurrent);
  if (!retry) return false;
  // The report's rows carry the date of the latest asking.
  results.SetDate(Today());
  RunStart start = results.LoggedStart();
  start.started = std::time(nullptr);
  start.siteCount = retry->Sites().size();
  start.retryOf = results.LoggedRun();
  const std::int64_t id = recording.Begin(start, *retry, results.FailedSites());
  FollowRun(*retry, observer, recording.Recorder());
  results.TakeRetry(*retry);
  recording.End(retry->Stopped());
  // A later retry asks again what this one left failed, as its results stand.
  if (id != 0) results.SetLogged(id, start);
  return true;
}

}  // namespace

SubmitOutcome SubmitPadFile(const SubmitRequest& request, SubmitObserver& observer) {
  SubmitOutcome outcome;
  if (!Begin(request, outcome, observer)) return outcome;
  if (PadFileReady(request, outcome, observer)) RequestSites(request, outcome, observer);
  End(request, outcome, observer);
  return outcome;
}

SubmitOutcome RetryRecordedRun(const SubmitRequest& request, SubmitObserver& observer) {
  SubmitOutcome outcome;
  if (!Begin(request, outcome, observer)) return outcome;
  Recording recording(request, observer);
  RunLog* log = recording.Log();
  const std::optional<LoggedRun> newest =
      log != nullptr ? log->NewestRun(request.padUrl) : std::nullopt;
  if (!newest) {
    outcome.noRecordedRun = true;
    observer.NoRecordedRun();
    return outcome;
  }
  if (PadFileReady(request, outcome, observer)) {
    // The earlier run as its results stand, asked again with the same
    // requests it was made with.
    outcome.results = ResultsOfLoggedRun(*log, *newest, outcome.date);
    RetrySites(*outcome.results, request, observer, recording);
  }
  End(request, outcome, observer);
  return outcome;
}

RetryOutcome RetryFailedSites(RunResults& results, const SubmitRequest& request,
                              SubmitObserver& observer) {
  RetryOutcome outcome;
  Recording recording(request, observer);
  outcome.retried = RetrySites(results, request, observer, recording);
  if (!outcome.retried) return outcome;
  outcome.report =
      WriteReport(request.folder, results.PadUrl(), results.Category(), &results, observer);
  return outcome;
}

}  // namespace tesselwick

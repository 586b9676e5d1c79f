#include "core/submit/run_recording.h"

#include <utility>

namespace tesselwick {

LoggedSite LoggedSiteOf(const SiteResult& result, std::size_t position, std::string requestUrl) {
  LoggedSite row;
  row.position = position;
  row.title = result.site.Title;
  row.url = result.site.Url;
  row.submitUrl = result.site.SubmitUrl;
  row.requestUrl = std::move(requestUrl);
  row.outcome = result.Skipped()  ? SiteOutcome::Skipped
                : result.Passed() ? SiteOutcome::Pass
                                  : SiteOutcome::Fail;
  row.reason = result.Reason();
  row.httpStatus = result.HttpStatus();
  row.error = result.Error();
  row.seconds = result.seconds;
  return row;
}

Judgement JudgementOfLogged(const LoggedSite& row) {
  using Cause = Judgement::Cause;
  if (row.outcome == SiteOutcome::Pass) return Judgement(Cause::Passed, row.httpStatus.value_or(0));
  if (row.error) return Judgement::FailedRequest(static_cast<FetchError>(*row.error));
  if (row.httpStatus) {
    const long status = *row.httpStatus;
    if (status >= 400) return Judgement(Cause::ErrorStatus, status);
    return Judgement(row.reason == reasons::kSaysError ? Cause::SaysError : Cause::Says404, status);
  }
  if (row.reason == reasons::kNoTemplate) return Judgement(Cause::NoTemplate);
  if (row.reason == reasons::kNoAnswer) return Judgement(Cause::NoAnswer);
  return Judgement(Cause::NotSent);
}

std::unique_ptr<RunResults> ResultsOfLoggedRun(RunLog& log, const LoggedRun& run,
                                               std::string date) {
  const std::vector<LoggedSite> rows = log.MergedSites(run.id);
  std::vector<SiteRecord> sites;
  std::vector<SiteKey> keys;
  sites.reserve(rows.size());
  keys.reserve(rows.size());
  for (const LoggedSite& row : rows) {
    // The request URL as it was sent stands in for the template: filled in
    // again it is the same, since what was filled into it is escaped.
    sites.push_back(SiteRecord{row.title, row.url, row.submitUrl, row.requestUrl});
    keys.push_back({row.title, row.url});
  }
  auto results =
      std::make_unique<RunResults>(std::move(sites), run.padUrl, run.category, std::move(date));
  std::vector<std::optional<Acceptance>> accepted = log.LastAccepted(run.padUrl, keys, run.id);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].outcome == SiteOutcome::Skipped) {
      Acceptance skipped = accepted[i].value_or(Acceptance{});
      skipped.version = run.version;
      results->Skip(i, std::move(skipped));
    } else {
      results->Restore(i, JudgementOfLogged(rows[i]), rows[i].seconds);
    }
  }
  RunStart start;
  start.padUrl = run.padUrl;
  start.program = run.program;
  start.version = run.version;
  start.category = run.category;
  start.sitesVersion = run.sitesVersion;
  results->SetLogged(run.id, std::move(start));
  results->SetLastAccepted(std::move(accepted));
  return results;
}

RunRecorder::RunRecorder(const SiteRun& run, RunLog& log, std::vector<std::size_t> listIndices)
    : run_(run), log_(log), listIndices_(std::move(listIndices)) {}

void RunRecorder::Judged(std::size_t index, const FetchResult& answer, const Judgement& judgement) {
  SiteResult result;
  result.site = run_.Sites()[index];
  TakeAnswer(result, answer, judgement);
  const std::size_t position = listIndices_.empty() ? index : listIndices_[index];
  log_.Record(LoggedSiteOf(result, position, run_.RequestUrl(index).value_or("")));
}

}  // namespace tesselwick

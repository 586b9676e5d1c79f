#include "core/submit/run_results.h"

#include <algorithm>
#include <utility>

#include "core/submit/request_url.h"
#include "core/text/translation.h"

namespace tesselwick {

RunResults::RunResults(std::vector<SiteRecord> sites, std::string padUrl, std::string category,
                       std::string date)
    : padUrl_(std::move(padUrl)), category_(std::move(category)), date_(std::move(date)) {
  sites_.reserve(sites.size());
  for (SiteRecord& site : sites) {
    SiteResult result;
    result.site = std::move(site);
    sites_.push_back(std::move(result));
  }
}

void RunResults::Take(const SiteRun& run, const std::vector<std::size_t>& listIndices) {
  for (std::size_t i = 0; i < run.Sites().size(); ++i) {
    SiteResult& result = sites_[listIndices.empty() ? i : listIndices[i]];
    const std::optional<Judgement>& judgement = run.Outcomes()[i];
    if (!judgement) {
      // A site asked again whose retry was stopped keeps what it answered
      // the first time.
      if (!result.Finished()) result.judgement = run.Unfinished(i);
      continue;
    }
    TakeAnswer(result, *run.Answer(i), *judgement);
  }
}

std::string LoggedDay(const std::string& started) { return started.substr(0, 10); }

std::string AcceptedText(const Acceptance& accepted) {
  std::string text = LoggedDay(accepted.started);
  if (!accepted.version.empty()) text += " " + accepted.version;
  return text;
}

std::string SkippedReason(const Acceptance& accepted, const char* pattern) {
  return FormatText(pattern, {accepted.version, LoggedDay(accepted.started)});
}

std::string SiteResult::Reason() const {
  return skippedFor ? SkippedReason(*skippedFor) : ReasonText(judgement);
}

const char* SiteResult::Word() const {
  if (Skipped()) return N_("Skipped");
  return Passed() ? "Pass" : "Fail";
}

std::optional<long> SiteResult::HttpStatus() const {
  if (Skipped()) return std::nullopt;
  if (!judgement.Answered()) return std::nullopt;
  return judgement.status;
}

std::optional<int> SiteResult::Error() const {
  if (Skipped()) return std::nullopt;
  // A site without a template was never asked: no status, no error.
  if (judgement.cause != Judgement::Cause::RequestFailed) return std::nullopt;
  return static_cast<int>(judgement.error);
}

void TakeAnswer(SiteResult& result, const FetchResult& answer, const Judgement& judgement) {
  result.judgement = judgement;
  result.seconds = answer.seconds;
}

std::unique_ptr<SiteRun> RunResults::RetryRun(const FetchLimits& limits, int maxConcurrent) {
  const std::vector<std::size_t> failed = FailedSites();
  if (failed.empty()) return nullptr;
  std::vector<SiteRecord> sites;
  sites.reserve(failed.size());
  for (const std::size_t index : failed) sites.push_back(sites_[index].site);
  // The indices are kept for TakeRetry; the run holds only its own sites.
  retried_ = failed;
  return std::make_unique<SiteRun>(std::move(sites), category_, padUrl_, limits, maxConcurrent);
}

void RunResults::TakeRetry(const SiteRun& retry) {
  if (retry.Sites().size() != retried_.size()) return;
  Take(retry, retried_);
  retried_.clear();
}

std::size_t RunResults::Passed() const {
  return static_cast<std::size_t>(
      std::count_if(sites_.begin(), sites_.end(), [](const SiteResult& r) { return r.Passed(); }));
}

std::size_t RunResults::Skipped() const {
  return static_cast<std::size_t>(
      std::count_if(sites_.begin(), sites_.end(), [](const SiteResult& r) { return r.Skipped(); }));
}

std::size_t RunResults::Finished() const {
  return static_cast<std::size_t>(std::count_if(sites_.begin(), sites_.end(),
                                                [](const SiteResult& r) { return r.Finished(); }));
}

std::vector<std::size_t> RunResults::FailedSites() const {
  std::vector<std::size_t> failed;
  for (std::size_t i = 0; i < sites_.size(); ++i)
    if (!sites_[i].Passed() && !sites_[i].Skipped()) failed.push_back(i);
  return failed;
}

std::optional<std::string> RunResults::RequestUrl(std::size_t index) const {
  return SiteRequestUrl(sites_[index].site.RequestTemplate.str(), category_, padUrl_);
}

ReportRows RunResults::Rows() const {
  return [this](const ReportSink& out) {
    for (const SiteResult& result : sites_)
      if (result.Finished() && !result.Skipped()) out(ReportRow(result.site, result.Word(), date_));
  };
}

ReportCounts RunResults::Counts() const {
  ReportCounts counts;
  counts.passed = Passed();
  counts.failed = Failed();
  // A skipped site is no site of the report.
  counts.sites = Count() - Skipped();
  if (Stopped()) counts.stoppedAfter = Finished() - Skipped();
  return counts;
}

}  // namespace tesselwick

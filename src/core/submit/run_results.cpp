#include "core/submit/run_results.h"

#include <algorithm>
#include <utility>

#include "core/submit/request_url.h"

namespace tesselwick {

RunResults::RunResults(std::vector<SiteRecord> sites, std::string padUrl, std::string category,
                       std::string date)
    : padUrl_(std::move(padUrl)), category_(std::move(category)), date_(std::move(date)) {
  sites_.reserve(sites.size());
  for (SiteRecord& site : sites) {
    SiteResult result;
    result.site = std::move(site);
    result.reason = reasons::kNotSent;
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
      if (!result.finished) result.reason = run.UnfinishedReason(i);
      continue;
    }
    TakeAnswer(result, *run.Answer(i), *judgement);
  }
}

std::string AcceptedText(const Acceptance& accepted) {
  std::string text = accepted.started.substr(0, 10);
  if (!accepted.version.empty()) text += " " + accepted.version;
  return text;
}

void TakeAnswer(SiteResult& result, const FetchResult& answer, const Judgement& judgement) {
  result.httpStatus.reset();
  result.error.reset();
  result.finished = true;
  result.passed = judgement.passed;
  // A site without a template was never asked: no status, no error.
  const bool asked = judgement.reason != reasons::kNoTemplate;
  if (asked && answer.ok) result.httpStatus = answer.status;
  if (asked && answer.error != FetchError::None) result.error = static_cast<int>(answer.error);
  result.seconds = answer.seconds;
  result.reason = judgement.passed ? StatusReason(answer.status) : judgement.reason;
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
      std::count_if(sites_.begin(), sites_.end(), [](const SiteResult& r) { return r.passed; }));
}

std::size_t RunResults::Finished() const {
  return static_cast<std::size_t>(
      std::count_if(sites_.begin(), sites_.end(), [](const SiteResult& r) { return r.finished; }));
}

std::vector<std::size_t> RunResults::FailedSites() const {
  std::vector<std::size_t> failed;
  for (std::size_t i = 0; i < sites_.size(); ++i)
    if (!sites_[i].passed) failed.push_back(i);
  return failed;
}

std::optional<std::string> RunResults::RequestUrl(std::size_t index) const {
  return SiteRequestUrl(sites_[index].site.RequestTemplate.str(), category_, padUrl_);
}

ReportRows RunResults::Rows() const {
  return [this](const ReportSink& out) {
    for (const SiteResult& result : sites_)
      if (result.finished) out(ReportRow(result.site, result.Word(), date_));
  };
}

ReportCounts RunResults::Counts() const {
  ReportCounts counts;
  counts.passed = Passed();
  counts.failed = Failed();
  counts.sites = Count();
  if (Stopped()) counts.stoppedAfter = Finished();
  return counts;
}

}  // namespace tesselwick

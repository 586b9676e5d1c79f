#include "core/submit/site_run.h"

#include <utility>

#include "core/submit/request_url.h"

namespace tesselwick {

namespace {
// How long RunToEnd waits for answers at a time.
constexpr std::chrono::milliseconds kRunStep{200};

// A site whose record has no request template of its own was never meant to
// be asked: that, not the empty address, is why it fails.
Judgement JudgeSite(const SiteRecord& site, const FetchResult& answer) {
  if (site.RequestTemplate.str().find_first_not_of("\r\n") == std::string::npos)
    return Judgement(Judgement::Cause::NoTemplate);
  return JudgeAnswer(answer);
}

}  // namespace

SiteRun::SiteRun(std::vector<SiteRecord> sites, std::string category, std::string padUrl,
                 FetchLimits limits, int maxConcurrent)
    : sites_(std::move(sites)),
      category_(std::move(category)),
      padUrl_(std::move(padUrl)),
      outcomes_(sites_.size()),
      asked_(sites_.size(), false) {
  // Each site's URL is filled in by the worker that requests it and dropped
  // when its request ends: however long the category, only the requests
  // under way hold a URL.
  requests_ = std::make_unique<RequestPool>(
      sites_.size(), [this](std::size_t index) { return RequestUrl(index); }, limits,
      maxConcurrent);
}

std::optional<std::string> SiteRun::RequestUrl(std::size_t index) const {
  const std::string& requestTemplate = sites_[index].RequestTemplate;
  return SiteRequestUrl(requestTemplate, category_, padUrl_);
}

bool SiteRun::Step(std::chrono::milliseconds wait, SubmissionObserver& observer) {
  for (const std::size_t index : requests_->Wait(wait)) {
    const std::optional<FetchResult>& answer = requests_->Answer(index);
    if (!answer) continue;
    outcomes_[index] = JudgeSite(sites_[index], *answer);
    asked_[index] = true;
    if (hook_) hook_(index, *answer, *outcomes_[index]);
    observer.SiteFinished(index, *answer, *outcomes_[index]);
  }
  const std::vector<std::size_t> inFlight = requests_->InFlight();
  for (const std::size_t index : inFlight) asked_[index] = true;
  observer.Awaiting(inFlight);
  if (observer.StopRequested() && !requests_->Stopping()) requests_->Stop();
  return !requests_->Done();
}

void SiteRun::RunToEnd(SubmissionObserver& observer) {
  while (Step(kRunStep, observer)) {
  }
}

}  // namespace tesselwick

#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/net/http_fetch.h"
#include "core/net/judgement.h"
#include "core/net/request_pool.h"
#include "core/sites/site_record.h"

namespace tesselwick {

// What a run of site requests tells while it works, and asks.
class SubmissionObserver {
 public:
  virtual ~SubmissionObserver() = default;
  // A site has finished: its answer (the head of it) and how it was judged.
  virtual void SiteFinished(std::size_t index, const FetchResult& answer,
                            const Judgement& judgement) = 0;
  // The sites being waited for now, their list indices in list order.
  virtual void Awaiting(const std::vector<std::size_t>& indices) = 0;
  // True ends the run: nothing more is sent and the requests under way are
  // abandoned.
  virtual bool StopRequested() = 0;
};

// The site requests of one submission: every site of the list asked with its
// request template filled in with the category and the PAD URL, side by side,
// each answer judged as it arrives. The run goes on by itself on the request
// engine's thread; Step takes what has arrived and tells the observer.
class SiteRun {
 public:
  SiteRun(std::vector<SiteRecord> sites, std::string category, std::string padUrl,
          FetchLimits limits, int maxConcurrent = RequestPool::kDefaultConcurrency);

  // Called for every answer as Step judges it, before the observer hears of
  // it: what the owner of the run keeps of each answer (the failures it
  // tells, the rows of the run log).
  using AnswerHook =
      std::function<void(std::size_t index, const FetchResult& answer, const Judgement& judgement)>;
  void OnEachAnswer(AnswerHook hook) { hook_ = std::move(hook); }

  // Takes the answers that arrived, waiting up to `wait` for one, judges
  // them (a site without a request template fails for that) and tells
  // `observer`; then tells it which sites are awaited and asks
  // it whether to stop. False once the run is over.
  bool Step(std::chrono::milliseconds wait, SubmissionObserver& observer);
  // Steps until the run is over.
  void RunToEnd(SubmissionObserver& observer);

  bool Done() const { return requests_->Done(); }
  bool Stopped() const { return requests_->Stopping(); }

  const std::vector<SiteRecord>& Sites() const { return sites_; }
  std::size_t Finished() const { return requests_->Finished(); }
  // How each site was judged; nothing for a site that never finished
  // because the run was stopped.
  const std::vector<std::optional<Judgement>>& Outcomes() const { return outcomes_; }
  // The answer of a site that finished (the head of its body).
  const std::optional<FetchResult>& Answer(std::size_t index) const {
    return requests_->Answer(index);
  }
  // The URL a site is requested with; nothing when it is too long to send.
  std::optional<std::string> RequestUrl(std::size_t index) const;
  // Why a site that never finished has no judgement: the run was stopped
  // before it was asked (NotSent), or while it was awaited (NoAnswer).
  Judgement Unfinished(std::size_t index) const {
    return Judgement(asked_[index] ? Judgement::Cause::NoAnswer : Judgement::Cause::NotSent);
  }

 private:
  const std::vector<SiteRecord> sites_;
  const std::string category_;
  const std::string padUrl_;
  std::vector<std::optional<Judgement>> outcomes_;
  // Sites seen under way or finished.
  std::vector<bool> asked_;
  AnswerHook hook_;
  std::unique_ptr<RequestPool> requests_;
};

}  // namespace tesselwick

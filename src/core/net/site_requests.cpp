#include "core/net/site_requests.h"

#include <algorithm>
#include <utility>

namespace tesselwick {

SiteRequests::SiteRequests(const std::vector<std::string>& urls, FetchLimits limits,
                           int maxConcurrent)
    : SiteRequests(
          urls.size(), [urls](std::size_t index) { return std::optional(urls[index]); }, limits,
          maxConcurrent) {}

SiteRequests::SiteRequests(std::size_t count, UrlMaker makeUrl, FetchLimits limits,
                           int maxConcurrent)
    : count_(count),
      makeUrl_(std::move(makeUrl)),
      limits_(limits),
      underWay_(count, false),
      answers_(count) {
  limits_.cancel = &stop_;
  // Started before the workers, so that no worker can finish a request it
  // has not been counted for.
  InitNetwork();
  const std::size_t workers =
      std::min(count_, static_cast<std::size_t>(std::max(maxConcurrent, 1)));
  workersLeft_ = static_cast<int>(workers);
  workers_.reserve(workers);
  try {
    for (std::size_t i = 0; i < workers; ++i) workers_.emplace_back([this] { Work(); });
  } catch (...) {
    // The system would not give more threads: those that started do all the
    // work. Without any, the run cannot go on.
    std::lock_guard<std::mutex> lock(mutex_);
    workersLeft_ -= static_cast<int>(workers - workers_.size());
    if (workers_.empty()) throw;
  }
}

SiteRequests::~SiteRequests() {
  Stop();
  for (std::thread& worker : workers_) worker.join();
}

void SiteRequests::Work() {
  for (;;) {
    std::size_t index = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stop_.load() || next_ >= count_) break;
      index = next_++;
      underWay_[index] = true;
    }
    std::optional<std::string> url = makeUrl_(index);
    const std::size_t urlBytes = url ? url->size() : 0;
    {
      // libcurl keeps several copies of a URL while its request is under
      // way: very long ones take turns, so that they can't add up. One
      // request may always go, and Stop lets every worker on.
      std::unique_lock<std::mutex> lock(mutex_);
      urlRoom_.wait(lock, [&] {
        return stop_.load() || urlBytesUnderWay_ == 0 ||
               urlBytesUnderWay_ + urlBytes <= kUrlBytesUnderWay;
      });
      urlBytesUnderWay_ += urlBytes;
    }
    FetchResult result = url ? HttpFetch(*url, FetchMode::Blocks, limits_, BodyKeeping::Head)
                             : FailedFetch(FetchError::Internal);
    url.reset();
    // A request that Stop cut short never finished; one that ended on its own
    // counts, even when Stop came just after.
    const bool abandoned = result.cancelled;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      underWay_[index] = false;
      urlBytesUnderWay_ -= urlBytes;
      if (!abandoned) queue_.emplace_back(index, std::move(result));
    }
    arrived_.notify_all();
    urlRoom_.notify_all();
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    --workersLeft_;
  }
  arrived_.notify_all();
}

std::vector<std::size_t> SiteRequests::Poll() { return Wait(std::chrono::milliseconds(0)); }

std::vector<std::size_t> SiteRequests::Wait(std::chrono::milliseconds timeout) {
  std::vector<std::pair<std::size_t, FetchResult>> taken;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (timeout.count() > 0) {
      arrived_.wait_for(lock, timeout, [this] { return !queue_.empty() || workersLeft_ == 0; });
    }
    taken.swap(queue_);
  }
  std::vector<std::size_t> indices;
  indices.reserve(taken.size());
  for (auto& [index, result] : taken) {
    answers_[index] = std::move(result);
    indices.push_back(index);
  }
  finished_ += indices.size();
  return indices;
}

void SiteRequests::Stop() {
  {
    // Under the lock, so that no worker takes a new site after this returns.
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  urlRoom_.notify_all();
}

bool SiteRequests::Done() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return workersLeft_ == 0 && queue_.empty();
}

std::vector<std::size_t> SiteRequests::InFlight() const {
  std::vector<std::size_t> indices;
  std::lock_guard<std::mutex> lock(mutex_);
  for (std::size_t i = 0; i < underWay_.size(); ++i)
    if (underWay_[i]) indices.push_back(i);
  return indices;
}

}  // namespace tesselwick

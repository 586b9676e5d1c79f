#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/net/http_fetch.h"

namespace tesselwick {

// The sites of one submission run, requested side by side on worker threads.
//
// Each site is requested exactly once, in block mode, by at most
// `maxConcurrent` workers at a time; a worker takes the next site in list
// order as soon as its previous request ends, so a site that is slow to
// answer holds up only its own worker. A site's URL is made by the worker that
// requests it, just before, and dropped when the request ends, so only the
// requests under way hold theirs; very long URLs are requested only a few at
// a time (kUrlBytesUnderWay). Finished answers wait in a queue until the
// owning thread (the window's) takes them with Poll or Wait; only that thread
// reads the answers afterwards, so they need no lock.
class SiteRequests {
 public:
  static constexpr int kDefaultConcurrency = 16;
  // How many bytes of URLs the requests under way may hold together, unless
  // one alone is longer; URLs of a usual length never come near it.
  static constexpr std::size_t kUrlBytesUnderWay = std::size_t{2} * 1024 * 1024;

  // The URL of the site with a list index; nothing when it would be too long
  // to send (the request then fails as HttpFetch fails such a URL). Called on
  // the workers, so it may only read what stays unchanged during the run.
  using UrlMaker = std::function<std::optional<std::string>(std::size_t index)>;

  // Starts the workers at once. `limits.cancel` is replaced by the run's own
  // stop flag. Site answers keep only their head (BodyKeeping::Head).
  SiteRequests(std::size_t count, UrlMaker makeUrl, FetchLimits limits,
               int maxConcurrent = kDefaultConcurrency);
  // Requests the given URLs.
  SiteRequests(const std::vector<std::string>& urls, FetchLimits limits,
               int maxConcurrent = kDefaultConcurrency);
  // Stops the run and waits for its workers.
  ~SiteRequests();
  SiteRequests(const SiteRequests&) = delete;
  SiteRequests& operator=(const SiteRequests&) = delete;

  // How many sites the run has.
  std::size_t Count() const { return count_; }

  // Takes the answers that arrived since the last call, without waiting: the
  // list indices of the sites that finished, in the order they finished.
  std::vector<std::size_t> Poll();
  // Like Poll, but waits up to `timeout` for at least one answer, or until the
  // run has ended.
  std::vector<std::size_t> Wait(std::chrono::milliseconds timeout);

  // Ends the run early: no further request is sent and the requests under way
  // are abandoned. An abandoned request does not count as finished. Returns
  // at once; the run is Done once the workers have noticed.
  void Stop();
  bool Stopping() const { return stop_.load(); }

  // True once no request is under way or still to come and every answer has
  // been taken.
  bool Done() const;

  // The answer of a site taken by Poll or Wait; nullopt for a site whose
  // answer has not been taken yet or that never finished.
  const std::optional<FetchResult>& Answer(std::size_t index) const { return answers_[index]; }
  // How many answers have been taken.
  std::size_t Finished() const { return finished_; }
  // The list indices of the sites being waited for, in list order.
  std::vector<std::size_t> InFlight() const;

 private:
  void Work();

  const std::size_t count_;
  const UrlMaker makeUrl_;
  FetchLimits limits_;
  std::atomic<bool> stop_{false};

  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::condition_variable urlRoom_;
  // Guarded by mutex_:
  std::size_t next_ = 0;
  std::size_t urlBytesUnderWay_ = 0;
  int workersLeft_ = 0;
  std::vector<bool> underWay_;
  std::vector<std::pair<std::size_t, FetchResult>> queue_;

  // The owning thread's own:
  std::vector<std::optional<FetchResult>> answers_;
  std::size_t finished_ = 0;

  std::vector<std::thread> workers_;
};

}  // namespace tesselwick

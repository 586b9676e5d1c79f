#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/net/http_fetch.h"

namespace tesselwick {

// The sites of one submission run, requested side by side by one thread of
// their own that keeps many requests under way at once.
//
// Each site is requested exactly once, in block mode. At most
// `maxConcurrent` requests are under way at a time, and at most `perHost` of
// them to one host (its name and port), so that no site owner sees a crowd
// from the program; sites of one host share its connections. Sites start in
// list order as far as these limits allow: a site whose host is busy waits
// while later sites of other hosts go ahead, and its time limits run only
// from when its request is sent. A site's URL is made just before its request
// is sent and dropped when the request ends, so only the requests under way
// hold theirs (a site that finds its host busy has its URL made again when its
// turn comes); very long URLs are requested only a few at a time
// (kUrlBytesUnderWay). Finished answers wait in a queue until the owning
// thread (the window's) takes them with Poll or Wait; only that thread reads
// the answers afterwards, so they need no lock.
class RequestPool {
 public:
  static constexpr int kDefaultConcurrency = 64;
  // The most requests under way that a run may be given.
  static constexpr int kMostConcurrency = 256;
  // Requests under way to one host at most.
  static constexpr int kPerHost = 4;
  // How many bytes of URLs the requests under way may hold together, unless
  // one alone is longer; URLs of a usual length never come near it.
  static constexpr std::size_t kUrlBytesUnderWay = std::size_t{2} * 1024 * 1024;

  // The URL of the site with a list index; nothing when it would be too long
  // to send (the request then fails as HttpFetch fails such a URL). Called on
  // the run's own thread, so it may only read what stays unchanged during the run.
  using UrlMaker = std::function<std::optional<std::string>(std::size_t index)>;

  // Starts the run at once. `limits.cancel` is replaced by the run's own
  // stop flag. Site answers keep only their head (BodyKeeping::Head).
  RequestPool(std::size_t count, UrlMaker makeUrl, FetchLimits limits,
              int maxConcurrent = kDefaultConcurrency, int perHost = kPerHost);
  // Requests the given URLs.
  RequestPool(const std::vector<std::string>& urls, FetchLimits limits,
              int maxConcurrent = kDefaultConcurrency, int perHost = kPerHost);
  // Stops the run and waits for its thread.
  ~RequestPool();
  RequestPool(const RequestPool&) = delete;
  RequestPool& operator=(const RequestPool&) = delete;

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
  // at once; the run is Done once its thread has noticed.
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
  // The list indices of the sites whose requests are under way, in list order.
  std::vector<std::size_t> InFlight() const;

 private:
  struct Engine;
  void Run();
  // Starts what the limits allow, in list order.
  void Fill(Engine& engine);
  // Takes the requests libcurl has ended; false when there was none.
  bool TakeEnded(Engine& engine);
  // Hands a request's outcome to the owning thread (unless Stop cut it short).
  void Ended(std::size_t index, FetchResult result);
  // Ends every site not yet finished with a failure for `cause`, once
  // libcurl can no longer run the requests.
  void FailUnfinished(Engine& engine, FetchCause cause);

  const std::size_t count_;
  const UrlMaker makeUrl_;
  FetchLimits limits_;
  const std::size_t maxConcurrent_;
  const int perHost_;
  std::atomic<bool> stop_{false};
  // The run's libcurl state, used by its thread alone (and woken by Stop).
  std::unique_ptr<Engine> engine_;

  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  // Guarded by mutex_:
  bool running_ = true;
  std::set<std::size_t> underWay_;
  std::vector<std::pair<std::size_t, FetchResult>> queue_;

  // The owning thread's own:
  std::vector<std::optional<FetchResult>> answers_;
  std::size_t finished_ = 0;

  std::thread thread_;
};

}  // namespace tesselwick

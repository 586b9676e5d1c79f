#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "core/submit/http_fetch.h"

namespace tesselwick {

// One retrieval on a thread of its own, so that a window keeps repainting and
// answering its keys while it waits. The caller may give up on it at any time.
class BackgroundFetch {
 public:
  // Starts the request at once. `limits.cancel` is replaced by this fetch's
  // own stop flag.
  BackgroundFetch(std::string url, FetchMode mode, FetchLimits limits);
  // Gives up the request if it still runs and waits for its thread.
  ~BackgroundFetch();
  BackgroundFetch(const BackgroundFetch&) = delete;
  BackgroundFetch& operator=(const BackgroundFetch&) = delete;

  const std::string& Url() const { return url_; }
  // True once the request has ended, however it ended.
  bool Done() const;
  // Gives up the request: it ends at once, as cancelled. Returns at once.
  void Stop();
  bool Stopping() const { return stop_.load(); }
  // Waits until the request has ended and gives its result.
  FetchResult Result();

 private:
  const std::string url_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::condition_variable ended_;
  std::optional<FetchResult> result_;
  std::thread thread_;
};

}  // namespace tesselwick

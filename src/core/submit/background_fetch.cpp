#include "core/submit/background_fetch.h"

#include <utility>

namespace tesselwick {

BackgroundFetch::BackgroundFetch(std::string url, FetchMode mode, FetchLimits limits)
    : url_(std::move(url)) {
  limits.cancel = &stop_;
  // Started here, not on the thread, so two fetches never race to start it.
  InitNetwork();
  thread_ = std::thread([this, mode, limits] {
    FetchResult result = HttpFetch(url_, mode, limits);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      result_ = std::move(result);
    }
    ended_.notify_all();
  });
}

BackgroundFetch::~BackgroundFetch() {
  Stop();
  thread_.join();
}

bool BackgroundFetch::Done() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return result_.has_value();
}

void BackgroundFetch::Stop() { stop_ = true; }

FetchResult BackgroundFetch::Result() {
  std::unique_lock<std::mutex> lock(mutex_);
  ended_.wait(lock, [this] { return result_.has_value(); });
  return *result_;
}

}  // namespace tesselwick

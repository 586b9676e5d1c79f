#include "core/net/background_fetch.h"

#include <utility>

namespace tesselwick {

namespace {
// The fetch threads that have not ended yet.
std::mutex unfinishedMutex;
std::condition_variable unfinishedEnded;
int unfinished = 0;
}  // namespace

BackgroundFetch::BackgroundFetch(std::string url, FetchMode mode, FetchLimits limits)
    : state_(std::make_shared<State>()) {
  state_->url = std::move(url);
  // Started here, not on the thread, so two fetches never race to start it.
  InitNetwork();
  {
    std::lock_guard<std::mutex> lock(unfinishedMutex);
    ++unfinished;
  }
  thread_ = std::thread([state = state_, mode, limits]() mutable {
    limits.cancel = &state->stop;
    FetchResult result = HttpFetch(state->url, mode, limits);
    {
      std::lock_guard<std::mutex> lock(state->mutex);
      // A stop has already given the caller its result.
      if (!state->result) state->result = std::move(result);
    }
    state->ended.notify_all();
    {
      std::lock_guard<std::mutex> lock(unfinishedMutex);
      --unfinished;
    }
    unfinishedEnded.notify_all();
  });
}

BackgroundFetch::~BackgroundFetch() {
  Stop();
  // A request that has not noticed the stop yet ends by itself shortly; its
  // thread keeps the state it needs.
  thread_.detach();
}

bool BackgroundFetch::Done() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->result.has_value();
}

void BackgroundFetch::Stop() {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->stop = true;
    if (!state_->result) {
      FetchResult cancelled;
      cancelled.error = FetchError::ConnectionAborted;
      cancelled.cancelled = true;
      state_->result = std::move(cancelled);
    }
  }
  state_->ended.notify_all();
}

FetchResult BackgroundFetch::Result() {
  std::unique_lock<std::mutex> lock(state_->mutex);
  state_->ended.wait(lock, [this] { return state_->result.has_value(); });
  return *state_->result;
}

bool BackgroundFetch::WaitForUnfinished(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(unfinishedMutex);
  return unfinishedEnded.wait_for(lock, limit, [] { return unfinished == 0; });
}

}  // namespace tesselwick

#include "core/net/background_fetch.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <utility>
#include <vector>

namespace tesselwick {

namespace {

// The fetch threads of the program that have not been joined yet. Made once
// and never destroyed: a thread that ends while the program itself is ending
// still finds it whole.
struct Unfinished {
  std::mutex mutex;
  std::condition_variable ended;
  // Threads still running.
  int running = 0;
  // Threads of fetches given up, handed over by their BackgroundFetch to be
  // joined here.
  std::vector<std::thread> givenUp;
};

Unfinished& Threads() {
  static Unfinished* const threads = new Unfinished;
  return *threads;
}

}  // namespace

BackgroundFetch::BackgroundFetch(std::string url, FetchMode mode, FetchLimits limits)
    : state_(std::make_shared<State>()) {
  state_->url = std::move(url);
  // Started here, not on the thread, so two fetches never race to start it.
  InitNetwork();
  Unfinished& threads = Threads();
  {
    std::lock_guard<std::mutex> lock(threads.mutex);
    ++threads.running;
  }
  thread_ = std::thread([state = state_, mode, limits]() mutable {
    limits.cancel = &state->stop;
    FetchResult result = HttpFetch(state->url, mode, limits);
    {
      std::lock_guard<std::mutex> lock(state->mutex);
      // A stop has already given the caller its result.
      if (!state->result) state->result = std::move(result);
      // Under the lock: whoever waits for the result returns only after this.
      state->ended.notify_all();
    }
    Unfinished& all = Threads();
    std::lock_guard<std::mutex> lock(all.mutex);
    --all.running;
    state->threadEnded = true;
    // Under the lock, so that WaitForUnfinished cannot return (and the
    // program end) before the notice is given; the thread touches nothing
    // of the program's after it.
    all.ended.notify_all();
  });
}

BackgroundFetch::~BackgroundFetch() {
  Stop();
  // A request that has not noticed the stop yet ends by itself shortly; its
  // thread keeps the state it needs and is joined by WaitForUnfinished. A
  // thread that has ended is joined here and now.
  Unfinished& threads = Threads();
  {
    std::lock_guard<std::mutex> lock(threads.mutex);
    if (!state_->threadEnded) {
      threads.givenUp.push_back(std::move(thread_));
      return;
    }
  }
  thread_.join();
}

bool BackgroundFetch::Done() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->result.has_value();
}

void BackgroundFetch::Stop() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->stop = true;
  if (!state_->result) {
    FetchResult cancelled;
    cancelled.error = FetchError::ConnectionAborted;
    cancelled.cancelled = true;
    state_->result = std::move(cancelled);
  }
  state_->ended.notify_all();
}

FetchResult BackgroundFetch::Result() {
  std::unique_lock<std::mutex> lock(state_->mutex);
  state_->ended.wait(lock, [this] { return state_->result.has_value(); });
  return *state_->result;
}

bool BackgroundFetch::WaitForUnfinished(std::chrono::milliseconds limit) {
  Unfinished& threads = Threads();
  std::vector<std::thread> joining;
  {
    std::unique_lock<std::mutex> lock(threads.mutex);
    if (!threads.ended.wait_for(lock, limit, [&threads] { return threads.running == 0; }))
      return false;
    joining.swap(threads.givenUp);
  }
  // Every thread has given its last notice: each join returns at once.
  for (std::thread& thread : joining)
    if (thread.joinable()) thread.join();
  return true;
}

void BackgroundFetch::EndWithoutCleanup(int code) {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  std::_Exit(code);
}

}  // namespace tesselwick

#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "core/net/http_fetch.h"

namespace tesselwick {

// One retrieval on a thread of its own, so that a window keeps repainting and
// answering its keys while it waits. The caller may give up on it at any time,
// and then has its (cancelled) result at once: the network layer notices a
// stop only every so often, so the thread may wind down a moment later on
// its own.
class BackgroundFetch {
 public:
  // Starts the request at once. `limits.cancel` is replaced by this fetch's
  // own stop flag.
  BackgroundFetch(std::string url, FetchMode mode, FetchLimits limits);
  // Gives up the request if it still runs; does not wait for it to wind down:
  // its thread is joined by WaitForUnfinished.
  ~BackgroundFetch();
  BackgroundFetch(const BackgroundFetch&) = delete;
  BackgroundFetch& operator=(const BackgroundFetch&) = delete;

  const std::string& Url() const { return state_->url; }
  // True once the request has ended or been given up.
  bool Done() const;
  // Gives up the request: from now on it is Done, its result cancelled.
  void Stop();
  bool Stopping() const { return state_->stop.load(); }
  // Waits until the request has ended (or was given up) and gives its result.
  FetchResult Result();

  // Waits, at most `limit`, for the threads of fetches given up earlier that
  // are still winding down, and joins them, so that the program does not end
  // while one of them still uses the network layer. True when none is left
  // running; false when one still runs after `limit`, and then the program
  // must end without running its exit handlers (EndWithoutCleanup), which
  // the thread may still need.
  static bool WaitForUnfinished(std::chrono::milliseconds limit);

  // Ends the program at once with `code` after flushing its standard
  // streams, without the exit handlers and destructors of static objects.
  [[noreturn]] static void EndWithoutCleanup(int code);

 private:
  // Shared with the thread, which may outlive this object after a Stop.
  struct State {
    std::string url;
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable ended;
    std::optional<FetchResult> result;
    // Set by the thread as its last step, under the lock of the program's
    // fetch threads (background_fetch.cpp).
    bool threadEnded = false;
  };
  std::shared_ptr<State> state_;
  std::thread thread_;
};

// Keeps a window alive while one of its requests runs on a thread of its own:
// it shows that it is waiting and lets the user give the request up
// (BackgroundFetch::Stop). Returns once the fetch is Done.
class FetchWaiter {
 public:
  virtual ~FetchWaiter() = default;
  virtual void Wait(BackgroundFetch& fetch) = 0;
};

}  // namespace tesselwick

#pragma once

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "core/net/http_fetch.h"

namespace tesselwick {

// One retrieval's libcurl handle with every setting the program gives it, and
// what its callbacks share while it runs: HttpFetch runs one on its own
// thread, the request pool runs many on one thread. Stays where it was made,
// since libcurl's callbacks hold its address.
class CurlTransfer {
 public:
  // Checks the URL as every retrieval does and sets up the handle; Refused()
  // tells the outcome when nothing may be sent for it.
  CurlTransfer(const std::string& url, FetchMode mode, const FetchLimits& limits,
               BodyKeeping keeping);
  ~CurlTransfer();
  CurlTransfer(const CurlTransfer&) = delete;
  CurlTransfer& operator=(const CurlTransfer&) = delete;

  // The outcome of a retrieval of `url` that may not start, found without
  // making anything: an empty URL, a scheme other than http and https, a URL
  // too long to send, or a cancel flag already set. Nothing when it may.
  static std::optional<FetchResult> RefusalOf(const std::string& url, const FetchLimits& limits);

  // The outcome of a retrieval that never starts: an empty URL, a scheme
  // other than http and https, a URL too long to send, a cancel flag already
  // set, or a handle libcurl would not make. Nothing when it may start.
  const std::optional<FetchResult>& Refused() const { return refused_; }
  // The handle to run; null when Refused().
  CURL* Handle() const { return handle_; }

  // Whether the connection stays open for a later request once this one has
  // ended (it does unless told otherwise). To be called before the handle runs.
  void KeepConnection(bool keep);
  // To be called just before the handle runs: the time without a byte is
  // counted from here.
  void Starting();
  // What the retrieval came to, once libcurl has ended it with `code`.
  FetchResult Finish(CURLcode code);

  // State shared with the callbacks.
  struct Shared;

 private:
  std::optional<FetchResult> refused_;
  CURL* handle_ = nullptr;
  curl_slist* headers_ = nullptr;
  std::unique_ptr<Shared> shared_;
};

}  // namespace tesselwick

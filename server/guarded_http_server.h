#pragma once

#include <httplib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "http_front.h"

namespace tesselwick::site {

// How many requests a server is answering and has answered. Kept by the
// server's owner, so that the counts can still be read after a stop.
struct RequestCounts {
  // A request is in flight from the moment its handler starts until its
  // answer is ready.
  std::atomic<int> inFlight{0};
  std::atomic<int> peak{0};
  std::atomic<long long> answered{0};
};

// Empty when a server can keep `limits`, else why not, in one line.
std::string LimitsProblem(const FrontLimits& limits);

// An HTTP server that no client can wear down nor confuse about where one
// request ends and the next begins: the front (http_front.h) waits for
// requests, checks each head strictly and hands over only requests that came
// whole within the limits; cpp-httplib reads each of them from its own bytes,
// calls the handler of its route and writes the answer. A request that breaks
// a rule or a limit gets one refusal that says which, and its connection ends.
// So does one that cpp-httplib refuses itself.
class GuardedHttpServer {
 public:
  // Receives one line per answered request ("GET /manual.htm 200"), never for
  // two requests at the same moment. Empty: no log.
  using Log = std::function<void(const std::string&)>;
  // The page of an answer with `status` that has none of its own (a path with
  // no route, a request cpp-httplib refused).
  using ErrorPage = std::function<std::string(int status)>;

  // `limits` must be ones that LimitsProblem accepts; at least 32 threads answer.
  GuardedHttpServer(FrontLimits limits, Log log, RequestCounts& counts);
  ~GuardedHttpServer();  // stops
  GuardedHttpServer(const GuardedHttpServer&) = delete;
  GuardedHttpServer& operator=(const GuardedHttpServer&) = delete;

  // Answers GET (and HEAD) requests whose path matches `pattern` (a regular
  // expression) with `handler`. Routes are added before Start.
  void Get(const std::string& pattern, httplib::Server::Handler handler);
  void SetErrorPage(ErrorPage page);

  // Binds host:port (0: a free port) and listens; false with `error` set to
  // the reason ("address already in use") when it cannot.
  bool Listen(const std::string& host, int port, std::string& error);
  int Port() const;
  // Starts answering, after Listen; false with `error` set when it cannot.
  bool Start(std::string& error);
  // Stops answering, closes every connection and waits for the requests in
  // progress to finish.
  void Stop();

 private:
  class Router;

  RequestCounts& counts_;
  std::unique_ptr<Router> router_;
  std::unique_ptr<HttpFront> front_;
};

}  // namespace tesselwick::site

#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tesselwick::test {

// One request as the test server saw it.
struct RecordedRequest {
  std::string path;       // "/sites/a"
  std::string query;      // "pad=x&cat=y", raw as sent (no decoding), "" when none
  std::string target;     // path plus "?" and query when there is one, as sent
  std::string userAgent;  // "" when none
  std::multimap<std::string, std::string> headers;  // as the client sent them

  // The first value of a header, its name compared without regard to case; "" when none.
  std::string Header(std::string_view name) const;
  // How many times a header was sent, its name compared without regard to case.
  std::size_t HeaderCount(std::string_view name) const;
};

// What the server answers on one path.
struct Reply {
  enum class Kind {
    Normal,   // status and body
    CutOff,   // announces the body's full length, sends half of it, then drops the connection
    Stall,    // sends the headers, then nothing for `delay`
    Huge,     // a body of `hugeBytes` bytes of 'x', streamed (chunked when `chunked`)
    Trickle,  // announces the body's length, then sends it one byte every `delay`
  };
  Kind kind = Kind::Normal;
  int status = 200;
  std::string body;
  std::string contentType = "text/html";
  std::string location;  // sent as Location when not empty (redirects)
  // Wait before answering (Normal), stall time (Stall), or time between two
  // bytes (Trickle).
  std::chrono::milliseconds delay{0};
  std::size_t hugeBytes = 0;
  // Normal and Huge: send the body in chunks, without announcing its length.
  bool chunked = false;
  // Called on the server's thread when a request for the path arrives, before it
  // is answered: lets a test act at that moment of a run (change files, ...).
  std::function<void()> onRequest;

  static Reply Text(std::string body, int status = 200);
  static Reply Redirect(std::string location, int status = 302);
  static Reply CutOff(std::string body);
  static Reply Stall(std::chrono::milliseconds time);
  static Reply Huge(std::size_t bytes);
  static Reply Trickle(std::string body, std::chrono::milliseconds every);
};

// An HTTP server on 127.0.0.1 and a free port, inside the test process. It
// answers GET on the paths it was given (404 "Not Found" otherwise) and
// records every request. Answers `threads` requests at once.
class TestHttpServer {
 public:
  explicit TestHttpServer(int threads = 32);
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  int Port() const;
  // "http://127.0.0.1:<port>" followed by pathAndQuery.
  std::string Url(std::string_view pathAndQuery = "") const;
  // Sets the answer for an exact path (the query is not part of the match).
  void Set(const std::string& path, Reply reply);
  // Every request so far, in the order they arrived.
  std::vector<RecordedRequest> Requests() const;
  // How many body bytes the Huge answers handed to their connections so far:
  // shows whether a client read such an answer to its end or gave up early.
  std::size_t HugeBytesSent() const;
  void ClearRequests();
  // The most requests held at once so far, of all or of those sent to one
  // Host ("name:port"). A request is held from its arrival until its answer
  // is ready: a Normal answer's delay included, the body of the others not.
  int PeakHeld() const;
  int PeakHeld(const std::string& host) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tesselwick::test

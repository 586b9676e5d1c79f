#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tesselwick::site {

// The front of the site's HTTP server: it accepts connections and waits for
// their requests, all on one thread, and hands only requests that have
// arrived whole to a pool of answering threads. So a connection that sends
// nothing, or trickles its request in, costs a socket and a little memory,
// never an answering thread, and a new client is answered at once however
// many such connections are open.
//
// It is fair among client addresses: at most `perClient` connections of one
// address are read and answered at once, up to `waitingPerClient` more wait
// their turn unread, and any further one is answered 503 and closed.

using FrontClock = std::chrono::steady_clock;

struct FrontLimits {
  std::size_t maxRequestBytes = 64 * 1024;
  std::chrono::milliseconds requestTimeout{5000};  // from a request's first byte
  std::chrono::milliseconds idleTimeout{2000};     // while no request is coming
  int perClient = 8;
  int waitingPerClient = 16;
  int threads = 32;
};

// A connection while one of its requests is being answered.
struct ClientConnection {
  int fd = -1;                   // non-blocking
  std::string client;            // the client's address, without its port
  std::string received;          // bytes not answered yet, beginning with the request
  std::size_t requestBytes = 0;  // how many of them the request takes, head and body
  bool ended = false;            // the client will send nothing more
  int answered = 0;              // requests answered on it before this one
};

// Answers the request at the start of `connection.received` (its first
// `requestBytes`, all there and checked by CheckRequest), sends the answer,
// and removes the request's bytes from `received`. Returns true to keep the
// connection for another request. Runs on an answering thread.
using RequestHandler = std::function<bool(ClientConnection&)>;

class HttpFront {
 public:
  HttpFront(FrontLimits limits, RequestHandler handler);
  ~HttpFront();  // stops
  HttpFront(const HttpFront&) = delete;
  HttpFront& operator=(const HttpFront&) = delete;

  // Binds host:port (0: a free port) and listens. False with `error` set to
  // the reason ("address already in use") when it cannot.
  bool Listen(const std::string& host, int port, std::string& error);
  int Port() const;
  // Starts taking connections, after Listen. False with `error` set when the
  // system would not give what that needs.
  bool Start(std::string& error);
  // Stops taking connections, closes those waiting for a request and waits
  // for the answers in progress; requests not begun are not answered.
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Where the first request in `bytes` stands: still coming, whole (its head
// and the body that its head announces, `size` bytes in all), or to be refused
// with `status`. Every line of the head that has come is checked at once, so a
// bad request is refused on its first bad line:
//   400: a request line other than "METHOD TARGET HTTP/1.0" or "... HTTP/1.1"
//        (single spaces, a token method, a target of visible characters); a
//        header line other than "name: value" with a token name; a line not
//        ended by CR LF or a CR within one; a Transfer-Encoding header; a
//        second Content-Length or one that is not digits alone;
//   405: a method other than GET and HEAD;
//   414: no line end within `maxBytes`; 431: no end of the head within it;
//   413: the body would not fit in it.
struct RequestCheck {
  enum Kind { kIncomplete, kComplete, kRefused };
  Kind kind = kIncomplete;
  int status = 0;
  std::size_t size = 0;
};
RequestCheck CheckRequest(std::string_view bytes, std::size_t maxBytes);

// The whole answer that refuses a request with `status` and ends the connection.
std::string RefusalAnswer(int status);

}  // namespace tesselwick::site

#include "guarded_http_server.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace tesselwick::site {
namespace {

// A server has at least this many answering threads.
constexpr int kMinimumThreads = 32;
// An answer that the client does not take for this long is given up.
constexpr std::chrono::milliseconds kWriteTimeout{10000};

// The request target with anything unprintable shown as "?", so that a log
// line stays one line whatever a client sends.
std::string Printable(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) c = '?';
  }
  return out;
}

using Clock = FrontClock;

// Milliseconds left until `deadline`, none when it has passed.
int MsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, 60 * 60 * 1000));
}

// True when `sock` is ready for `events` within `ms`.
bool WaitFor(int sock, short events, int ms) {
  pollfd p{sock, events, 0};
  int rc = 0;
  do {
    rc = ::poll(&p, 1, ms);
  } while (rc < 0 && errno == EINTR);
  return rc > 0 && (events != POLLOUT || (p.revents & (POLLERR | POLLHUP)) == 0);
}

// A connection as cpp-httplib reads a request from it and writes the answer
// to it. The request has come whole into the connection's bytes; should more
// be wanted (a body longer than it said), it is read within the request's
// limits: all of it within `maxBytes` and by the request's deadline.
class ConnectionStream : public httplib::Stream {
 public:
  ConnectionStream(ClientConnection& connection, std::size_t maxBytes)
      : c_(connection), maxBytes_(maxBytes) {}

  // Bytes of the connection that this request took.
  std::size_t Consumed() const { return pos_; }

  // When the request broke a limit and nothing of an answer went out yet,
  // sends the refusal (and nothing more for this request). True when it did.
  bool SendRefusal() {
    if (refused_ || wrote_) return refused_;
    const int status = timedOut_ ? 408 : overBudget_ ? 413 : 0;
    if (status == 0) return false;
    refused_ = wrote_ = true;
    const std::string answer = RefusalAnswer(status);
    if (is_writable()) ::send(c_.fd, answer.data(), answer.size(), MSG_NOSIGNAL);
    return true;
  }
  bool Refused() const { return refused_; }

  bool is_readable() const override {
    return pos_ < c_.received.size() ||
           (!c_.ended && WaitFor(c_.fd, POLLIN, MsUntil(c_.requestDeadline)));
  }

  bool is_writable() const override {
    return WaitFor(c_.fd, POLLOUT, static_cast<int>(kWriteTimeout.count()));
  }

  ssize_t read(char* ptr, size_t size) override {
    if (pos_ == c_.received.size()) {
      if (c_.ended) return 0;
      if (pos_ >= maxBytes_) {
        overBudget_ = true;
        return -1;
      }
      char buffer[4096];
      ssize_t n = 0;
      for (;;) {
        if (!WaitFor(c_.fd, POLLIN, MsUntil(c_.requestDeadline))) {
          timedOut_ = true;
          return -1;
        }
        n = ::recv(c_.fd, buffer, std::min(sizeof buffer, maxBytes_ - pos_), 0);
        if (n > 0) break;
        if (n == 0) {
          c_.ended = true;
          return 0;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
      }
      c_.received.append(buffer, static_cast<std::size_t>(n));
    }
    const std::size_t count = std::min(size, c_.received.size() - pos_);
    std::memcpy(ptr, c_.received.data() + pos_, count);
    pos_ += count;
    return static_cast<ssize_t>(count);
  }

  ssize_t write(const char* ptr, size_t size) override {
    // cpp-httplib answers a request it could not read with a plain 400; one
    // that broke a limit gets the refusal that says which, and the connection ends.
    if (SendRefusal()) return static_cast<ssize_t>(size);
    for (;;) {
      if (!is_writable()) return -1;
      const ssize_t n = ::send(c_.fd, ptr, size, MSG_NOSIGNAL);
      if (n >= 0) {
        wrote_ = true;
        return n;
      }
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
    }
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    Address(::getpeername, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    Address(::getsockname, ip, port);
  }
  socket_t socket() const override { return c_.fd; }

 private:
  template <typename Lookup>
  void Address(Lookup lookup, std::string& ip, int& port) const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (lookup(c_.fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
      const auto& in = reinterpret_cast<const sockaddr_in&>(address);
      ::inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
      port = ntohs(in.sin_port);
    } else if (address.ss_family == AF_INET6) {
      const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
      ::inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text);
      port = ntohs(in6.sin6_port);
    }
    ip = text;
  }

  ClientConnection& c_;
  std::size_t maxBytes_;
  std::size_t pos_ = 0;
  bool overBudget_ = false;
  bool timedOut_ = false;
  bool wrote_ = false;
  bool refused_ = false;
};

// Counts a request as in flight while its handler runs.
class InFlightGuard {
 public:
  explicit InFlightGuard(RequestCounts& counts) : counts_(counts) {
    const int now = ++counts_.inFlight;
    int seen = counts_.peak.load();
    while (now > seen && !counts_.peak.compare_exchange_weak(seen, now)) {
    }
  }
  ~InFlightGuard() { --counts_.inFlight; }
  InFlightGuard(const InFlightGuard&) = delete;
  InFlightGuard& operator=(const InFlightGuard&) = delete;

 private:
  RequestCounts& counts_;
};

}  // namespace

std::string LimitsProblem(const FrontLimits& limits) {
  if (limits.maxRequestBytes == 0 || limits.requestTimeout.count() <= 0 ||
      limits.idleTimeout.count() <= 0)
    return "a request needs room of at least one byte and time-outs of 1 ms or more";
  if (limits.perClient < 1 || limits.waitingPerClient < 0)
    return "a client needs at least one connection, and none or more waiting";
  return {};
}

// cpp-httplib's server as the router: it never listens itself, but answers
// the requests that the front hands it.
class GuardedHttpServer::Router : public httplib::Server {
 public:
  Router(std::size_t maxRequestBytes, Log log, RequestCounts& counts)
      : maxRequestBytes_(maxRequestBytes), log_(std::move(log)) {
    // A body is never kept: the routes are all plain GETs.
    set_payload_max_length(maxRequestBytes);
    set_logger([this, &counts](const httplib::Request& req, const httplib::Response& res) {
      ++counts.answered;
      if (!log_) return;
      const std::string line =
          req.method + " " + Printable(req.target) + " " + std::to_string(res.status);
      std::lock_guard<std::mutex> lock(logMutex_);
      log_(line);
    });
  }

  // Answers the request at the start of the connection's bytes; true to keep
  // the connection for another.
  bool Answer(ClientConnection& connection) {
    ConnectionStream stream(connection, maxRequestBytes_);
    const bool last = static_cast<std::size_t>(connection.answered) + 1 >= keep_alive_max_count_;
    bool closed = false;
    const bool ok = process_request(stream, last, closed, nullptr);
    // A request that cpp-httplib gave up on without a word is refused here.
    if (!ok) stream.SendRefusal();
    connection.received.erase(0, stream.Consumed());
    return ok && !closed && !last && !stream.Refused();
  }

 private:
  std::size_t maxRequestBytes_;
  Log log_;
  std::mutex logMutex_;
};

GuardedHttpServer::GuardedHttpServer(FrontLimits limits, Log log, RequestCounts& counts)
    : counts_(counts),
      router_(std::make_unique<Router>(limits.maxRequestBytes, std::move(log), counts)) {
  limits.threads = std::max(limits.threads, kMinimumThreads);
  front_ = std::make_unique<HttpFront>(
      limits, [router = router_.get()](ClientConnection& c) { return router->Answer(c); });
}

GuardedHttpServer::~GuardedHttpServer() { Stop(); }

void GuardedHttpServer::Get(const std::string& pattern, httplib::Server::Handler handler) {
  router_->Get(pattern, [this, handler = std::move(handler)](const httplib::Request& req,
                                                             httplib::Response& res) {
    InFlightGuard guard(counts_);
    handler(req, res);
  });
}

void GuardedHttpServer::SetErrorPage(ErrorPage page) {
  router_->set_error_handler(httplib::Server::HandlerWithResponse(
      [page = std::move(page)](const httplib::Request&, httplib::Response& res) {
        // Only answers without a page of their own get this one.
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        res.set_content(page(res.status), "text/html; charset=utf-8");
        return httplib::Server::HandlerResponse::Handled;
      }));
}

bool GuardedHttpServer::Listen(const std::string& host, int port, std::string& error) {
  return front_->Listen(host, port, error);
}

int GuardedHttpServer::Port() const { return front_->Port(); }

bool GuardedHttpServer::Start(std::string& error) { return front_->Start(error); }

void GuardedHttpServer::Stop() { front_->Stop(); }

}  // namespace tesselwick::site

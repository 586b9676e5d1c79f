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

// True when `sock` takes more bytes within `ms`.
bool Writable(int sock, int ms) {
  pollfd p{sock, POLLOUT, 0};
  int rc = 0;
  do {
    rc = ::poll(&p, 1, ms);
  } while (rc < 0 && errno == EINTR);
  return rc > 0 && (p.revents & (POLLERR | POLLHUP)) == 0;
}

// A request as cpp-httplib reads it and the connection it writes the answer
// to. The front has taken the request whole and checked its head, so the
// stream holds exactly its bytes: cpp-httplib never reads past the request's
// end, whatever it makes of the request.
class ConnectionStream : public httplib::Stream {
 public:
  explicit ConnectionStream(ClientConnection& connection)
      : c_(connection),
        request_(std::string_view(connection.received).substr(0, connection.requestBytes)) {}

  bool Wrote() const { return wrote_; }

  bool is_readable() const override { return pos_ < request_.size(); }

  bool is_writable() const override {
    return Writable(c_.fd, static_cast<int>(kWriteTimeout.count()));
  }

  ssize_t read(char* ptr, size_t size) override {
    const std::size_t count = std::min(size, request_.size() - pos_);
    std::memcpy(ptr, request_.data() + pos_, count);
    pos_ += count;
    return static_cast<ssize_t>(count);
  }

  ssize_t write(const char* ptr, size_t size) override {
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
  std::string_view request_;
  std::size_t pos_ = 0;
  bool wrote_ = false;
};

// What became of the request being answered on this thread: its status, and
// whether a route answered it (rather than cpp-httplib itself, refusing it).
struct AnswerSeen {
  int status = 0;
  bool routed = false;
};
thread_local AnswerSeen answerSeen;

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
  Router(std::size_t maxRequestBytes, Log log, RequestCounts& counts) : log_(std::move(log)) {
    // A body is never kept: the routes are all plain GETs.
    set_payload_max_length(maxRequestBytes);
    set_logger([this, &counts](const httplib::Request& req, const httplib::Response& res) {
      ++counts.answered;
      answerSeen.status = res.status;
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
    ConnectionStream stream(connection);
    const bool last = static_cast<std::size_t>(connection.answered) + 1 >= keep_alive_max_count_;
    bool closed = false;
    answerSeen = {};
    const bool ok = process_request(stream, last, closed, nullptr);
    // A request that cpp-httplib gave up on without a word is a bad one.
    if (!ok && !stream.Wrote()) {
      const std::string answer = RefusalAnswer(400);
      if (stream.is_writable()) ::send(connection.fd, answer.data(), answer.size(), MSG_NOSIGNAL);
    }
    // The request ends where the front found its end: a body that
    // cpp-httplib left unread (it reads none of a GET) goes with it. The
    // connection is kept only when a route answered (or there was none), so
    // cpp-httplib read the whole head; after a request that it refused
    // itself, it may have stopped anywhere in it.
    const bool understood = answerSeen.routed || answerSeen.status == 404;
    connection.received.erase(0, connection.requestBytes);
    return ok && understood && !closed && !last;
  }

 private:
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
    answerSeen.routed = true;
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

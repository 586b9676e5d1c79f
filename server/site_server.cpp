#include "site_server.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "demo_sites.h"
#include "published_data.h"

namespace tesselwick::site {
namespace {

constexpr int kMinimumThreads = 32;

// The reason the system gives for not being able to bind host:port, found by
// trying it once more with a socket of our own (cpp-httplib only says "no").
std::string BindFailureReason(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  if (rc != 0) return std::string("cannot resolve the host name (") + gai_strerror(rc) + ")";
  std::string reason = "the address cannot be bound";
  for (addrinfo* ai = found; ai != nullptr; ai = ai->ai_next) {
    const int sock = ::socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
    if (sock < 0) {
      reason = std::strerror(errno);
      continue;
    }
    const int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(sock, ai->ai_addr, ai->ai_addrlen) != 0) {
      reason = std::strerror(errno);
    } else if (::listen(sock, 1) != 0) {
      reason = std::strerror(errno);
    }
    ::close(sock);
  }
  freeaddrinfo(found);
  if (!reason.empty()) {
    reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
  }
  return reason;
}

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

const char* StatusText(int status) {
  switch (status) {
    case 400:
      return "Bad Request";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 500:
      return "Internal Server Error";
    default:
      return "Error";
  }
}

bool ReadFileBytes(const std::filesystem::path& file, std::string& bytes) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// The site number in a demo path's first capture, or 0 when it is not one of
// the `count` sites.
int DemoSiteNumber(const httplib::Request& req, int count) {
  if (req.matches.size() < 2) return 0;
  const std::string digits = req.matches[1].str();
  int number = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (ec != std::errc{} || end != digits.data() + digits.size()) return 0;
  return number >= 1 && number <= count ? number : 0;
}

using Clock = std::chrono::steady_clock;

// Milliseconds to wait for, at most `limit` and never past `deadline`.
int WaitMs(std::chrono::milliseconds limit, Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<long long>(0, std::min(limit, left).count()));
}

// True when `sock` has something to read (or was hung up) within `ms`.
bool WaitReadable(int sock, int ms) {
  pollfd p{sock, POLLIN, 0};
  int rc = 0;
  do {
    rc = ::poll(&p, 1, ms);
  } while (rc < 0 && errno == EINTR);
  return rc > 0;
}

// One connection's socket as cpp-httplib reads requests from it and writes
// answers to it, with limits that cpp-httplib does not have: each request may
// bring at most `maxBytes` bytes and must have come whole by its deadline.
// cpp-httplib would otherwise keep a request line or a body of any length in
// memory, and wait for a request trickled in one byte at a time for as long
// as the bytes keep coming.
class GuardedSocketStream : public httplib::Stream {
 public:
  GuardedSocketStream(int sock, std::chrono::milliseconds readTimeout,
                      std::chrono::milliseconds writeTimeout)
      : sock_(sock), readTimeout_(readTimeout), writeTimeout_(writeTimeout) {}

  // Waits for the next request on the connection, at most `idle`.
  bool WaitForRequest(std::chrono::milliseconds idle) const {
    return pos_ < end_ || WaitReadable(sock_, static_cast<int>(idle.count()));
  }

  // The limits of the request about to be read.
  void StartRequest(std::size_t maxBytes, Clock::time_point deadline) {
    budget_ = maxBytes;
    deadline_ = deadline;
    overBudget_ = timedOut_ = lineEnded_ = headEnded_ = wrote_ = refused_ = false;
    tail_ = 0;
  }

  // When the request broke a limit and nothing of an answer went out yet,
  // sends the refusal (and nothing more for this request). True when it did.
  bool SendRefusal() {
    if (refused_ || wrote_) return refused_;
    int status = 0;
    if (timedOut_) {
      status = 408;
    } else if (overBudget_) {
      status = !lineEnded_ ? 414 : headEnded_ ? 413 : 431;
    }
    if (status == 0) return false;
    const char* reason = status == 408   ? "Request Timeout"
                         : status == 413 ? "Payload Too Large"
                         : status == 414 ? "URI Too Long"
                                         : "Request Header Fields Too Large";
    const std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + reason +
                               "\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
    refused_ = wrote_ = true;
    if (is_writable()) ::send(sock_, answer.data(), answer.size(), MSG_NOSIGNAL);
    return true;
  }
  bool Refused() const { return refused_; }

  bool is_readable() const override {
    return pos_ < end_ || WaitReadable(sock_, WaitMs(readTimeout_, deadline_));
  }

  bool is_writable() const override {
    pollfd p{sock_, POLLOUT, 0};
    int rc = 0;
    do {
      rc = ::poll(&p, 1, static_cast<int>(writeTimeout_.count()));
    } while (rc < 0 && errno == EINTR);
    return rc > 0 && (p.revents & (POLLERR | POLLHUP)) == 0;
  }

  ssize_t read(char* ptr, size_t size) override {
    if (pos_ == end_) {
      if (budget_ == 0) {
        overBudget_ = true;
        return -1;
      }
      if (Clock::now() >= deadline_ || !WaitReadable(sock_, WaitMs(readTimeout_, deadline_))) {
        timedOut_ = true;
        return -1;
      }
      ssize_t n = 0;
      do {
        n = ::recv(sock_, buffer_, std::min(sizeof buffer_, budget_), 0);
      } while (n < 0 && errno == EINTR);
      if (n <= 0) return n;
      budget_ -= static_cast<std::size_t>(n);
      pos_ = 0;
      end_ = static_cast<std::size_t>(n);
    }
    const std::size_t count = std::min(size, end_ - pos_);
    for (std::size_t i = 0; i < count; ++i) Note(buffer_[pos_ + i]);
    std::memcpy(ptr, buffer_ + pos_, count);
    pos_ += count;
    return static_cast<ssize_t>(count);
  }

  ssize_t write(const char* ptr, size_t size) override {
    // cpp-httplib answers a request it could not read with a plain 400; one
    // that broke a limit gets the refusal that says which, and the connection ends.
    if (SendRefusal()) return static_cast<ssize_t>(size);
    if (!is_writable()) return -1;
    wrote_ = true;
    ssize_t n = 0;
    do {
      n = ::send(sock_, ptr, size, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n;
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    Address(::getpeername, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    Address(::getsockname, ip, port);
  }
  socket_t socket() const override { return sock_; }

 private:
  // Follows the request as it is read: has its first line, its whole head ended?
  void Note(char c) {
    tail_ = (tail_ << 8) | static_cast<unsigned char>(c);
    if (c == '\n') lineEnded_ = true;
    if (tail_ == 0x0D0A0D0Au) headEnded_ = true;
  }

  template <typename Lookup>
  void Address(Lookup lookup, std::string& ip, int& port) const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (lookup(sock_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
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

  int sock_;
  std::chrono::milliseconds readTimeout_;
  std::chrono::milliseconds writeTimeout_;
  char buffer_[4096];
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::size_t budget_ = 0;
  Clock::time_point deadline_{};
  std::uint32_t tail_ = 0;
  bool overBudget_ = false;
  bool timedOut_ = false;
  bool lineEnded_ = false;
  bool headEnded_ = false;
  bool wrote_ = false;
  bool refused_ = false;
};

// cpp-httplib's server, reading every connection through a GuardedSocketStream.
class GuardedServer : public httplib::Server {
 public:
  GuardedServer(std::size_t maxRequestBytes, std::chrono::milliseconds requestTimeout)
      : maxRequestBytes_(maxRequestBytes), requestTimeout_(requestTimeout) {}

 private:
  // Serves one connection: up to the keep-alive count of requests, each
  // awaited for the keep-alive time, then closes it.
  bool process_and_close_socket(socket_t sock) override {
    using std::chrono::milliseconds;
    using std::chrono::seconds;
    GuardedSocketStream stream(
        sock,
        std::chrono::duration_cast<milliseconds>(seconds(read_timeout_sec_)) +
            std::chrono::duration_cast<milliseconds>(std::chrono::microseconds(read_timeout_usec_)),
        std::chrono::duration_cast<milliseconds>(seconds(write_timeout_sec_)) +
            std::chrono::duration_cast<milliseconds>(
                std::chrono::microseconds(write_timeout_usec_)));
    bool ok = false;
    for (std::size_t left = keep_alive_max_count_; left > 0 && svr_sock_ != INVALID_SOCKET;
         --left) {
      if (!stream.WaitForRequest(seconds(keep_alive_timeout_sec_))) break;
      stream.StartRequest(maxRequestBytes_, Clock::now() + requestTimeout_);
      bool closed = false;
      ok = process_request(stream, left == 1, closed, nullptr);
      // A request that cpp-httplib gave up on without a word is refused here.
      if (!ok) stream.SendRefusal();
      if (!ok || closed || stream.Refused()) break;
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return ok;
  }

  std::size_t maxRequestBytes_;
  std::chrono::milliseconds requestTimeout_;
};

}  // namespace

struct SiteServer::Impl {
  SiteConfig config;
  std::string error;
  PublishedData data;
  std::string manual;
  std::string siteList;  // what the site-file download answers
  std::string padXml;    // demo mode's sample PAD file
  int port = 0;

  std::unique_ptr<httplib::Server> server;
  std::thread listener;
  std::atomic<bool> listenEnded{false};
  std::mutex logMutex;

  std::atomic<int> inFlight{0};
  std::atomic<int> peak{0};
  std::atomic<long long> answered{0};

  // Counts a request as in flight while its handler runs.
  class InFlightGuard {
   public:
    explicit InFlightGuard(Impl& impl) : impl_(impl) {
      const int now = ++impl_.inFlight;
      int seen = impl_.peak.load();
      while (now > seen && !impl_.peak.compare_exchange_weak(seen, now)) {
      }
    }
    ~InFlightGuard() { --impl_.inFlight; }
    InFlightGuard(const InFlightGuard&) = delete;
    InFlightGuard& operator=(const InFlightGuard&) = delete;

   private:
    Impl& impl_;
  };

  std::string BaseUrl() const {
    std::string host = config.host;
    if (host.empty() || host == "0.0.0.0" || host == "::") host = "127.0.0.1";
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    return "http://" + host + ":" + std::to_string(port);
  }

  void Route(const std::string& pattern, httplib::Server::Handler handler) {
    server->Get(pattern, [this, handler = std::move(handler)](const httplib::Request& req,
                                                              httplib::Response& res) {
      InFlightGuard guard(*this);
      handler(req, res);
    });
  }

  void AddRoutes();
  std::string HomePage() const;
};

void SiteServer::Impl::AddRoutes() {
  Route("/", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(HomePage(), "text/html; charset=utf-8");
  });
  Route("/manual.htm", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(manual, "text/html; charset=utf-8");
  });
  // The update server's two requests. Their "version" value (the installed
  // site-list version) does not change the answer: everyone gets the current
  // versions and the current site list.
  Route("/cgi-bin/versioncheck.pl", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(FormatVersionAnswer(data.version, data.scriptVersion), "text/plain");
  });
  Route("/cgi-bin/versionupdate.pl", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(siteList, "text/plain");
  });
  if (!config.demo) return;

  Route("/demo/pad.xml", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(padXml, "text/xml");
  });
  Route(R"(/demo/sites/(\d+)/)", [this](const httplib::Request& req, httplib::Response& res) {
    const int number = DemoSiteNumber(req, config.demoSites);
    if (number == 0) {
      res.status = 404;
      return;
    }
    res.set_content(DemoSiteHomePage(number), "text/html; charset=utf-8");
  });
  Route(R"(/demo/sites/(\d+)/add\.htm)",
        [this](const httplib::Request& req, httplib::Response& res) {
          const int number = DemoSiteNumber(req, config.demoSites);
          if (number == 0) {
            res.status = 404;
            return;
          }
          res.set_content(DemoSiteSubmitForm(number), "text/html; charset=utf-8");
        });
  Route(R"(/demo/sites/(\d+)/submit)", [this](const httplib::Request& req, httplib::Response& res) {
    const int number = DemoSiteNumber(req, config.demoSites);
    if (number == 0) {
      res.status = 404;
      return;
    }
    // A download site takes its time to look at a submission.
    if (config.demoDelay.count() > 0) std::this_thread::sleep_for(config.demoDelay);
    const DemoReply reply =
        DemoSubmissionReply(number, req.get_param_value("pad"), req.get_param_value("cat"));
    res.status = reply.status;
    res.set_content(reply.body, "text/html; charset=utf-8");
  });
}

std::string SiteServer::Impl::HomePage() const {
  std::string body =
      "<p><b>TesselWick</b> submits your PAD file to download sites: give it the address of "
      "your PAD file, press Submit, and it notifies every site of its site list and writes a "
      "report of what each site answered.</p>"
      "<ul><li><a href=\"/manual.htm\">Read the manual</a></li></ul>"
      "<p>Current program version: " +
      HtmlEscape(data.version) + "<br>Current site list: " + HtmlEscape(data.scriptVersion) +
      "</p>";
  if (config.demo) {
    body += "<h3>Demo</h3><p>Sample PAD file: <a href=\"/demo/pad.xml\">" +
            HtmlEscape(BaseUrl() + "/demo/pad.xml") + "</a></p><p>Sample download sites:</p><ol>";
    for (int n = 1; n <= config.demoSites; ++n) {
      body += "<li><a href=\"/demo/sites/" + std::to_string(n) + "/\">" +
              HtmlEscape(DemoSiteTitle(n)) + "</a></li>";
    }
    body += "</ol>";
  }
  return HtmlPage("TesselWick", body);
}

SiteServer::SiteServer(SiteConfig config) : impl_(std::make_unique<Impl>()) {
  impl_->config = std::move(config);
}

SiteServer::~SiteServer() { Stop(); }

bool SiteServer::Start() {
  Impl& m = *impl_;
  if (m.server) {
    m.error = "already started";
    return false;
  }
  m.error.clear();
  const SiteConfig& c = m.config;
  if (c.port < 0 || c.port > 65535) {
    m.error = "port " + std::to_string(c.port) + " is not between 0 and 65535";
    return false;
  }
  if (c.demo && (c.demoSites < 1 || c.demoDelay.count() < 0)) {
    m.error = "the demo needs at least one site and a delay of 0 ms or more";
    return false;
  }
  std::optional<PublishedData> data = LoadPublishedData(c.dataDir, m.error);
  if (!data) return false;
  m.data = std::move(*data);
  if (c.manualFile.empty() || !ReadFileBytes(c.manualFile, m.manual)) {
    m.error = "cannot read the manual " +
              (c.manualFile.empty() ? std::string("(none given)") : c.manualFile.string());
    return false;
  }

  if (c.maxRequestBytes == 0 || c.requestTimeout.count() <= 0) {
    m.error = "a request needs room of at least one byte and a time-out of 1 ms or more";
    return false;
  }
  m.server = std::make_unique<GuardedServer>(c.maxRequestBytes, c.requestTimeout);
  httplib::Server& s = *m.server;
  const auto threads = static_cast<std::size_t>(std::max(c.threads, kMinimumThreads));
  s.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  // SO_REUSEADDR only: cpp-httplib's default adds SO_REUSEPORT, which would let
  // a second server share the port silently instead of failing to start.
  // The socket seen last is the one that gets bound: cpp-httplib stops at the
  // first address that works.
  auto listening = std::make_shared<std::atomic<int>>(-1);
  s.set_socket_options([listening](socket_t sock) {
    const int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    *listening = sock;
  });
  s.set_keep_alive_timeout(2);
  s.set_read_timeout(10, 0);
  s.set_write_timeout(10, 0);
  // A body is never kept: the site's pages are all plain GETs.
  s.set_payload_max_length(c.maxRequestBytes);
  s.set_error_handler(
      httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
        // Only answers without a page of their own get this one.
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        const std::string title = std::to_string(res.status) + " " + StatusText(res.status);
        res.set_content(HtmlPage(title,
                                 "<p>There is no such page on this site.</p>"
                                 "<p><a href=\"/\">Home</a> &middot; "
                                 "<a href=\"/manual.htm\">Manual</a></p>"),
                        "text/html; charset=utf-8");
        return httplib::Server::HandlerResponse::Handled;
      }));
  s.set_logger([&m](const httplib::Request& req, const httplib::Response& res) {
    ++m.answered;
    if (!m.config.log) return;
    const std::string line =
        req.method + " " + Printable(req.target) + " " + std::to_string(res.status);
    std::lock_guard<std::mutex> lock(m.logMutex);
    m.config.log(line);
  });

  if (c.port == 0) {
    m.port = s.bind_to_any_port(c.host);
  } else {
    m.port = s.bind_to_port(c.host, c.port) ? c.port : -1;
  }
  if (m.port <= 0) {
    m.error = "cannot listen on " + c.host + ":" + std::to_string(c.port) + ": " +
              BindFailureReason(c.host, c.port);
    m.server.reset();
    m.port = 0;
    return false;
  }

  // cpp-httplib listens with a backlog of 5: a burst of new connections beyond
  // that waits for the client's SYN to be sent again, a second later. Listening
  // again on the bound socket raises the backlog.
  if (*listening >= 0) ::listen(*listening, SOMAXCONN);

  m.siteList =
      c.demo ? DemoSiteList(m.BaseUrl(), c.demoSites, m.data.scriptVersion) : m.data.siteList;
  m.padXml = DemoPadXml(m.BaseUrl());
  m.AddRoutes();

  m.listenEnded = false;
  m.listener = std::thread([&m] {
    m.server->listen_after_bind();
    m.listenEnded = true;
  });
  // stop() only takes effect once the listening loop runs, so wait for it.
  while (!m.server->is_running() && !m.listenEnded) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void SiteServer::Stop() {
  Impl& m = *impl_;
  if (!m.server) return;
  m.server->stop();
  if (m.listener.joinable()) m.listener.join();
  m.server.reset();
}

const std::string& SiteServer::Error() const { return impl_->error; }
int SiteServer::Port() const { return impl_->port; }
std::string SiteServer::BaseUrl() const { return impl_->BaseUrl(); }
std::string SiteServer::DemoPadUrl() const { return impl_->BaseUrl() + "/demo/pad.xml"; }
std::string SiteServer::PublishedSiteList() const { return impl_->siteList; }
std::string SiteServer::VersionAnswer() const {
  return FormatVersionAnswer(impl_->data.version, impl_->data.scriptVersion);
}
int SiteServer::InFlight() const { return impl_->inFlight.load(); }
int SiteServer::PeakInFlight() const { return impl_->peak.load(); }
long long SiteServer::RequestsAnswered() const { return impl_->answered.load(); }
void SiteServer::ResetPeak() { impl_->peak = impl_->inFlight.load(); }

std::filesystem::path SourceDataDir() {
  return std::filesystem::path(TESSELWICK_SOURCE_DIR) / "server" / "data";
}
std::filesystem::path SourceManualFile() {
  return std::filesystem::path(TESSELWICK_SOURCE_DIR) / "docs" / "manual.htm";
}

}  // namespace tesselwick::site

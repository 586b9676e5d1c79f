#include "site_server.h"

#include <arpa/inet.h>
#include <httplib.h>
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
#include "http_front.h"
#include "published_data.h"

namespace tesselwick::site {
namespace {

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

// cpp-httplib's server as the site's router: it never listens itself, but
// answers the requests that the front hands it.
class SiteHttp : public httplib::Server {
 public:
  explicit SiteHttp(std::size_t maxRequestBytes) : maxRequestBytes_(maxRequestBytes) {}

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

  std::unique_ptr<SiteHttp> server;
  std::unique_ptr<HttpFront> front;
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
  std::string demoPart;
  if (config.demo) {
    demoPart = "<h3>Demo</h3><p>Sample PAD file: <a href=\"/demo/pad.xml\">" +
               HtmlEscape(BaseUrl() + "/demo/pad.xml") +
               "</a></p><p>Sample download sites:</p><ol>";
    for (int n = 1; n <= config.demoSites; ++n) {
      demoPart += "<li><a href=\"/demo/sites/" + std::to_string(n) + "/\">" +
                  HtmlEscape(DemoSiteTitle(n)) + "</a></li>";
    }
    demoPart += "</ol>";
  }
  return SiteHomePage(data, demoPart);
}

std::string SiteHomePage(const PublishedData& data, std::string_view more) {
  std::string body =
      "<p><b>TesselWick</b> submits your PAD file to download sites: give it the address of "
      "your PAD file, press Submit, and it notifies every site of its site list and writes a "
      "report of what each site answered.</p>"
      "<ul><li><a href=\"/manual.htm\">Read the manual</a></li></ul>"
      "<p>Current program version: " +
      HtmlEscape(data.version) + "<br>Current site list: " + HtmlEscape(data.scriptVersion) +
      "</p>";
  body += more;
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

  if (c.maxRequestBytes == 0 || c.requestTimeout.count() <= 0 || c.idleTimeout.count() <= 0) {
    m.error = "a request needs room of at least one byte and time-outs of 1 ms or more";
    return false;
  }
  if (c.maxConnectionsPerClient < 1 || c.maxWaitingPerClient < 0) {
    m.error = "a client needs at least one connection, and none or more waiting";
    return false;
  }
  m.server = std::make_unique<SiteHttp>(c.maxRequestBytes);
  httplib::Server& s = *m.server;
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

  FrontLimits limits;
  limits.maxRequestBytes = c.maxRequestBytes;
  limits.requestTimeout = c.requestTimeout;
  limits.idleTimeout = c.idleTimeout;
  limits.perClient = c.maxConnectionsPerClient;
  limits.waitingPerClient = c.maxWaitingPerClient;
  limits.threads = std::max(c.threads, kMinimumThreads);
  m.front =
      std::make_unique<HttpFront>(limits, [server = m.server.get()](ClientConnection& connection) {
        return server->Answer(connection);
      });
  std::string reason;
  if (!m.front->Listen(c.host, c.port, reason)) {
    m.error = "cannot listen on " + c.host + ":" + std::to_string(c.port) + ": " + reason;
    m.front.reset();
    m.server.reset();
    return false;
  }
  m.port = m.front->Port();

  m.siteList =
      c.demo ? DemoSiteList(m.BaseUrl(), c.demoSites, m.data.scriptVersion) : m.data.siteList;
  m.padXml = DemoPadXml(m.BaseUrl());
  m.AddRoutes();
  if (!m.front->Start(reason)) {
    m.error = "cannot start answering on " + c.host + ":" + std::to_string(c.port) + ": " + reason;
    m.front.reset();
    m.server.reset();
    return false;
  }
  return true;
}

void SiteServer::Stop() {
  Impl& m = *impl_;
  if (!m.server) return;
  m.front->Stop();
  m.front.reset();
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

#include "site_server.h"

#include <httplib.h>
#include <netdb.h>
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

  m.server = std::make_unique<httplib::Server>();
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

#include "site_server.h"

#include <httplib.h>

#include <charconv>
#include <fstream>
#include <iterator>
#include <thread>

#include "demo_sites.h"
#include "guarded_http_server.h"
#include "published_data.h"

namespace tesselwick::site {
namespace {

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

  RequestCounts counts;
  std::unique_ptr<GuardedHttpServer> http;

  std::string BaseUrl() const {
    std::string host = config.host;
    if (host.empty() || host == "0.0.0.0" || host == "::") host = "127.0.0.1";
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    return "http://" + host + ":" + std::to_string(port);
  }

  void AddRoutes();
  std::string HomePage() const;
};

void SiteServer::Impl::AddRoutes() {
  http->Get("/", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(HomePage(), "text/html; charset=utf-8");
  });
  http->Get("/manual.htm", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(manual, "text/html; charset=utf-8");
  });
  // The update server's two requests. Their "version" value (the installed
  // site-list version) does not change the answer: everyone gets the current
  // versions and the current site list.
  http->Get("/cgi-bin/versioncheck.pl", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(FormatVersionAnswer(data.version, data.scriptVersion), "text/plain");
  });
  http->Get("/cgi-bin/versionupdate.pl", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(siteList, "text/plain");
  });
  if (!config.demo) return;

  http->Get("/demo/pad.xml", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(padXml, "text/xml");
  });
  http->Get(R"(/demo/sites/(\d+)/)", [this](const httplib::Request& req, httplib::Response& res) {
    const int number = DemoSiteNumber(req, config.demoSites);
    if (number == 0) {
      res.status = 404;
      return;
    }
    res.set_content(DemoSiteHomePage(number), "text/html; charset=utf-8");
  });
  http->Get(R"(/demo/sites/(\d+)/add\.htm)",
            [this](const httplib::Request& req, httplib::Response& res) {
              const int number = DemoSiteNumber(req, config.demoSites);
              if (number == 0) {
                res.status = 404;
                return;
              }
              res.set_content(DemoSiteSubmitForm(number), "text/html; charset=utf-8");
            });
  http->Get(
      R"(/demo/sites/(\d+)/submit)", [this](const httplib::Request& req, httplib::Response& res) {
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
  if (m.http) {
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

  FrontLimits limits;
  limits.maxRequestBytes = c.maxRequestBytes;
  limits.requestTimeout = c.requestTimeout;
  limits.idleTimeout = c.idleTimeout;
  limits.perClient = c.maxConnectionsPerClient;
  limits.waitingPerClient = c.maxWaitingPerClient;
  limits.threads = c.threads;
  m.error = LimitsProblem(limits);
  if (!m.error.empty()) return false;
  m.http = std::make_unique<GuardedHttpServer>(limits, c.log, m.counts);
  m.http->SetErrorPage([](int status) {
    return HtmlPage(std::to_string(status) + " " + StatusText(status),
                    "<p>There is no such page on this site.</p>"
                    "<p><a href=\"/\">Home</a> &middot; "
                    "<a href=\"/manual.htm\">Manual</a></p>");
  });

  std::string reason;
  if (!m.http->Listen(c.host, c.port, reason)) {
    m.error = "cannot listen on " + c.host + ":" + std::to_string(c.port) + ": " + reason;
    m.http.reset();
    return false;
  }
  m.port = m.http->Port();

  m.siteList =
      c.demo ? DemoSiteList(m.BaseUrl(), c.demoSites, m.data.scriptVersion) : m.data.siteList;
  m.padXml = DemoPadXml(m.BaseUrl());
  m.AddRoutes();
  if (!m.http->Start(reason)) {
    m.error = "cannot start answering on " + c.host + ":" + std::to_string(c.port) + ": " + reason;
    m.http.reset();
    return false;
  }
  return true;
}

void SiteServer::Stop() {
  Impl& m = *impl_;
  if (!m.http) return;
  m.http->Stop();
  m.http.reset();
}

const std::string& SiteServer::Error() const { return impl_->error; }
int SiteServer::Port() const { return impl_->port; }
std::string SiteServer::BaseUrl() const { return impl_->BaseUrl(); }
std::string SiteServer::DemoPadUrl() const { return impl_->BaseUrl() + "/demo/pad.xml"; }
std::string SiteServer::PublishedSiteList() const { return impl_->siteList; }
std::string SiteServer::VersionAnswer() const {
  return FormatVersionAnswer(impl_->data.version, impl_->data.scriptVersion);
}
int SiteServer::InFlight() const { return impl_->counts.inFlight.load(); }
int SiteServer::PeakInFlight() const { return impl_->counts.peak.load(); }
long long SiteServer::RequestsAnswered() const { return impl_->counts.answered.load(); }
void SiteServer::ResetPeak() { impl_->counts.peak = impl_->counts.inFlight.load(); }

std::filesystem::path SourceDataDir() {
  return std::filesystem::path(TESSELWICK_SOURCE_DIR) / "server" / "data";
}
std::filesystem::path SourceManualFile() {
  return std::filesystem::path(TESSELWICK_SOURCE_DIR) / "docs" / "manual.htm";
}

}  // namespace tesselwick::site

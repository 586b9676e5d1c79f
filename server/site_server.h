#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "published_data.h"

namespace tesselwick::site {

// How one tesselwick-site is set up.
struct SiteConfig {
  // Address to listen on. Port 0 takes a free port (see SiteServer::Port).
  std::string host = "127.0.0.1";
  int port = 8417;
  // Folder with the published data: pad.dat (served as it is stored) and
  // version.txt (its VERSION and SCRIPTVERSION lines answer the version check).
  std::filesystem::path dataDir;
  // The online manual served at /manual.htm.
  std::filesystem::path manualFile;
  // Demo mode: also serve a sample PAD file and `demoSites` sample download
  // sites, each answering its submissions after `demoDelay`; the published site
  // list then names those sites instead of the stored pad.dat.
  bool demo = false;
  int demoSites = 12;
  std::chrono::milliseconds demoDelay{150};
  // Threads answering requests: this many requests are answered at once.
  // They only ever get requests that have arrived whole: one thread waits for
  // the requests of all connections, so connections that send nothing or
  // trickle their requests in hold no answering thread.
  int threads = 32;
  // A request (request line, headers and a short body, which the site's pages
  // never use) must arrive whole within this many bytes and this time from its
  // first byte, or it is refused (414, 431, 413 or 408) and the connection
  // closed. So no client can make the server keep an endless line, a flood of
  // headers or a large body, nor keep a connection by trickling a request in.
  std::size_t maxRequestBytes = 64 * 1024;
  std::chrono::milliseconds requestTimeout{5000};
  // A connection on which no request is coming (a new one, or one kept alive
  // after an answer) is closed after this time.
  std::chrono::milliseconds idleTimeout{2000};
  // At most this many connections of one client address are read and answered
  // at once. Up to `maxWaitingPerClient` more wait their turn unread; any
  // further one is answered 503 and closed at once. The program itself sends
  // no more than 4 requests at once to one host. So a client with many connections
  // takes no more of the site than its share.
  int maxConnectionsPerClient = 8;
  int maxWaitingPerClient = 16;
  // Receives one line per answered request ("GET /manual.htm 200"); may be
  // called from several threads at once, never for two requests at the same
  // moment. Empty: no log.
  std::function<void(const std::string&)> log;
};

// The maker's web site: the update server's two requests, the manual, a home
// page and, in demo mode, a sample PAD file with sample download sites.
class SiteServer {
 public:
  explicit SiteServer(SiteConfig config);
  ~SiteServer();  // stops the server
  SiteServer(const SiteServer&) = delete;
  SiteServer& operator=(const SiteServer&) = delete;

  // Reads the published data and the manual, binds the address and starts
  // answering on background threads. False when any of that fails; Error()
  // then says what went wrong in one line, for example
  // "cannot listen on 127.0.0.1:8417: address already in use".
  bool Start();
  // Stops answering, closes every connection and waits for the requests in
  // progress to finish.
  void Stop();

  const std::string& Error() const;
  // The port listened on; useful after starting with port 0.
  int Port() const;
  // "http://127.0.0.1:8417": the address under which the server's own pages
  // are reached (a wildcard host is given as 127.0.0.1).
  std::string BaseUrl() const;
  // The demo mode's sample PAD file: BaseUrl() + "/demo/pad.xml".
  std::string DemoPadUrl() const;
  // The site list that the site-file download hands out: the stored pad.dat,
  // or in demo mode the list of the demo sites.
  std::string PublishedSiteList() const;
  // The version check's answer: "VERSION=...\r\nSCRIPTVERSION=...\r\n".
  std::string VersionAnswer() const;

  // Request counters, for tests and the benchmark. A request is in flight from
  // the moment its handler starts until its answer is ready.
  int InFlight() const;
  int PeakInFlight() const;
  long long RequestsAnswered() const;
  void ResetPeak();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The site's home page for `data`, with `more` (HTML) at its end.
std::string SiteHomePage(const PublishedData& data, std::string_view more = {});

// Where this build found the sample data folder (server/data) and the manual
// (docs/manual.htm) of its source tree; defaults for tools and tests.
std::filesystem::path SourceDataDir();
std::filesystem::path SourceManualFile();

}  // namespace tesselwick::site

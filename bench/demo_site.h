#pragma once

// The benchmarks' download sites: tesselwick-site in demo mode in a child
// process, so that what a benchmark measures (time, CPU time, memory) is the
// program's alone. Its demo sites each answer after a delay.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/net/request_pool.h"
#include "core/platform/system.h"
#include "site_server.h"

namespace tesselwick::bench {

// The demo site in a child process, asked over two pipes.
class DemoSite {
 public:
  DemoSite(int sites, int delayMs, int parallel = RequestPool::kDefaultConcurrency) {
    int toChild[2];
    int fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0) return;
    child_ = fork();
    if (child_ == 0) {
      close(toChild[1]);
      close(fromChild[0]);
      std::_Exit(Serve(sites, delayMs, parallel, toChild[0], fromChild[1]));
    }
    close(toChild[0]);
    close(fromChild[1]);
    to_ = toChild[1];
    from_ = fromChild[0];
    port_ = Ask('s');
  }
  ~DemoSite() {
    if (to_ >= 0) close(to_);
    if (from_ >= 0) close(from_);
    if (child_ > 0) waitpid(child_, nullptr, 0);
  }
  int Port() const { return port_; }
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // The most submissions the site held at once since the last call.
  int TakePeak() { return Ask('p'); }

 private:
  // Answers one letter with a number: 's' the port (or 0), 'p' the peak.
  static int Serve(int sites, int delayMs, int parallel, int in, int out) {
    site::SiteConfig config;
    config.port = 0;
    config.dataDir = site::SourceDataDir();
    config.manualFile = site::SourceManualFile();
    config.demo = true;
    config.demoSites = sites;
    config.demoDelay = std::chrono::milliseconds(delayMs);
    // Every host name reaches the site from 127.0.0.1: the site's share per
    // client would otherwise be what is measured. Each answer holds a thread
    // for its delay, so there are threads for every request at once.
    const int atOnce = 2 * std::max(parallel, RequestPool::kDefaultConcurrency);
    config.threads = atOnce;
    config.maxConnectionsPerClient = atOnce;
    config.maxWaitingPerClient = atOnce;
    platform::RaiseOpenFileLimit(static_cast<std::size_t>(4 * atOnce + 256));
    site::SiteServer server(config);
    const bool started = server.Start();
    if (!started) std::fprintf(stderr, "demo site: %s\n", server.Error().c_str());
    char command = 0;
    while (read(in, &command, 1) == 1) {
      int answer = 0;
      if (command == 's') answer = started ? server.Port() : 0;
      if (command == 'p') {
        answer = server.PeakInFlight();
        server.ResetPeak();
      }
      const std::string line = std::to_string(answer) + "\n";
      if (write(out, line.data(), line.size()) < 0) break;
    }
    return 0;
  }

  int Ask(char command) {
    if (write(to_, &command, 1) != 1) return 0;
    std::string line;
    char c = 0;
    while (read(from_, &c, 1) == 1 && c != '\n') line += c;
    return std::atoi(line.c_str());
  }

  pid_t child_ = -1;
  int to_ = -1;
  int from_ = -1;
  int port_ = 0;
};

// The demo site's list with its first `count` sites, each under a host name
// of its own when `ownHosts`.
inline std::string SiteList(const DemoSite& site, int count, bool ownHosts) {
  std::string list = "SCRIPTVERSION=1\r\n";
  for (int n = 1; n <= count; ++n) {
    const std::string host =
        ownHosts ? "http://site" + std::to_string(n) + ".localhost:" + std::to_string(site.Port())
                 : site.BaseUrl();
    const std::string at = host + "/demo/sites/" + std::to_string(n) + "/";
    list += "TITLE=Site " + std::to_string(n) + "\r\nURL=" + at + "\r\nSUBMITURL=" + at +
            "add.htm\r\nGETORPOST=" + at + "submit?pad=%PADURL%&cat=%CATEGORY%\r\n";
  }
  return list;
}

}  // namespace tesselwick::bench

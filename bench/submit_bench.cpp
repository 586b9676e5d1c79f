// How long a submission run and a large site list take.
//
// Starts tesselwick-site in this process in demo mode, with N download sites
// that each answer after L milliseconds, and times the Submit command over
// them twice: with the program's concurrency and one site at a time (the
// baseline only; the program never runs that way). Then times loading a
// pad.dat of 5,000 sites into the site list. Prints its figures; asserts
// nothing.
//
//   submit_bench [N [L]]      defaults: N = 100, L = 200

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/app/main_dialog.h"
#include "site_server.h"
#include "support/fake_controls.h"
#include "support/temp_folder.h"

namespace tesselwick {
namespace {

using Clock = std::chrono::steady_clock;

using test::FakeMainWindow;
using test::TempFolder;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::size_t CountOf(const std::string& text, const std::string& word) {
  std::size_t n = 0;
  for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
    ++n;
  }
  return n;
}

// One Submit over the demo sites; the wall time from the click to the report.
// A concurrency of 0 keeps the program's own.
double TimeRun(const site::SiteServer& server, int concurrency) {
  TempFolder folder;
  folder.Write("pad.dat", server.PublishedSiteList());
  FakeMainWindow w(folder.Path());
  if (concurrency > 0) w.dialog.maxConcurrentRequests = concurrency;
  concurrency = w.dialog.maxConcurrentRequests;
  w.dialog.Initialise();
  w.urlBox.edit = server.DemoPadUrl();
  const Clock::time_point start = Clock::now();
  w.dialog.SubmissionRun();
  const double seconds = Seconds(Clock::now() - start);
  for (const auto& [text, caption] : w.messages.shown)
    std::printf("  message box: %s (%s)\n", text.c_str(), caption.c_str());
  const std::string report = folder.Read("Report.htm");
  std::printf("  concurrency %2d: %7.3f s  (%zu sites: %zu Pass, %zu Fail)\n", concurrency, seconds,
              static_cast<std::size_t>(w.siteList.RowCount()), CountOf(report, "<td>Pass</td>"),
              CountOf(report, "<td>Fail</td>"));
  return seconds;
}

// A pad.dat of `count` sites in the form the update server hands out.
std::string LargeSiteFile(int count) {
  std::string file = "SCRIPTVERSION=20261207\r\n";
  for (int n = 1; n <= count; ++n) {
    const std::string site = "http://site" + std::to_string(n) + ".example";
    file += "TITLE=Download Site " + std::to_string(n) + "\r\nURL=" + site +
            "/\r\nSUBMITURL=" + site + "/add.htm\r\nGETORPOST=" + site +
            "/submit?pad=%PADURL%&cat=%CATEGORY%\r\n";
  }
  return file;
}

int Run(int sites, int delayMs) {
  site::SiteConfig config;
  config.port = 0;
  config.dataDir = site::SourceDataDir();
  config.manualFile = site::SourceManualFile();
  config.demo = true;
  config.demoSites = sites;
  config.demoDelay = std::chrono::milliseconds(delayMs);
  // What is timed is the program's concurrency, not the site's share of 8
  // connections per client.
  config.maxConnectionsPerClient = 64;
  site::SiteServer server(config);
  if (!server.Start()) {
    std::fprintf(stderr, "submit_bench: the demo site did not start: %s\n", server.Error().c_str());
    return 1;
  }
  std::printf("Submission run: %d demo sites, each answering after %d ms (%s)\n", sites, delayMs,
              server.BaseUrl().c_str());
  server.ResetPeak();
  const double concurrent = TimeRun(server, 0);
  std::printf("  requests answered at once at most: %d\n", server.PeakInFlight());
  const double oneAtATime = TimeRun(server, 1);
  std::printf("  concurrent run %.3f s, one at a time %.3f s: %.1f times faster\n", concurrent,
              oneAtATime, oneAtATime / concurrent);

  constexpr int kLargeList = 5000;
  TempFolder folder;
  folder.Write("pad.dat", LargeSiteFile(kLargeList));
  FakeMainWindow w(folder.Path());
  const Clock::time_point start = Clock::now();
  w.dialog.Initialise();
  const double load = Seconds(Clock::now() - start);
  std::printf("Site list: %d sites loaded in %.3f s (count shown: %s)\n", w.siteList.RowCount(),
              load, w.siteCount.text.c_str());
  return 0;
}

}  // namespace
}  // namespace tesselwick

int main(int argc, char** argv) {
  const int sites = argc > 1 ? std::atoi(argv[1]) : 100;
  const int delayMs = argc > 2 ? std::atoi(argv[2]) : 200;
  if (sites < 1 || delayMs < 0) {
    std::fprintf(stderr, "usage: submit_bench [sites [delay-ms]]\n");
    return 2;
  }
  return tesselwick::Run(sites, delayMs);
}

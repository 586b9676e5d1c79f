// How long a submission run and a large site list take.
//
// Starts tesselwick-site in demo mode in a child process, so that what is
// measured here (time, CPU time, memory) is the program's alone. Its demo
// sites each answer after L milliseconds. Times the Submit command over:
//   - N sites on N different hosts (siteN.localhost, which libcurl takes to
//     this machine by itself), with the program's own limits;
//   - 100 sites on one host, where the program keeps to its limit per host;
//   - a sample of S sites one at a time (the baseline only; the program never
//     runs that way), scaled to N.
// Then times loading a pad.dat of 5,000 sites into the site list. Prints its
// figures; asserts nothing.
//
//   submit_bench [N [L [S]]]      defaults: N = 1000, L = 200, S = 20

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/app/main_dialog.h"
#include "demo_site.h"
#include "support/fake_controls.h"
#include "support/temp_folder.h"

namespace tesselwick {
namespace {

using Clock = std::chrono::steady_clock;

using bench::DemoSite;
using bench::SiteList;
using test::FakeMainWindow;
using test::TempFolder;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long PeakMemoryKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

std::size_t CountOf(const std::string& text, const std::string& word) {
  std::size_t n = 0;
  for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
    ++n;
  }
  return n;
}

// One Submit over a site list; the wall time from the click to the report.
// A concurrency of 0 keeps the program's own.
double TimeRun(DemoSite& site, const std::string& what, const std::string& list, int concurrency) {
  TempFolder folder;
  folder.Write("pad.dat", list);
  FakeMainWindow w(folder.Path());
  if (concurrency > 0) w.dialog.maxConcurrentRequests = concurrency;
  w.dialog.Initialise();
  w.urlBox.edit = site.BaseUrl() + "/demo/pad.xml";
  site.TakePeak();
  const double cpuBefore = CpuSeconds();
  const Clock::time_point start = Clock::now();
  w.dialog.SubmissionRun();
  const double seconds = Seconds(Clock::now() - start);
  const double cpu = CpuSeconds() - cpuBefore;
  for (const auto& [text, caption] : w.messages.shown)
    std::printf("  message box: %s (%s)\n", text.c_str(), caption.c_str());
  const std::string report = folder.Read("Report.htm");
  std::printf("  %-34s %7.3f s, CPU %.3f s, at once at most %3d  (%d Pass, %d Fail)\n",
              what.c_str(), seconds, cpu, site.TakePeak(),
              static_cast<int>(CountOf(report, "<td>Pass</td>")),
              static_cast<int>(CountOf(report, "<td>Fail</td>")));
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

int Run(int sites, int delayMs, int sample) {
  DemoSite site(std::max(sites, 100), delayMs);
  if (site.Port() == 0) {
    std::fprintf(stderr, "submit_bench: the demo site did not start\n");
    return 1;
  }
  std::printf("Submission runs: demo sites answering after %d ms (%s), %d at once, %d per host\n",
              delayMs, site.BaseUrl().c_str(), SiteRequests::kDefaultConcurrency,
              SiteRequests::kPerHost);
  const double spread = TimeRun(
      site, std::to_string(sites) + " sites on as many hosts:", SiteList(site, sites, true), 0);
  TimeRun(site, "100 sites on one host:", SiteList(site, 100, false), 0);
  const double inTurn = TimeRun(
      site, std::to_string(sample) + " sites one at a time:", SiteList(site, sample, true), 1);
  const double scaled = inTurn * sites / sample;
  std::printf("  one at a time, scaled to %d sites: %.1f s: the run is %.1f times faster\n", sites,
              scaled, scaled / spread);

  constexpr int kLargeList = 5000;
  TempFolder folder;
  folder.Write("pad.dat", LargeSiteFile(kLargeList));
  FakeMainWindow w(folder.Path());
  const Clock::time_point start = Clock::now();
  w.dialog.Initialise();
  const double load = Seconds(Clock::now() - start);
  std::printf("Site list: %d sites loaded in %.3f s (count shown: %s)\n", w.siteList.RowCount(),
              load, w.siteCount.text.c_str());
  std::printf("The whole benchmark: CPU %.3f s, peak memory %ld KiB\n", CpuSeconds(),
              PeakMemoryKiB());
  return 0;
}

}  // namespace
}  // namespace tesselwick

int main(int argc, char** argv) {
  const int sites = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int delayMs = argc > 2 ? std::atoi(argv[2]) : 200;
  const int sample = argc > 3 ? std::atoi(argv[3]) : 20;
  if (sites < 1 || delayMs < 0 || sample < 1) {
    std::fprintf(stderr, "usage: submit_bench [sites [delay-ms [sample]]]\n");
    return 2;
  }
  return tesselwick::Run(sites, delayMs, sample);
}

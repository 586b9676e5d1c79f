// How long a submission run and a large site list take.
//
// Starts tesselwick-site in demo mode in a child process, so that what is
// measured here (time, CPU time, memory) is the program's alone. Its demo
// sites each answer after L milliseconds. Times the Submit command over:
//   - N sites on N different hosts (siteN.localhost, which libcurl takes to
//     this machine by itself), P requests at once (the program's own number
//     unless --parallel gives another), beside the least time that can take,
//     ceil(N / P) x L;
//   - 100 sites on one host, where the program keeps to its limit per host;
//   - a sample of S sites one at a time (the baseline only; the program never
//     runs that way), scaled to N.
// Then times loading a pad.dat of 5,000 sites into the site list. Prints its
// figures; asserts nothing.
//
//   submit_bench [--parallel P] [N [L [S]]]
//       defaults: P = 64, N = 1000, L = 200, S = 20
//   submit_bench --parallel 256 10000     10,000 hosts, 256 at once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
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

double SecondsOf(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// The CPU time of this process (the demo site runs in another), in user
// mode and in the system's kernel.
struct CpuTime {
  double user = 0;
  double system = 0;
  double Total() const { return user + system; }
  CpuTime operator-(const CpuTime& earlier) const {
    return {user - earlier.user, system - earlier.system};
  }
};

CpuTime CpuNow() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return {SecondsOf(usage.ru_utime), SecondsOf(usage.ru_stime)};
}

double CpuSeconds() { return CpuNow().Total(); }

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
  const CpuTime cpuBefore = CpuNow();
  const Clock::time_point start = Clock::now();
  w.dialog.SubmissionRun();
  const double seconds = Seconds(Clock::now() - start);
  const CpuTime cpu = CpuNow() - cpuBefore;
  for (const auto& [text, caption] : w.messages.shown)
    std::printf("  message box: %s (%s)\n", text.c_str(), caption.c_str());
  const std::string report = folder.Read("Report.htm");
  std::printf(
      "  %-34s %7.3f s, CPU %.3f s (user %.3f, system %.3f), at once at most %3d  (%d Pass, %d "
      "Fail)\n",
      what.c_str(), seconds, cpu.Total(), cpu.user, cpu.system, site.TakePeak(),
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

int Run(int sites, int delayMs, int sample, int parallel) {
  DemoSite site(std::max(sites, 100), delayMs, parallel);
  if (site.Port() == 0) {
    std::fprintf(stderr, "submit_bench: the demo site did not start\n");
    return 1;
  }
  std::printf(
      "Submission runs: demo sites answering after %d ms (%s); the program's own %d at once, %d "
      "per host\n",
      delayMs, site.BaseUrl().c_str(), RequestPool::kDefaultConcurrency, RequestPool::kPerHost);
  const double spread = TimeRun(
      site,
      std::to_string(sites) + " sites on as many hosts, " + std::to_string(parallel) + " at once:",
      SiteList(site, sites, true), parallel);
  const double least = std::ceil(static_cast<double>(sites) / parallel) * delayMs / 1000.0;
  std::printf(
      "  the least it can take, ceil(%d / %d) x %d ms: %.1f s; the run took %.2f times that\n",
      sites, parallel, delayMs, least, least > 0 ? spread / least : 0.0);
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
  int parallel = tesselwick::RequestPool::kDefaultConcurrency;
  std::vector<int> numbers;
  bool usage = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--parallel" && i + 1 < argc) {
      parallel = std::atoi(argv[++i]);
    } else if (!arg.empty() && arg[0] != '-') {
      numbers.push_back(std::atoi(arg.c_str()));
    } else {
      usage = true;
    }
  }
  auto number = [&numbers](std::size_t at, int otherwise) {
    return numbers.size() > at ? numbers[at] : otherwise;
  };
  const int sites = number(0, 1000);
  const int delayMs = number(1, 200);
  const int sample = number(2, 20);
  if (usage || numbers.size() > 3 || sites < 1 || delayMs < 0 || sample < 1 || parallel < 1 ||
      parallel > tesselwick::RequestPool::kMostConcurrency) {
    std::fprintf(stderr, "usage: submit_bench [--parallel 1..%d] [sites [delay-ms [sample]]]\n",
                 tesselwick::RequestPool::kMostConcurrency);
    return 2;
  }
  return tesselwick::Run(sites, delayMs, sample, parallel);
}

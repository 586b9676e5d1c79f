// How the run log bears a long history.
//
// Fills a run log in a fresh folder with R recorded runs of N sites each, the
// way a run records them (BeginRun, a row per site as it is judged, EndRun),
// over ten PAD URLs whose versions change every 50 runs. Then prints:
//   - how long filling took, per site row, and the file's size;
//   - the history (every run, newest first, with its counts) read by a
//     program just started;
//   - "Last accepted" for the N sites of the newest run, the sites that took
//     the newest run's version, and the newest run of a PAD URL with its
//     failed sites;
//   - a Submit's site requests to N sites on N hosts of the demo site
//     (answering after L ms), twice without the log and twice recording into
//     the full log, and what recording adds to the wall time.
// Asserts nothing.
//
//   run_log_bench [R [N [L [KEEP]]]]   defaults: R = 1000, N = 1000, L = 200
// With KEEP, the filled log is copied into that folder at the end, so that
// tesselwick-submit --folder KEEP --history can be timed against it.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/runs/run_log.h"
#include "core/submit/site_run.h"
#include "demo_site.h"
#include "support/temp_folder.h"

namespace tesselwick {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::string PadUrl(int product) {
  return "http://www.product" + std::to_string(product) + ".example/pad/product.xml";
}

// A recorded site of run `run`, as a run of the program would record it.
LoggedSite FilledSite(int run, int site) {
  LoggedSite row;
  row.position = static_cast<std::size_t>(site);
  const std::string at = "http://site" + std::to_string(site) + ".example/";
  row.title = "Download Site " + std::to_string(site);
  row.url = at;
  row.submitUrl = at + "add.htm";
  row.requestUrl = at + "submit?pad=http%3A//www.product" + std::to_string(run % 10) +
                   ".example/pad/product.xml&cat=Games+%26amp%3B+Entertainment%3A%3APuzzle";
  row.seconds = 0.2 + (site % 17) / 10.0;
  if ((site * 7 + run) % 10 < 7) {
    row.outcome = SiteOutcome::Pass;
    row.reason = "HTTP 200";
    row.httpStatus = 200;
  } else if (site % 2) {
    row.reason = "error 12029: cannot connect";
    row.error = 12029;
  } else {
    row.reason = "HTTP 500";
    row.httpStatus = 500;
  }
  return row;
}

RunStart FilledStart(int run, int sites) {
  RunStart start;
  start.started = 1796724000 + static_cast<std::time_t>(run) * 3600;
  start.padUrl = PadUrl(run % 10);
  start.program = "Product " + std::to_string(run % 10);
  start.version = "1." + std::to_string(run / 50);
  start.category = "Games+%26amp%3B+Entertainment%3A%3APuzzle";
  start.sitesVersion = "20261207";
  start.siteCount = static_cast<std::size_t>(sites);
  return start;
}

std::uintmax_t LogBytes(const fs::path& folder) {
  std::uintmax_t bytes = 0;
  for (const char* suffix : {"", "-wal", "-shm"}) {
    std::error_code error;
    const auto size = fs::file_size(folder / (std::string(RunLog::kFileName) + suffix), error);
    if (!error) bytes += size;
  }
  return bytes;
}

// Records what a run judges, a batch per step of the run, as a Submit does.
class Recording : public SubmissionObserver {
 public:
  Recording(const SiteRun& run, RunLog* log) : run_(run), log_(log) {}
  void SiteFinished(std::size_t index, const FetchResult& answer,
                    const Judgement& judgement) override {
    ++finished_;
    if (judgement.Passed()) ++passed_;
    if (!log_) return;
    const SiteRecord& site = run_.Sites()[index];
    LoggedSite row;
    row.position = index;
    row.title = site.Title;
    row.url = site.Url;
    row.submitUrl = site.SubmitUrl;
    row.requestUrl = run_.RequestUrl(index).value_or("");
    row.outcome = judgement.Passed() ? SiteOutcome::Pass : SiteOutcome::Fail;
    row.reason = ReasonText(judgement);
    if (answer.status != 0) row.httpStatus = answer.status;
    if (answer.error != FetchError::None) row.error = static_cast<int>(answer.error);
    row.seconds = answer.seconds;
    log_->Record(row);
  }
  void Awaiting(const std::vector<std::size_t>&) override {
    if (log_) log_->Flush();
  }
  bool StopRequested() override { return false; }
  int finished_ = 0;
  int passed_ = 0;

 private:
  const SiteRun& run_;
  RunLog* log_;
};

std::vector<SiteRecord> DemoSites(const bench::DemoSite& site, int count) {
  std::vector<SiteRecord> sites;
  for (int n = 1; n <= count; ++n) {
    const std::string at = "http://site" + std::to_string(n) +
                           ".localhost:" + std::to_string(site.Port()) + "/demo/sites/" +
                           std::to_string(n) + "/";
    sites.push_back({"Site " + std::to_string(n), at, at + "add.htm",
                     at + "submit?pad=%PADURL%&cat=%CATEGORY%"});
  }
  return sites;
}

double TimeSubmit(const bench::DemoSite& site, int count, RunLog* log) {
  const std::string padUrl = site.BaseUrl() + "/demo/pad.xml";
  const Clock::time_point start = Clock::now();
  SiteRun run(DemoSites(site, count), "Games+%26amp%3B+Entertainment", padUrl, FetchLimits{});
  if (log) {
    RunStart begin = FilledStart(0, count);
    begin.padUrl = padUrl;
    begin.started = std::time(nullptr);
    log->BeginRun(begin);
  }
  Recording recording(run, log);
  run.RunToEnd(recording);
  if (log) log->EndRun(false);
  const double seconds = Seconds(Clock::now() - start);
  std::printf("  %-26s %7.3f s  (%d finished, %d Pass)\n",
              log ? "recorded into the log:" : "without the log:", seconds, recording.finished_,
              recording.passed_);
  return seconds;
}

int Run(int runs, int sites, int delayMs, const char* keep) {
  test::TempFolder folder;
  std::printf("Run log: %d runs of %d sites (%lld site rows) in %s\n", runs, sites,
              static_cast<long long>(runs) * sites, folder.Path().string().c_str());
  {
    RunLog log(folder.Path());
    if (!log.Usable()) {
      std::fprintf(stderr, "run_log_bench: %s\n", log.Problem()->reason.c_str());
      return 1;
    }
    const Clock::time_point start = Clock::now();
    for (int r = 0; r < runs; ++r) {
      log.BeginRun(FilledStart(r, sites));
      for (int s = 0; s < sites; ++s) log.Record(FilledSite(r, s));
      log.EndRun(false);
    }
    const double seconds = Seconds(Clock::now() - start);
    std::printf("  filled in %.1f s: %.1f us per site row\n", seconds,
                seconds * 1e6 / (static_cast<double>(runs) * sites));
  }
  std::printf("  file size: %.1f MB\n", static_cast<double>(LogBytes(folder.Path())) / 1e6);

  Clock::time_point start = Clock::now();
  RunLog log(folder.Path());
  const std::vector<LoggedRun> history = log.Runs();
  std::printf("  history (opened, %zu runs read):       %7.4f s\n", history.size(),
              Seconds(Clock::now() - start));
  if (history.empty()) return 1;
  const LoggedRun& newest = history.front();

  start = Clock::now();
  const std::vector<LoggedSite> rows = log.Sites(newest.id);
  std::printf("  one run with its %zu sites:             %7.4f s\n", rows.size(),
              Seconds(Clock::now() - start));
  std::vector<SiteKey> keys;
  for (const LoggedSite& row : rows) keys.push_back({row.title, row.url});

  start = Clock::now();
  const auto accepted = log.LastAccepted(newest.padUrl, keys, newest.id);
  const auto found = std::count_if(accepted.begin(), accepted.end(), [](auto& a) { return a; });
  std::printf("  last accepted for %zu sites (%ld found): %7.4f s\n", keys.size(),
              static_cast<long>(found), Seconds(Clock::now() - start));

  start = Clock::now();
  const auto sameVersion = log.AcceptedVersion(newest.padUrl, newest.version);
  std::printf("  sites that took version %s (%zu):     %7.4f s\n", newest.version.c_str(),
              sameVersion.size(), Seconds(Clock::now() - start));

  start = Clock::now();
  const auto latest = log.NewestRun(PadUrl(3));
  const auto failed = latest ? log.FailedSites(latest->id) : std::vector<LoggedSite>{};
  std::printf("  newest run of a PAD URL, %zu failed:     %7.4f s\n", failed.size(),
              Seconds(Clock::now() - start));

  bench::DemoSite site(sites, delayMs);
  if (site.Port() == 0) {
    std::fprintf(stderr, "run_log_bench: the demo site did not start\n");
    return 1;
  }
  std::printf("Site requests: %d sites on as many hosts, answering after %d ms\n", sites, delayMs);
  double plain = 0, logged = 0;
  for (int round = 0; round < 2; ++round) {
    plain += TimeSubmit(site, sites, nullptr);
    logged += TimeSubmit(site, sites, &log);
  }
  std::printf("  recording adds %.3f s in all to a run of %.3f s: %.1f %%\n", (logged - plain) / 2,
              plain / 2, 100.0 * (logged - plain) / plain);
  if (log.Problem()) std::printf("  log problem: %s\n", log.Problem()->reason.c_str());
  if (keep != nullptr) {
    // Closed first, so that the file holds every row without its journal.
    { RunLog closing = std::move(log); }
    std::error_code error;
    fs::create_directories(keep, error);
    fs::copy_file(folder.Path() / RunLog::kFileName, fs::path(keep) / RunLog::kFileName,
                  fs::copy_options::overwrite_existing, error);
    std::printf("  log kept in %s%s\n", keep, error ? (": " + error.message()).c_str() : "");
  }
  return 0;
}

}  // namespace
}  // namespace tesselwick

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int sites = argc > 2 ? std::atoi(argv[2]) : 1000;
  const int delayMs = argc > 3 ? std::atoi(argv[3]) : 200;
  if (runs < 1 || sites < 1 || delayMs < 0) {
    std::fprintf(stderr, "usage: run_log_bench [runs [sites [delay-ms [keep-folder]]]]\n");
    return 2;
  }
  return tesselwick::Run(runs, sites, delayMs, argc > 4 ? argv[4] : nullptr);
}

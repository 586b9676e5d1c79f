#include "core/runs/run_log.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/platform/system.h"
#include "core/runs/sqlite_db.h"
#include "support/temp_folder.h"
#ifndef _WIN32
#include "core/submit/run_recording.h"
#include "core/submit/run_results.h"
#include "core/submit/site_run.h"
#include "support/child_process.h"
#include "support/refusing_port.h"
#include "support/test_http_server.h"
#endif

namespace tesselwick {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

constexpr std::time_t kDay = 24 * 60 * 60;
// 2026-12-08T10:00:00Z
constexpr std::time_t kStart = 1796724000;

const std::string kPad = "http://pad.example/box/pad.xml";
const std::string kOtherPad = "http://pad.example/crate/pad.xml";

RunStart Start(const std::string& padUrl, const std::string& version, std::time_t when,
               std::size_t sites = 3) {
  RunStart start;
  start.started = when;
  start.padUrl = padUrl;
  start.program = "Box Packer";
  start.version = version;
  start.category = "Games+%26amp%3B+Entertainment";
  start.sitesVersion = "6";
  start.siteCount = sites;
  return start;
}

LoggedSite Site(std::size_t position, const std::string& title, SiteOutcome outcome) {
  LoggedSite site;
  site.position = position;
  site.title = title;
  site.url = "http://" + title + ".example/";
  site.submitUrl = site.url + "submit";
  site.requestUrl = site.url + "add?pad=" + kPad;
  site.outcome = outcome;
  if (outcome == SiteOutcome::Pass) {
    site.reason = "HTTP 200";
    site.httpStatus = 200;
    site.seconds = 0.25;
  } else if (outcome == SiteOutcome::Fail) {
    site.reason = "error 12029: cannot connect";
    site.error = 12029;
    site.seconds = 1.5;
  } else {
    site.reason = "accepted 2.4 on 2026-12-01";
  }
  return site;
}

SiteKey Key(const std::string& title) { return {title, "http://" + title + ".example/"}; }

std::int64_t RecordRun(RunLog& log, const RunStart& start, const std::vector<LoggedSite>& sites,
                       bool end = true) {
  const std::int64_t id = log.BeginRun(start);
  for (const LoggedSite& site : sites) log.Record(site);
  if (end) {
    log.EndRun(false);
  } else {
    log.Flush();
  }
  return id;
}

std::string Pragma(const fs::path& file, const std::string& name) {
  sqlite::Database db(platform::Utf8FromPath(file), sqlite::Database::Mode::ReadOnly);
  sqlite::Statement query = db.Prepare("PRAGMA " + name);
  return query.Step() ? query.Text(0) : "";
}

std::vector<fs::path> SetAside(const TempFolder& folder) {
  std::vector<fs::path> kept;
  for (const auto& entry : fs::directory_iterator(folder.Path())) {
    if (entry.path().filename().string().starts_with("tesselwick-runs.db.corrupt-"))
      kept.push_back(entry.path().filename());
  }
  return kept;
}

TEST(RunLog, ANewLogIsCreatedVersionedAndInWalMode) {
  TempFolder top;
  // A folder whose name is not ASCII reaches SQLite as it is.
  const fs::path folder = top.Path() / platform::PathFromUtf8(
                                           "\xC3\x9C"
                                           "bungsordner");
  fs::create_directory(folder);
  RunLog log(folder);
  ASSERT_TRUE(log.Usable());
  EXPECT_FALSE(log.TakeProblem());
  EXPECT_EQ(log.Path(), folder / "tesselwick-runs.db");
  EXPECT_TRUE(fs::exists(folder / "tesselwick-runs.db"));
  EXPECT_EQ(Pragma(log.Path(), "user_version"), "1");
  EXPECT_EQ(Pragma(log.Path(), "journal_mode"), "wal");
  EXPECT_TRUE(log.Runs().empty());
  EXPECT_EQ(RunLog::UtcTimestamp(kStart), "2026-12-08T10:00:00Z");
  EXPECT_EQ(RunLog::UtcTimestamp(0), "1970-01-01T00:00:00Z");
}

TEST(RunLog, RunsAndTheirSitesReadBackAsRecorded) {
  TempFolder folder;
  std::int64_t first = 0, second = 0, killed = 0;
  {
    RunLog log(folder.Path());
    first = RecordRun(log, Start(kPad, "2.4", kStart),
                      {Site(0, "alpha", SiteOutcome::Pass), Site(1, "beta", SiteOutcome::Fail),
                       Site(2, "gamma", SiteOutcome::Pass)});
    RunStart retry = Start(kPad, "2.4", kStart + 60, 1);
    retry.retryOf = first;
    second = log.BeginRun(retry);
    log.Record(Site(1, "beta", SiteOutcome::Pass));
    // The same site twice in one run keeps its first row.
    log.Record(Site(1, "beta", SiteOutcome::Fail));
    log.EndRun(true);
    killed = RecordRun(
        log, Start(kOtherPad, "", kStart + 120, 4),
        {Site(3, "delta", SiteOutcome::Skipped), Site(0, "alpha", SiteOutcome::Fail)}, false);
  }
  // Read by a program started again.
  RunLog log(folder.Path());
  const std::vector<LoggedRun> runs = log.Runs();
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].id, killed);
  EXPECT_EQ(runs[1].id, second);
  EXPECT_EQ(runs[2].id, first);

  const struct {
    std::size_t index;
    std::string started, padUrl, version;
    std::size_t siteCount, passed, failed, skipped;
    bool ended, stopped;
    std::int64_t retryOf;
  } expected[] = {
      {0, "2026-12-08T10:02:00Z", kOtherPad, "", 4, 0, 1, 1, false, false, 0},
      {1, "2026-12-08T10:01:00Z", kPad, "2.4", 1, 1, 0, 0, true, true, first},
      {2, "2026-12-08T10:00:00Z", kPad, "2.4", 3, 2, 1, 0, true, false, 0},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(e.index);
    const LoggedRun& run = runs[e.index];
    EXPECT_EQ(run.started, e.started);
    EXPECT_EQ(run.padUrl, e.padUrl);
    EXPECT_EQ(run.program, "Box Packer");
    EXPECT_EQ(run.version, e.version);
    EXPECT_EQ(run.category, "Games+%26amp%3B+Entertainment");
    EXPECT_EQ(run.sitesVersion, "6");
    EXPECT_EQ(run.siteCount, e.siteCount);
    EXPECT_EQ(run.passed, e.passed);
    EXPECT_EQ(run.failed, e.failed);
    EXPECT_EQ(run.skipped, e.skipped);
    EXPECT_EQ(run.ended, e.ended);
    EXPECT_EQ(run.stopped, e.stopped);
    EXPECT_EQ(run.retryOf, e.retryOf);
  }

  const std::vector<LoggedSite> sites = log.Sites(first);
  ASSERT_EQ(sites.size(), 3u);
  const LoggedSite& beta = sites[1];
  EXPECT_EQ(beta.position, 1u);
  EXPECT_EQ(beta.title, "beta");
  EXPECT_EQ(beta.url, "http://beta.example/");
  EXPECT_EQ(beta.submitUrl, "http://beta.example/submit");
  EXPECT_EQ(beta.requestUrl, "http://beta.example/add?pad=" + kPad);
  EXPECT_EQ(beta.outcome, SiteOutcome::Fail);
  EXPECT_EQ(beta.reason, "error 12029: cannot connect");
  EXPECT_EQ(beta.httpStatus, std::nullopt);
  EXPECT_EQ(beta.error, 12029);
  EXPECT_EQ(beta.seconds, 1.5);
  EXPECT_EQ(sites[0].httpStatus, 200);
  EXPECT_EQ(sites[0].error, std::nullopt);

  ASSERT_EQ(log.FailedSites(first).size(), 1u);
  EXPECT_EQ(log.FailedSites(first)[0].title, "beta");
  EXPECT_TRUE(log.FailedSites(second).empty());
  EXPECT_EQ(log.Sites(killed)[1].position, 3u);

  ASSERT_TRUE(log.Run(second));
  EXPECT_EQ(log.Run(second)->passed, 1u);
  EXPECT_FALSE(log.Run(killed + 100));
  ASSERT_TRUE(log.NewestRun(kPad));
  EXPECT_EQ(log.NewestRun(kPad)->id, second);
  EXPECT_EQ(log.NewestRun(kOtherPad)->id, killed);
  EXPECT_FALSE(log.NewestRun("http://pad.example/none.xml"));
}

TEST(RunLog, ARetryRunsSitesStandInTheirPlacesOfTheRunItRetried) {
  TempFolder folder;
  RunLog log(folder.Path());
  const auto first =
      RecordRun(log, Start(kPad, "2.4", kStart),
                {Site(0, "alpha", SiteOutcome::Pass), Site(1, "beta", SiteOutcome::Fail),
                 Site(2, "gamma", SiteOutcome::Fail), Site(3, "delta", SiteOutcome::Skipped)});
  RunStart retry = Start(kPad, "2.4", kStart + 60, 2);
  retry.retryOf = first;
  const auto second = RecordRun(log, retry, {Site(1, "beta", SiteOutcome::Pass)});
  retry.retryOf = second;
  auto again = Site(2, "gamma", SiteOutcome::Fail);
  again.reason = "HTTP 503";
  const auto third = RecordRun(log, retry, {again});
  const struct {
    std::int64_t run;
    std::vector<SiteOutcome> outcomes;
  } cases[] = {
      {first, {SiteOutcome::Pass, SiteOutcome::Fail, SiteOutcome::Fail, SiteOutcome::Skipped}},
      {second, {SiteOutcome::Pass, SiteOutcome::Pass, SiteOutcome::Fail, SiteOutcome::Skipped}},
      {third, {SiteOutcome::Pass, SiteOutcome::Pass, SiteOutcome::Fail, SiteOutcome::Skipped}},
      {third + 1, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.run);
    std::vector<SiteOutcome> outcomes;
    for (const LoggedSite& site : log.MergedSites(c.run)) outcomes.push_back(site.outcome);
    EXPECT_EQ(outcomes, c.outcomes);
  }
  EXPECT_EQ(log.MergedSites(third)[2].reason, "HTTP 503");
  EXPECT_EQ(log.MergedSites(second)[2].reason, "error 12029: cannot connect");
}

TEST(RunLog, EarlierAcceptancesAreFoundPerSiteAndPadUrl) {
  TempFolder folder;
  RunLog log(folder.Path());
  const auto r1 =
      RecordRun(log, Start(kPad, "2.4", kStart),
                {Site(0, "alpha", SiteOutcome::Pass), Site(1, "beta", SiteOutcome::Fail)});
  const auto r2 =
      RecordRun(log, Start(kOtherPad, "2.4", kStart + kDay), {Site(1, "beta", SiteOutcome::Pass)});
  auto changed = Site(1, "beta", SiteOutcome::Pass);
  // Asked with another request URL (a new site list): the same site.
  changed.requestUrl = "http://beta.example/v2/add";
  const auto r3 = RecordRun(log, Start(kPad, "2.5", kStart + 2 * kDay),
                            {Site(0, "alpha", SiteOutcome::Fail), changed});
  const auto r4 = RecordRun(log, Start(kPad, "2.5", kStart + 3 * kDay),
                            {Site(0, "alpha", SiteOutcome::Skipped)});
  auto renamed = Key("beta");
  renamed.title = "Beta Downloads";

  const struct {
    const char* name;
    std::string padUrl;
    std::int64_t before;
    std::vector<std::optional<std::int64_t>> runs;
  } cases[] = {
      {"before the newest run", kPad, r4, {r1, r3, std::nullopt, std::nullopt}},
      {"every run", kPad, 0, {r1, r3, std::nullopt, std::nullopt}},
      {"a Pass for another PAD URL does not count",
       kPad,
       r3,
       {r1, std::nullopt, std::nullopt, std::nullopt}},
      {"nothing before the first run",
       kPad,
       r1,
       {std::nullopt, std::nullopt, std::nullopt, std::nullopt}},
      {"the other PAD URL", kOtherPad, 0, {std::nullopt, r2, std::nullopt, std::nullopt}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto found =
        log.LastAccepted(c.padUrl, {Key("alpha"), Key("beta"), Key("gamma"), renamed}, c.before);
    ASSERT_EQ(found.size(), c.runs.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(found[i] ? std::optional<std::int64_t>(found[i]->run) : std::nullopt, c.runs[i]);
    }
  }
  const auto found = log.LastAccepted(kPad, {Key("beta")});
  ASSERT_TRUE(found[0]);
  EXPECT_EQ(found[0]->started, "2026-12-10T10:00:00Z");
  EXPECT_EQ(found[0]->version, "2.5");

  const struct {
    std::string padUrl, version;
    std::vector<std::string> titles;
  } versions[] = {
      {kPad, "2.4", {"alpha"}}, {kPad, "2.5", {"beta"}}, {kOtherPad, "2.4", {"beta"}},
      {kPad, "", {}},           {kPad, "2.6", {}},
  };
  for (const auto& v : versions) {
    SCOPED_TRACE(v.padUrl + " " + v.version);
    std::vector<std::string> titles;
    for (const AcceptedSite& site : log.AcceptedVersion(v.padUrl, v.version))
      titles.push_back(site.site.title);
    EXPECT_EQ(titles, v.titles);
  }
  EXPECT_EQ(log.AcceptedVersion(kPad, "2.4")[0].started, "2026-12-08T10:00:00Z");
}

TEST(RunLog, RowsAreWrittenInBatchesAsTheyAreRecorded) {
  TempFolder folder;
  RunLog::Options options;
  options.batchRows = 3;
  options.batchDelay = std::chrono::hours(1);
  RunLog log(folder.Path(), options);
  RunLog reader(folder.Path());
  const auto run = log.BeginRun(Start(kPad, "2.4", kStart, 5));
  ASSERT_TRUE(reader.Run(run));
  for (std::size_t i = 0; i < 5; ++i) {
    log.Record(Site(i, "site" + std::to_string(i), SiteOutcome::Pass));
    EXPECT_EQ(reader.Sites(run).size(), i < 2 ? 0u : 3u) << i;
  }
  log.Flush();
  EXPECT_EQ(reader.Sites(run).size(), 5u);
  EXPECT_EQ(reader.Run(run)->passed, 5u);
  EXPECT_FALSE(reader.Run(run)->ended);
}

TEST(RunLog, TwoRunsAtOnceInOneFolderAreBothRecordedWhole) {
  TempFolder folder;
  RunLog::Options options;
  options.batchRows = 2;
  RunLog one(folder.Path(), options), two(folder.Path(), options);
  const auto a = one.BeginRun(Start(kPad, "2.4", kStart, 50));
  const auto b = two.BeginRun(Start(kOtherPad, "1.0", kStart, 50));
  for (std::size_t i = 0; i < 50; ++i) {
    one.Record(Site(i, "a" + std::to_string(i), SiteOutcome::Pass));
    two.Record(Site(i, "b" + std::to_string(i), i % 2 ? SiteOutcome::Pass : SiteOutcome::Fail));
  }
  one.EndRun(false);
  two.EndRun(false);
  EXPECT_FALSE(one.Problem());
  EXPECT_FALSE(two.Problem());
  RunLog log(folder.Path());
  EXPECT_EQ(log.Run(a)->passed, 50u);
  EXPECT_EQ(log.Run(b)->passed, 25u);
  EXPECT_EQ(log.Run(b)->failed, 25u);
  EXPECT_EQ(log.Sites(a).size(), 50u);
}

#ifndef _WIN32
// Counts what it is told, as a front end would draw it.
struct CountingObserver : SubmissionObserver {
  void SiteFinished(std::size_t, const FetchResult&, const Judgement&) override { ++finished; }
  void Awaiting(const std::vector<std::size_t>&) override { ++steps; }
  bool StopRequested() override { return false; }
  int finished = 0;
  int steps = 0;
};

TEST(RunLog, ASiteRunIsRecordedAsItsResultsShowIt) {
  test::TestHttpServer server;
  server.Set("/thanks", test::Reply::Text("Thanks"));
  server.Set("/says-error", test::Reply::Text("Error: already listed"));
  server.Set("/broken", test::Reply::Text("down", 500));
  const test::RefusingPort refusing;
  const auto site = [](const std::string& title, const std::string& request) {
    return SiteRecord{title, "http://" + title + ".example/", "http://" + title + ".example/add",
                      request};
  };
  const std::vector<SiteRecord> sites = {
      site("alpha", server.Url("/thanks?pad=%PADURL%&cat=%CATEGORY%")),
      site("beta", server.Url("/says-error")),
      site("gamma", server.Url("/broken")),
      site("delta", ""),
      site("epsilon", refusing.Url("/add")),
  };
  TempFolder folder;
  RunLog log(folder.Path());
  RunResults results(sites, kPad, "Games", "08-Dec-2026");
  CountingObserver front;
  const auto id = log.BeginRun(Start(kPad, "2.4", kStart, sites.size()));
  {
    SiteRun run(sites, "Games", kPad, FetchLimits{});
    RunRecorder recorder(run, log);
    run.OnEachAnswer(
        [&recorder](std::size_t i, const FetchResult& answer, const Judgement& judgement) {
          recorder.Judged(i, answer, judgement);
        });
    run.RunToEnd(front);
    log.EndRun(false);
    results.Take(run);
  }
  // The front end was told everything.
  EXPECT_EQ(front.finished, 5);
  EXPECT_GE(front.steps, 1);
  const auto rows = log.Sites(id);
  ASSERT_EQ(rows.size(), sites.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(sites[i].Title.str());
    const SiteResult& shown = results.Sites()[i];
    EXPECT_EQ(rows[i].outcome, shown.Passed() ? SiteOutcome::Pass : SiteOutcome::Fail);
    EXPECT_EQ(rows[i].reason, shown.Reason());
    EXPECT_EQ(rows[i].httpStatus, shown.HttpStatus());
    EXPECT_EQ(rows[i].error, shown.Error());
    EXPECT_EQ(rows[i].seconds, shown.seconds);
    EXPECT_EQ(rows[i].requestUrl, results.RequestUrl(i).value_or(""));
  }
  EXPECT_EQ(rows[0].reason, "HTTP 200");
  EXPECT_EQ(rows[0].requestUrl, server.Url("/thanks?pad=http://pad.example/box/pad.xml&cat=Games"));
  EXPECT_EQ(rows[3].reason, "no request template");
  EXPECT_EQ(rows[3].httpStatus, std::nullopt);
  EXPECT_EQ(rows[4].error, 12029);
  EXPECT_EQ(log.Run(id)->passed, 1u);
  EXPECT_EQ(log.Run(id)->failed, 4u);

  // A retry asks the failed sites alone; its rows keep their places in the list.
  RunStart again = Start(kPad, "2.4", kStart + 60, 4);
  again.retryOf = id;
  const auto retryId = log.BeginRun(again);
  {
    std::unique_ptr<SiteRun> retry = results.RetryRun(FetchLimits{}, 4);
    ASSERT_TRUE(retry);
    RunRecorder recorder(*retry, log, results.FailedSites());
    retry->OnEachAnswer(
        [&recorder](std::size_t i, const FetchResult& answer, const Judgement& judgement) {
          recorder.Judged(i, answer, judgement);
        });
    retry->RunToEnd(front);
    log.EndRun(false);
  }
  std::vector<std::size_t> positions;
  for (const LoggedSite& row : log.Sites(retryId)) positions.push_back(row.position);
  EXPECT_EQ(positions, (std::vector<std::size_t>{1, 2, 3, 4}));
  EXPECT_EQ(log.Sites(retryId)[0].title, "beta");
}

#endif  // _WIN32

TEST(RunLogFaults, AFileThatIsNotADatabaseIsKeptAsideAndANewLogStarted) {
  std::mt19937 random(27);
  std::string noise(64 * 1024, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  const struct {
    const char* name;
    std::string bytes;
    // A journal file beside it, which is kept with it.
    bool journal;
  } cases[] = {
      {"random bytes", noise, true},
      {"text", "CREATOR=TESSELWICK 1.0\r\nURL=http://old\r\n", true},
      {"a few bytes", "SQLite", true},
      {"a database's header over random pages", std::string("SQLite format 3\0", 16) + noise,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    folder.Write("tesselwick-runs.db", c.bytes);
    if (c.journal) folder.Write("tesselwick-runs.db-wal", "not a journal");
    RunLog log(folder.Path());
    ASSERT_TRUE(log.Usable());
    const auto problem = log.TakeProblem();
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->kind, RunLogProblem::Kind::Replaced);
    EXPECT_FALSE(log.TakeProblem());
    // The file and its journal files, under one new name.
    auto kept = SetAside(folder);
    ASSERT_EQ(kept.size(), c.journal ? 2u : 1u);
    std::sort(kept.begin(), kept.end());
    const std::string name = kept[0].string();
    // tesselwick-runs.db.corrupt-YYYYMMDD-HHMMSS
    EXPECT_EQ(name.size(), std::string("tesselwick-runs.db.corrupt-20261208-100000").size())
        << name;
    EXPECT_NE(problem->reason.find(name), std::string::npos) << problem->reason;
    EXPECT_EQ(folder.Read(name), c.bytes);
    if (c.journal) {
      EXPECT_EQ(folder.Read(name + "-wal"), "not a journal");
    }
    EXPECT_GT(RecordRun(log, Start(kPad, "2.4", kStart), {Site(0, "alpha", SiteOutcome::Pass)}), 0);
    EXPECT_EQ(RunLog(folder.Path()).Runs().size(), 1u);
  }
}

#ifndef _WIN32
TEST(RunLogFaults, AFifoOrAFolderInTheLogsPlaceIsReportedAtOnceAndLeftAsItIs) {
  // A FIFO would hold the first read of it for ever.
  const struct {
    const char* name;
    bool fifo;
    const char* reason;
  } cases[] = {
      {"a FIFO", true, "tesselwick-runs.db: it is not a regular file"},
      {"a folder", false, "tesselwick-runs.db: it is a folder"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    const std::filesystem::path place = folder / "tesselwick-runs.db";
    if (c.fifo) {
      ASSERT_EQ(::mkfifo(place.c_str(), 0600), 0);
    } else {
      std::filesystem::create_directory(place);
    }
    RunLog log(folder.Path());
    EXPECT_FALSE(log.Usable());
    ASSERT_TRUE(log.Problem());
    EXPECT_EQ(log.Problem()->kind, RunLogProblem::Kind::Unusable);
    EXPECT_EQ(log.Problem()->reason, c.reason);
    EXPECT_EQ(std::filesystem::is_fifo(place), c.fifo);
    EXPECT_EQ(std::filesystem::is_directory(place), !c.fifo);
  }
}

TEST(RunLogFaults, AReadOnlyFolderIsReportedOnceAndTheRunGoesOn) {
  TempFolder folder;
  EXPECT_EQ(test::RunInChildProcess([&] {
              ASSERT_EQ(::chmod(folder.Path().c_str(), 0555), 0);
              if (::geteuid() == 0) {
                ASSERT_EQ(::setgid(65534), 0);
                ASSERT_EQ(::setuid(65534), 0);
              }
              RunLog log(folder.Path());
              EXPECT_FALSE(log.Usable());
              const auto problem = log.TakeProblem();
              ASSERT_TRUE(problem);
              EXPECT_EQ(problem->kind, RunLogProblem::Kind::Unusable);
              EXPECT_EQ(problem->reason, "tesselwick-runs.db: unable to open database file");
              EXPECT_EQ(log.BeginRun(Start(kPad, "2.4", kStart)), 0);
              log.Record(Site(0, "alpha", SiteOutcome::Pass));
              log.EndRun(false);
              EXPECT_FALSE(log.TakeProblem());
              EXPECT_TRUE(log.Runs().empty());
              EXPECT_EQ(log.LastAccepted(kPad, {Key("alpha")}).size(), 1u);
            }),
            "");
  EXPECT_FALSE(fs::exists(folder / "tesselwick-runs.db"));
}

TEST(RunLogFaults, AFullDiskIsReportedOnceAndKeepsWhatWasWritten) {
  TempFolder folder;
  EXPECT_EQ(test::RunInChildProcess([&] {
              RunLog::Options options;
              options.batchRows = 10;
              RunLog log(folder.Path(), options);
              ASSERT_TRUE(log.Usable());
              log.BeginRun(Start(kPad, "2.4", kStart, 5000));
              for (std::size_t i = 0; i < 10; ++i)
                log.Record(Site(i, "first" + std::to_string(i), SiteOutcome::Pass));
              // From here on no file may grow past 64 KiB: a write beyond fails
              // (EFBIG) as a write to a full disk (ENOSPC) would.
              std::signal(SIGXFSZ, SIG_IGN);
              const rlimit room{64 * 1024, 64 * 1024};
              ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &room), 0);
              for (std::size_t i = 10; i < 5000; ++i)
                log.Record(Site(i, "site" + std::to_string(i), SiteOutcome::Fail));
              log.EndRun(false);
              EXPECT_FALSE(log.Usable());
              const auto problem = log.TakeProblem();
              ASSERT_TRUE(problem);
              EXPECT_EQ(problem->kind, RunLogProblem::Kind::Unusable);
              EXPECT_TRUE(problem->reason.starts_with("tesselwick-runs.db: ")) << problem->reason;
              EXPECT_FALSE(log.TakeProblem());
            }),
            "");
  RunLog log(folder.Path());
  ASSERT_TRUE(log.Usable());
  EXPECT_EQ(Pragma(log.Path(), "integrity_check"), "ok");
  const auto runs = log.Runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_FALSE(runs[0].ended);
  const auto sites = log.Sites(runs[0].id);
  EXPECT_GE(sites.size(), 10u);
  EXPECT_LT(sites.size(), 5000u);
  EXPECT_EQ(runs[0].passed + runs[0].failed, sites.size());
}
#endif  // _WIN32

TEST(RunLogFaults, ALogOfANewerProgramIsLeftAsItIs) {
  TempFolder folder;
  {
    RunLog log(folder.Path());
    RecordRun(log, Start(kPad, "2.4", kStart), {Site(0, "alpha", SiteOutcome::Pass)});
  }
  {
    sqlite::Database db(platform::Utf8FromPath(folder / "tesselwick-runs.db"),
                        sqlite::Database::Mode::ReadWriteCreate);
    db.Execute("PRAGMA user_version=2");
  }
  RunLog log(folder.Path());
  EXPECT_FALSE(log.Usable());
  ASSERT_TRUE(log.Problem());
  EXPECT_EQ(log.Problem()->reason,
            "tesselwick-runs.db: it was written by a newer version of the program (schema 2)");
  EXPECT_TRUE(SetAside(folder).empty());
  EXPECT_EQ(Pragma(folder / "tesselwick-runs.db", "user_version"), "2");
}

TEST(RunLogFaults, ALockHeldPastTheBusyTimeoutIsReportedOnce) {
  TempFolder folder;
  { RunLog created(folder.Path()); }
  sqlite::Database other(platform::Utf8FromPath(folder / "tesselwick-runs.db"),
                         sqlite::Database::Mode::ReadWriteCreate);
  auto held = std::make_unique<sqlite::Transaction>(other);
  other.Execute(
      "INSERT INTO runs(started, pad_url, program, version, category, sites_version, "
      "site_count) VALUES('x', 'other', '', '', '', '', 0)");

  RunLog::Options options;
  options.busyTimeout = std::chrono::milliseconds(100);
  RunLog log(folder.Path(), options);
  // A reader is not held up by the writer.
  EXPECT_TRUE(log.Usable());
  EXPECT_TRUE(log.Runs().empty());
  EXPECT_EQ(log.BeginRun(Start(kPad, "2.4", kStart)), 0);
  log.Record(Site(0, "alpha", SiteOutcome::Pass));
  log.EndRun(false);
  const auto problem = log.TakeProblem();
  ASSERT_TRUE(problem);
  EXPECT_EQ(problem->kind, RunLogProblem::Kind::Unusable);
  EXPECT_EQ(problem->reason,
            "tesselwick-runs.db: another run of the program has held it for more than 100 ms");
  EXPECT_FALSE(log.TakeProblem());

  // Once the other run lets go, a new run records as before, and the other
  // run's row is there.
  held->Commit();
  held.reset();
  RunLog again(folder.Path(), options);
  EXPECT_GT(RecordRun(again, Start(kPad, "2.4", kStart), {Site(0, "alpha", SiteOutcome::Pass)}), 0);
  EXPECT_EQ(again.Runs().size(), 2u);
  EXPECT_FALSE(again.Problem());
}

#ifndef _WIN32
TEST(RunLogFaults, AProcessKilledMidRunLeavesEveryFlushedSite) {
  TempFolder folder;
  int progress[2];
  ASSERT_EQ(::pipe(progress), 0);
  std::fflush(stdout);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Ended by the alarm should the test give up before it kills it.
    ::alarm(60);
    ::close(progress[0]);
    RunLog::Options options;
    options.batchRows = 7;
    RunLog log(folder.Path(), options);
    log.BeginRun(Start(kPad, "2.4", kStart, 1000000));
    for (std::size_t i = 0;; ++i) {
      log.Record(
          Site(i, "site" + std::to_string(i % 500), i % 3 ? SiteOutcome::Pass : SiteOutcome::Fail));
      if (i % 5 == 4) {
        log.Flush();
        // Every site up to here is on disk.
        const std::uint32_t flushed = static_cast<std::uint32_t>(i + 1);
        if (::write(progress[1], &flushed, sizeof flushed) != sizeof flushed) ::_exit(3);
      }
    }
  }
  ::close(progress[1]);
  std::uint32_t flushed = 0;
  while (flushed < 2000) {
    ASSERT_EQ(::read(progress[0], &flushed, sizeof flushed), static_cast<ssize_t>(sizeof flushed));
  }
  ASSERT_EQ(::kill(child, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  // The last progress the child reported before it died.
  std::uint32_t more = 0;
  while (::read(progress[0], &more, sizeof more) == static_cast<ssize_t>(sizeof more))
    flushed = more;
  ::close(progress[0]);

  RunLog log(folder.Path());
  ASSERT_TRUE(log.Usable());
  EXPECT_FALSE(log.Problem());
  EXPECT_EQ(Pragma(log.Path(), "integrity_check"), "ok");
  const auto runs = log.Runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_FALSE(runs[0].ended);
  const auto sites = log.Sites(runs[0].id);
  EXPECT_GE(sites.size(), flushed);
  EXPECT_EQ(runs[0].passed + runs[0].failed, sites.size());
  for (std::size_t i = 0; i < sites.size(); ++i) ASSERT_EQ(sites[i].position, i);
  // And the log goes on.
  EXPECT_GT(RecordRun(log, Start(kPad, "2.5", kStart), {Site(0, "alpha", SiteOutcome::Pass)}), 0);
}
#endif  // _WIN32

}  // namespace
}  // namespace tesselwick

#include "core/net/request_pool.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/net/judgement.h"
#include "core/platform/date.h"
#include "core/submit/report.h"
#include "demo_sites.h"
#include "site_server.h"
#include "support/fake_controls.h"
#include "support/sample_sites.h"
#include "support/temp_folder.h"
#include "support/test_http_server.h"

#ifdef TESSELWICK_POOL_FAULTS
#include <curl/curl.h>

// Stand-ins for two libcurl functions of the request pool (linked with
// --wrap): each fails from the moment its test arms it.
namespace {
std::atomic<CURLMcode> performFails{CURLM_OK};
std::atomic<CURLMcode> pollFails{CURLM_OK};
}  // namespace

extern "C" CURLMcode __real_curl_multi_perform(CURLM* multi, int* running);
extern "C" CURLMcode __real_curl_multi_poll(CURLM* multi, curl_waitfd extra[], unsigned count,
                                            int timeoutMs, int* ready);
extern "C" CURLMcode __wrap_curl_multi_perform(CURLM* multi, int* running) {
  if (const CURLMcode fails = performFails.load(); fails != CURLM_OK) return fails;
  return __real_curl_multi_perform(multi, running);
}
extern "C" CURLMcode __wrap_curl_multi_poll(CURLM* multi, curl_waitfd extra[], unsigned count,
                                            int timeoutMs, int* ready) {
  if (const CURLMcode fails = pollFails.load(); fails != CURLM_OK) return fails;
  return __real_curl_multi_poll(multi, extra, count, timeoutMs, ready);
}
#endif

namespace tesselwick {
namespace {

using namespace std::chrono_literals;
using test::FakeMainWindow;
using test::Reply;
using test::Row;
using test::RowsOf;
using test::Site;
using test::TempFolder;
using test::TestHttpServer;

const char* kPadFile =
    "<XML_DIZ_INFO><Program_Info><Program_Category_Class>Games::Puzzle"
    "</Program_Category_Class></Program_Info></XML_DIZ_INFO>";

// The sites in list order: pad.dat holds them the other way round.
std::string SiteFile(const std::vector<std::string>& sitesInListOrder) {
  std::string file;
  for (auto it = sitesInListOrder.rbegin(); it != sitesInListOrder.rend(); ++it) file += *it;
  return file;
}

// Takes answers until `enough` says so, or the run ends.
void WaitUntil(RequestPool& requests, const std::function<bool()>& enough) {
  for (int i = 0; i < 3000 && !enough() && !requests.Done(); ++i) requests.Wait(10ms);
}

// Stands in for the progress window: follows the run and asks it to stop
// when `stopWhen` says so, given the run and the sites it awaits.
class ScriptedProgress : public RunProgress, public SubmissionObserver {
 public:
  using StopWhen = std::function<bool(const SiteRun&, const std::vector<std::size_t>& awaiting)>;
  explicit ScriptedProgress(StopWhen stopWhen) : stopWhen_(std::move(stopWhen)) {}
  void Wait(BackgroundFetch& padFile) override {
    ++padFileWaits;
    while (!padFile.Done()) std::this_thread::sleep_for(10ms);
  }
  void FollowSites(SiteRun& run) override {
    sitesShown = run.Sites();
    run_ = &run;
    while (run.Step(10ms, *this)) {
    }
  }
  void SiteFinished(std::size_t, const FetchResult&, const Judgement&) override {}
  void Awaiting(const std::vector<std::size_t>& indices) override { awaiting_ = indices; }
  bool StopRequested() override {
    stop_ = stop_ || stopWhen_(*run_, awaiting_);
    return stop_;
  }
  std::vector<SiteRecord> sitesShown;
  int padFileWaits = 0;

 private:
  StopWhen stopWhen_;
  const SiteRun* run_ = nullptr;
  std::vector<std::size_t> awaiting_;
  bool stop_ = false;
};

TEST(RequestPool, ASiteThatStallsHoldsUpNoOther) {
  TestHttpServer server;
  server.Set("/stall", Reply::Stall(30s));
  server.Set("/quick", Reply::Text("Thanks"));
  std::vector<std::string> urls = {server.Url("/stall")};
  for (int i = 1; i <= 5; ++i) urls.push_back(server.Url("/quick?n=" + std::to_string(i)));

  // Two at a time: the stalled site keeps one worker, the other goes through
  // the rest of the list.
  RequestPool requests(urls, FetchLimits{}, 2);
  WaitUntil(requests, [&] { return requests.Finished() == 5; });
  for (std::size_t i = 1; i <= 5; ++i) EXPECT_TRUE(requests.Answer(i).has_value()) << i;
  EXPECT_EQ(requests.InFlight(), std::vector<std::size_t>{0});
  EXPECT_FALSE(requests.Answer(0).has_value());
  ASSERT_TRUE(requests.Answer(5).has_value());
  EXPECT_EQ(requests.Answer(5)->body, "Thanks");
  EXPECT_FALSE(requests.Done());

  // Stopping abandons the stalled request: it never finishes.
  requests.Stop();
  WaitUntil(requests, [] { return false; });
  EXPECT_TRUE(requests.Done());
  EXPECT_FALSE(requests.Answer(0).has_value());
  EXPECT_EQ(requests.Finished(), 5u);
  EXPECT_TRUE(requests.InFlight().empty());
  EXPECT_EQ(server.Requests().size(), 6u);
}

TEST(RequestPool, AUrlIsMadeOnlyWhenItsRequestIsSent) {
  TestHttpServer server;
  server.Set("/stall", Reply::Stall(30s));
  server.Set("/quick", Reply::Text("Thanks"));
  std::mutex mutex;
  std::vector<std::size_t> made;
  auto makeUrl = [&](std::size_t index) -> std::optional<std::string> {
    std::lock_guard lock(mutex);
    made.push_back(index);
    return server.Url(index == 0 ? "/stall" : "/quick");
  };

  // One at a time: while the first site stalls, no other URL exists yet, and
  // after Stop none is ever made.
  RequestPool requests(3, makeUrl, FetchLimits{}, 1);
  for (int i = 0; i < 2000 && server.Requests().empty(); ++i) std::this_thread::sleep_for(5ms);
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(made, std::vector<std::size_t>{0});
  }
  requests.Stop();
  WaitUntil(requests, [] { return false; });
  EXPECT_TRUE(requests.Done());
  EXPECT_EQ(made, std::vector<std::size_t>{0});
  EXPECT_EQ(server.Requests().size(), 1u);
}

// A site whose URL would be too long to send fails as such a URL fails, and
// says so.
TEST(RequestPool, ASiteTooLongToSendSaysSo) {
  TestHttpServer server;
  server.Set("/quick", Reply::Text("Thanks"));
  RequestPool requests(
      2,
      [&](std::size_t index) -> std::optional<std::string> {
        if (index == 0) return std::nullopt;
        return server.Url("/quick");
      },
      FetchLimits{});
  WaitUntil(requests, [] { return false; });
  ASSERT_TRUE(requests.Answer(0).has_value());
  EXPECT_EQ(ReasonText(JudgeAnswer(*requests.Answer(0))),
            "error 12004: the request is longer than 1 MiB");
  ASSERT_TRUE(requests.Answer(1).has_value());
  EXPECT_TRUE(requests.Answer(1)->ok());
}

#ifdef TESSELWICK_POOL_FAULTS
// When libcurl can no longer run the requests, the run ends at once: every
// site not yet finished fails with the reason, none is left waiting.
TEST(RequestPool, APoolThatFailsEndsTheRunWithEverySiteFailed) {
  struct Case {
    const char* what;
    std::atomic<CURLMcode>& fails;
    CURLMcode code;
  };
  const Case cases[] = {
      {"waiting for activity fails", pollFails, CURLM_UNRECOVERABLE_POLL},
      {"running the requests fails", performFails, CURLM_OUT_OF_MEMORY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestHttpServer server;
    server.Set("/stall", Reply::Stall(30s));
    server.Set("/quick", Reply::Text("Thanks"));
    const std::vector<std::string> urls = {server.Url("/quick"), server.Url("/stall?n=1"),
                                           server.Url("/stall?n=2"), server.Url("/quick?n=3"),
                                           server.Url("/quick?n=4")};
    // Two at a time: the quick site answers, then the stalled ones hold both
    // places while the rest wait.
    RequestPool requests(urls, FetchLimits{}, 2);
    WaitUntil(requests, [&] { return requests.Finished() == 1 && server.Requests().size() == 3; });
    ASSERT_EQ(requests.InFlight(), (std::vector<std::size_t>{1, 2}));
    c.fails = c.code;
    for (int i = 0; i < 500 && !requests.Done(); ++i) requests.Wait(10ms);
    c.fails = CURLM_OK;
    ASSERT_TRUE(requests.Done());
    EXPECT_EQ(requests.Finished(), urls.size());
    EXPECT_TRUE(requests.Answer(0)->ok());
    const std::string reason =
        std::string("error 12004: libcurl could not go on with the requests (") +
        curl_multi_strerror(c.code) + ")";
    for (std::size_t i = 1; i < urls.size(); ++i) {
      ASSERT_TRUE(requests.Answer(i).has_value()) << i;
      EXPECT_EQ(ReasonText(JudgeAnswer(*requests.Answer(i))), reason) << i;
    }
    EXPECT_EQ(server.Requests().size(), 3u);
  }
}
#endif

// The URL of a path on the test server under a host name of its own
// ("h3.localhost", which libcurl takes to this machine by itself).
std::string UrlOnHost(const TestHttpServer& server, int host, const std::string& path) {
  return "http://h" + std::to_string(host) + ".localhost:" + std::to_string(server.Port()) + path;
}

TEST(RequestPool, KeepToTheLimitsInFlightAndPerHost) {
  struct Case {
    const char* what;
    int sites;
    int hosts;  // site n goes to host n % hosts
    int maxConcurrent;
    std::chrono::milliseconds delay;
    long totalTimeoutSeconds;
    int mostAtOnce;  // what the server must see at least at one moment
  };
  const Case cases[] = {
      {"many hosts: the limit in flight", 100, 100, RequestPool::kDefaultConcurrency, 300ms, 120,
       RequestPool::kDefaultConcurrency / 2},
      {"few hosts: the limit per host", 24, 3, RequestPool::kDefaultConcurrency, 300ms, 120, 6},
      // Three turns of 500 ms on one host within a limit of 1 s each: a site's
      // time runs from when its request is sent, not while it waits its turn.
      {"a site waiting for its host", 12, 1, RequestPool::kDefaultConcurrency, 500ms, 1,
       RequestPool::kPerHost},
      {"a small limit in flight", 12, 12, 3, 200ms, 120, 2},
      // Sites of two hosts in turn, most of them waiting at first: each host's
      // queue goes on as soon as one of its requests ends.
      {"two hosts, many waiting", 40, 2, RequestPool::kDefaultConcurrency, 100ms, 120,
       2 * RequestPool::kPerHost},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestHttpServer server(128);
    Reply slow = Reply::Text("Thanks");
    slow.delay = c.delay;
    server.Set("/slow", slow);
    std::vector<std::string> urls;
    for (int n = 0; n < c.sites; ++n)
      urls.push_back(UrlOnHost(server, n % c.hosts, "/slow?n=" + std::to_string(n)));
    FetchLimits limits;
    limits.totalTimeoutSeconds = c.totalTimeoutSeconds;

    RequestPool requests(urls, limits, c.maxConcurrent);
    WaitUntil(requests, [] { return false; });
    ASSERT_TRUE(requests.Done());
    EXPECT_EQ(requests.Finished(), static_cast<std::size_t>(c.sites));
    for (std::size_t i = 0; i < urls.size(); ++i) {
      ASSERT_TRUE(requests.Answer(i).has_value()) << i;
      EXPECT_TRUE(requests.Answer(i)->ok()) << i << ": " << requests.Answer(i)->error;
      EXPECT_GE(requests.Answer(i)->seconds, std::chrono::duration<double>(c.delay).count()) << i;
    }
    EXPECT_EQ(server.Requests().size(), urls.size());
    EXPECT_LE(server.PeakHeld(), std::min(c.maxConcurrent, c.hosts * RequestPool::kPerHost));
    EXPECT_GE(server.PeakHeld(), c.mostAtOnce);
    for (int host = 0; host < c.hosts; ++host) {
      const std::string name =
          "h" + std::to_string(host) + ".localhost:" + std::to_string(server.Port());
      EXPECT_LE(server.PeakHeld(name), RequestPool::kPerHost) << name;
    }
  }
}

#ifndef _WIN32
// How many of this process's sockets are connected to `port` on this machine.
int ConnectionsTo(int port) {
  int count = 0;
  for (int fd = 0; fd < 4096; ++fd) {
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) == 0 &&
        peer.sin_family == AF_INET && ntohs(peer.sin_port) == port)
      ++count;
  }
  return count;
}

// A connection stays open after its request only where another site of its
// host may use it: a run over many hosts leaves none behind, which keeps
// libcurl's cache of connections from growing with the hosts of the list.
TEST(RequestPool, ConnectionsAreKeptOnlyForSitesOfTheSameHost) {
  struct Case {
    const char* what;
    int sites;
    int hosts;  // site n goes to host n % hosts
    int leastKept;
    int mostKept;
  };
  // Few enough sites on one host that the test server never closes a
  // connection for the number of requests it has carried.
  const Case cases[] = {
      {"a host for each site", 20, 20, 0, 0},
      {"one host for all", 8, 1, 1, RequestPool::kPerHost},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestHttpServer server;
    server.Set("/quick", Reply::Text("Thanks"));
    std::vector<std::string> urls;
    for (int n = 0; n < c.sites; ++n) urls.push_back(UrlOnHost(server, n % c.hosts, "/quick"));
    RequestPool requests(urls, FetchLimits{});
    WaitUntil(requests, [] { return false; });
    ASSERT_TRUE(requests.Done());
    EXPECT_EQ(requests.Finished(), urls.size());
    const int kept = ConnectionsTo(server.Port());
    EXPECT_GE(kept, c.leastKept);
    EXPECT_LE(kept, c.mostKept);
  }
}
#endif

TEST(RequestPool, StopAbandonsSixtyFourRequestsAtOnceAndSendsNoMore) {
#ifndef _WIN32
  // A process that may open only a few files: the run raises the limit to
  // what its requests need.
  rlimit limit{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
  rlimit few = limit;
  few.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &few), 0);
  struct Restore {
    rlimit limit;
    ~Restore() { setrlimit(RLIMIT_NOFILE, &limit); }
  } restore{limit};
#endif
  TestHttpServer server(128);
  server.Set("/stall", Reply::Stall(60s));
  std::vector<std::string> urls;
  for (int n = 0; n < 100; ++n) urls.push_back(UrlOnHost(server, n, "/stall"));

  RequestPool requests(urls, FetchLimits{});
  for (int i = 0; i < 2000 && server.Requests().size() < 64; ++i) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(server.Requests().size(), 64u);
  EXPECT_EQ(requests.InFlight().size(), 64u);
  requests.Stop();
  // Long before any stall ends.
  for (int i = 0; i < 2000 && !requests.Done(); ++i) requests.Wait(10ms);
  EXPECT_TRUE(requests.Done());
  EXPECT_EQ(requests.Finished(), 0u);
  EXPECT_TRUE(requests.InFlight().empty());
  EXPECT_EQ(server.Requests().size(), 64u);
}

TEST(SubmissionRun, RowsAndLeftFieldsFollowTheListWhateverOrderTheAnswersArriveIn) {
  TempFolder folder;
  TestHttpServer server;
  server.Set("/pad.xml", Reply::Text(kPadFile));
  // The list's first site answers last, its last site first.
  server.Set("/stall", Reply::Stall(30s));
  Reply slow = Reply::Text("Thanks, slowly");
  slow.delay = 400ms;
  server.Set("/slow", slow);
  server.Set("/fast", Reply::Text("Thanks, fast"));
  server.Set("/error", Reply::Text("Error: no", 500));
  folder.Write("pad.dat", SiteFile({Site("Stalled", server.Url("/stall")),
                                    Site("Broken", server.Url("/error")),
                                    Site("Refused", "ftp://127.0.0.1/%CATEGORY%"),
                                    Site("Slow", server.Url("/slow?pad=%PADURL%")),
                                    Site("Fast", server.Url("/fast?cat=%CATEGORY%"))}));

  FakeMainWindow w(folder.Path());
  w.dialog.fetchLimits.stallTimeoutSeconds = 1;
  w.dialog.Initialise();
  w.urlBox.edit = server.Url("/pad.xml");
  w.dialog.SubmissionRun();

  EXPECT_EQ(RowsOf(folder.Read("Report.htm")), Row("Stalled", "Fail") + Row("Broken", "Fail") +
                                                   Row("Refused", "Fail") + Row("Slow", "Pass") +
                                                   Row("Fast", "Pass"));
  // As after one request after another: the last site's answer and working
  // copy, and the error of the last site in the list that failed (the
  // unrecognised scheme, not the stall that ended later).
  EXPECT_EQ(w.dialog.CurrentSite.Title, "Fast");
  EXPECT_EQ(w.dialog.CurrentSite.RequestTemplate, server.Url("/fast?cat=Games%3A%3APuzzle"));
  EXPECT_EQ(w.dialog.ResponseText, "Thanks, fast");
  EXPECT_EQ(w.dialog.ResponseStatus, 200);
  EXPECT_EQ(w.dialog.ErrorText, ErrorNumber(FetchError::UnrecognizedScheme));
  EXPECT_EQ(w.siteList.Row(4).RequestTemplate, server.Url("/fast?cat=%CATEGORY%"));
}

TEST(SubmissionRun, EachSiteIsRequestedOnceAtMostFourAtATimeToOneHost) {
  TempFolder concurrent;
  TempFolder oneByOne;
  site::SiteConfig config;
  config.port = 0;
  config.dataDir = site::SourceDataDir();
  config.manualFile = site::SourceManualFile();
  config.demo = true;
  config.demoSites = 40;
  config.demoDelay = 100ms;
  site::SiteServer server(config);
  ASSERT_TRUE(server.Start()) << server.Error();

  auto run = [&](const TempFolder& folder, int concurrency) {
    folder.Write("pad.dat", server.PublishedSiteList());
    FakeMainWindow w(folder.Path());
    w.dialog.maxConcurrentRequests = concurrency;
    w.dialog.Initialise();
    w.urlBox.edit = server.DemoPadUrl();
    const long long before = server.RequestsAnswered();
    server.ResetPeak();
    w.dialog.SubmissionRun();
    // The PAD file and one request per site. The server counts an answer just
    // after sending it, so the count may lag a moment behind the run.
    for (int i = 0; i < 200 && server.RequestsAnswered() - before < 41; ++i)
      std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(server.RequestsAnswered() - before, 41);
    return folder.Read("Report.htm");
  };

  // The demo sites share one host: the run keeps within its share of the
  // site, whatever its limit in flight.
  const std::string sideBySide = run(concurrent, RequestPool::kDefaultConcurrency);
  EXPECT_LE(server.PeakInFlight(), RequestPool::kPerHost);
  EXPECT_GT(server.PeakInFlight(), 1);
  const std::string inTurn = run(oneByOne, 1);
  EXPECT_EQ(server.PeakInFlight(), 1);
  // The same report either way, with every site in it, in list order.
  EXPECT_EQ(sideBySide, inTurn);
  std::size_t at = 0;
  for (int n = 40; n >= 1; --n) {
    at = sideBySide.find(">" + HtmlEscape(site::DemoSiteTitle(n)) + "</a>", at);
    ASSERT_NE(at, std::string::npos) << "site " << n;
  }
}

TEST(SubmissionRun, StopReportsTheSitesThatFinishedAndRequestsNoMore) {
  TempFolder folder;
  TestHttpServer server;
  server.Set("/pad.xml", Reply::Text(kPadFile));
  server.Set("/stall", Reply::Stall(30s));
  server.Set("/quick", Reply::Text("Thanks"));
  Reply slow = Reply::Text("Thanks, slowly");
  slow.delay = 30s;
  server.Set("/slow", slow);
  folder.Write(
      "pad.dat",
      SiteFile({Site("Stalled", server.Url("/stall")), Site("Quick", server.Url("/quick?n=1")),
                Site("Slow", server.Url("/slow")), Site("Later", server.Url("/quick?n=2")),
                Site("Last", server.Url("/quick?n=3"))}));

  // Two at a time: Stalled and Quick start, then Slow takes Quick's place.
  // Stop comes while Stalled and Slow are under way.
  ScriptedProgress progress(
      [&server](const SiteRun& run, const std::vector<std::size_t>& awaiting) {
        if (run.Finished() != 1 || server.Requests().size() != 4) return false;
        EXPECT_EQ(awaiting, (std::vector<std::size_t>{0, 2}));
        return true;
      });
  FakeMainWindow w(folder.Path());
  w.dialog.maxConcurrentRequests = 2;
  w.dialog.runProgress = &progress;
  w.dialog.Initialise();
  w.urlBox.edit = server.Url("/pad.xml");
  w.dialog.SubmissionRun();

  EXPECT_EQ(progress.padFileWaits, 1);
  EXPECT_EQ(progress.sitesShown.size(), 5u);
  EXPECT_EQ(progress.sitesShown[2].Title, "Slow");
  EXPECT_EQ(RowsOf(folder.Read("Report.htm")), Row("Quick", "Pass"));
  EXPECT_EQ(w.shell.opened.size(), 1u);
  EXPECT_EQ(w.dialog.CurrentSite.Title, "Quick");
  EXPECT_EQ(w.dialog.ResponseText, "Thanks");
  // No request was sent after Stop.
  std::vector<std::string> targets;
  for (const auto& request : server.Requests()) targets.push_back(request.target);
  std::sort(targets.begin(), targets.end());
  EXPECT_EQ(targets, (std::vector<std::string>{"/pad.xml", "/quick?n=1", "/slow", "/stall"}));
}

}  // namespace
}  // namespace tesselwick

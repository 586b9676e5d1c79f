#include "core/net/http_fetch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "core/net/background_fetch.h"
#include "core/net/judgement.h"
#include "core/net/request_pool.h"
#include "support/refusing_port.h"
#include "support/temp_folder.h"
#include "support/test_http_server.h"

namespace tesselwick {
namespace {

using test::Reply;
using test::TestHttpServer;
using namespace std::chrono_literals;

void ExpectFailure(const FetchResult& result, FetchError error) {
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.error, error);
  EXPECT_EQ(result.body, "");
}

TEST(HttpFetch, LineModeDropsCarriageReturnsAndEndsEveryLine) {
  TestHttpServer server;
  server.Set("/crlf", Reply::Text("A\r\nB\r\n"));
  server.Set("/lf", Reply::Text("A\nB"));
  server.Set("/empty", Reply::Text(""));
  server.Set("/blank-lines", Reply::Text("\r\n\nC\r"));

  for (const char* path : {"/crlf", "/lf"}) {
    const FetchResult result = HttpFetch(server.Url(path), FetchMode::Lines);
    EXPECT_TRUE(result.ok()) << path;
    EXPECT_EQ(result.status, 200) << path;
    EXPECT_EQ(result.body, "A\nB\n") << path;
  }
  const FetchResult empty = HttpFetch(server.Url("/empty"), FetchMode::Lines);
  EXPECT_TRUE(empty.ok());
  EXPECT_EQ(empty.body, "");
  EXPECT_EQ(HttpFetch(server.Url("/blank-lines"), FetchMode::Lines).body, "\n\nC\n");
}

TEST(HttpFetch, BlockModeKeepsEveryByteInOrder) {
  std::string body;
  for (int i = 0; i < 2500; ++i) body.push_back(static_cast<char>(1 + i % 255));
  TestHttpServer server;
  server.Set("/pad.xml", Reply::Text(body));
  Reply chunked = Reply::Text(body);
  chunked.chunked = true;
  server.Set("/chunked", chunked);

  for (const char* path : {"/pad.xml", "/chunked"}) {
    const FetchResult result = HttpFetch(server.Url(path), FetchMode::Blocks);
    EXPECT_TRUE(result.ok()) << path;
    EXPECT_EQ(result.body.size(), 2500u) << path;
    EXPECT_EQ(result.body, body) << path;
  }
}

TEST(HttpFetch, AnErrorStatusIsAnAnswerWithItsPage) {
  TestHttpServer server;
  server.Set("/gone", Reply::Text("<h1>Error 404</h1>", 404));
  server.Set("/broken", Reply::Text("oops\r\n", 500));

  const FetchResult missing = HttpFetch(server.Url("/gone"), FetchMode::Blocks);
  EXPECT_TRUE(missing.ok());
  EXPECT_EQ(missing.status, 404);
  EXPECT_EQ(missing.body, "<h1>Error 404</h1>");
  const FetchResult broken = HttpFetch(server.Url("/broken"), FetchMode::Lines);
  EXPECT_TRUE(broken.ok());
  EXPECT_EQ(broken.status, 500);
  EXPECT_EQ(broken.body, "oops\n");
}

TEST(HttpFetch, EachModeSendsItsOwnRequestHeaders) {
  TestHttpServer server;
  server.Set("/a", Reply::Text("a"));

  ASSERT_TRUE(HttpFetch(server.Url("/a?version=1.01"), FetchMode::Lines).ok());
  ASSERT_TRUE(HttpFetch(server.Url("/a?cat=Games+%26amp%3B+Puzzle"), FetchMode::Blocks).ok());
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);

  const auto& lines = requests[0];
  EXPECT_EQ(lines.target, "/a?version=1.01");
  EXPECT_EQ(lines.userAgent, "TesselWick 1.0 Agent");
  EXPECT_EQ(lines.HeaderCount("Accept"), 0u);
  EXPECT_EQ(lines.HeaderCount("Cache-Control"), 0u);
  EXPECT_EQ(lines.HeaderCount("Pragma"), 0u);

  const auto& blocks = requests[1];
  EXPECT_EQ(blocks.target, "/a?cat=Games+%26amp%3B+Puzzle");
  EXPECT_EQ(blocks.path, "/a");
  EXPECT_EQ(blocks.query, "cat=Games+%26amp%3B+Puzzle");
  EXPECT_EQ(blocks.userAgent, "Tesselwick 1.0 Agent");
  EXPECT_EQ(blocks.HeaderCount("Accept"), 1u);
  EXPECT_EQ(blocks.Header("Accept"), "*/*");
  EXPECT_EQ(blocks.Header("Cache-Control"), "no-cache");
  EXPECT_EQ(blocks.Header("Pragma"), "no-cache");
}

TEST(HttpFetch, FailuresToOpenCarryTheirNumbers) {
  ExpectFailure(HttpFetch("", FetchMode::Blocks), FetchError::InvalidUrl);
  ExpectFailure(HttpFetch("http://no-such-host.invalid/pad.xml", FetchMode::Blocks),
                FetchError::NameNotResolved);
  const test::RefusingPort refusing;
  ExpectFailure(HttpFetch(refusing.Url("/"), FetchMode::Lines), FetchError::CannotConnect);
  ExpectFailure(HttpFetch("gopher://127.0.0.1/", FetchMode::Blocks),
                FetchError::UnrecognizedScheme);
}

TEST(HttpFetch, OnlyHttpAndHttpsAddressesAreRequestedAndNoSchemeIsGuessed) {
  TestHttpServer server;
  server.Set("/pad.xml", Reply::Text("<XML_DIZ_INFO/>"));
  const std::string url = server.Url("/pad.xml");
  const std::string withoutScheme = url.substr(std::string_view("http://").size());
  for (const std::string& address :
       {withoutScheme, std::string("www.example.com/pad.xml"), " " + url, "http:" + withoutScheme,
        std::string("mailto:author@example.com")}) {
    for (const FetchMode mode : {FetchMode::Blocks, FetchMode::Lines}) {
      ExpectFailure(HttpFetch(address, mode), FetchError::UnrecognizedScheme);
    }
  }
  EXPECT_TRUE(server.Requests().empty());
  // Letter case does not matter.
  EXPECT_TRUE(HttpFetch("HTTP://" + withoutScheme, FetchMode::Blocks).ok());

  // A URL longer than any request libcurl sends is not handed to it, and
  // its failure says so.
  const FetchResult tooLong =
      HttpFetch(url + "?" + std::string(kMaxUrlBytes, 'q'), FetchMode::Blocks);
  ExpectFailure(tooLong, FetchError::Internal);
  EXPECT_EQ(DescribeFetchError(tooLong), "12004: the request is longer than 1 MiB");
  EXPECT_EQ(FailureNumber(tooLong), "12004: the request is longer than 1 MiB");
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(HttpFetch, AFailureIsReportedAndItsNumberOutlivesALaterSuccess) {
  TestHttpServer server;
  server.Set("/pad.xml", Reply::Text("<XML_DIZ_INFO/>"));
  std::string errorText = "earlier";

  testing::internal::CaptureStderr();
  for (const std::string& url : {std::string(), server.Url("/pad.xml")}) {
    const FetchResult result = HttpFetch(url, FetchMode::Blocks);
    if (!result.ok()) ReportFetchFailure(result.error, errorText);
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "OpenUrl failed: 12005\n");
  EXPECT_EQ(errorText, "12005");
}

// Sets proxy variables for as long as it lives, and takes them away again.
class ProxyEnvironment {
 public:
  explicit ProxyEnvironment(const std::string& proxy) {
    for (const char* name : kNames) setenv(name, proxy.c_str(), 1);
  }
  ~ProxyEnvironment() {
    for (const char* name : kNames) unsetenv(name);
  }

 private:
  static constexpr const char* kNames[] = {"http_proxy",  "HTTP_PROXY", "https_proxy",
                                           "HTTPS_PROXY", "ALL_PROXY",  "all_proxy"};
};

TEST(HttpFetch, ProxyVariablesChangeNothing) {
  TestHttpServer server;
  server.Set("/a", Reply::Text("direct"));
  const test::RefusingPort deadProxy;
  const ProxyEnvironment proxies(deadProxy.Url(""));

  EXPECT_EQ(HttpFetch(server.Url("/a"), FetchMode::Lines).body, "direct\n");
  EXPECT_EQ(HttpFetch(server.Url("/a"), FetchMode::Blocks).body, "direct");
  EXPECT_EQ(server.Requests().size(), 2u);
}

TEST(HttpFetch, OnlyWebAddressesAreRead) {
  test::TempFolder folder;
  folder.Write("secret.txt", "local file");
  const std::string fileUrl = "file://" + (folder / "secret.txt").string();
  TestHttpServer server;
  server.Set("/to-file", Reply::Redirect(fileUrl));
  server.Set("/moved", Reply::Redirect(server.Url("/here"), 301));
  server.Set("/here", Reply::Text("arrived"));

  ExpectFailure(HttpFetch(fileUrl, FetchMode::Blocks), FetchError::UnrecognizedScheme);
  ExpectFailure(HttpFetch(server.Url("/to-file"), FetchMode::Blocks), FetchError::RedirectFailed);
  ExpectFailure(HttpFetch(server.Url("/to-file"), FetchMode::Lines), FetchError::RedirectFailed);
  const FetchResult moved = HttpFetch(server.Url("/moved"), FetchMode::Blocks);
  EXPECT_TRUE(moved.ok());
  EXPECT_EQ(moved.status, 200);
  EXPECT_EQ(moved.body, "arrived");
}

TEST(HttpFetch, TenRedirectsAreFollowedButNotEleven) {
  TestHttpServer server;
  // /r11 -> /r10 -> ... -> /r1 -> /end
  server.Set("/end", Reply::Text("end"));
  server.Set("/r1", Reply::Redirect(server.Url("/end")));
  for (int i = 2; i <= 11; ++i) {
    server.Set("/r" + std::to_string(i), Reply::Redirect(server.Url("/r" + std::to_string(i - 1))));
  }

  EXPECT_EQ(HttpFetch(server.Url("/r10"), FetchMode::Blocks).body, "end");
  ExpectFailure(HttpFetch(server.Url("/r11"), FetchMode::Blocks), FetchError::RedirectFailed);
}

TEST(HttpFetch, ABodyOverTheCapFails) {
  TestHttpServer server;
  server.Set("/fits", Reply::Text(std::string(1000, 'a')));
  server.Set("/long", Reply::Text(std::string(1001, 'a')));
  Reply unannounced = Reply::Text(std::string(5000, 'a'));
  unannounced.chunked = true;
  server.Set("/unannounced", unannounced);
  server.Set("/huge", Reply::Huge(std::size_t{17} * 1024 * 1024));
  FetchLimits limits;
  limits.maxBodyBytes = 1000;

  EXPECT_EQ(HttpFetch(server.Url("/fits"), FetchMode::Blocks, limits).body.size(), 1000u);
  EXPECT_FALSE(HttpFetch(server.Url("/long"), FetchMode::Blocks, limits).ok());
  ExpectFailure(HttpFetch(server.Url("/unannounced"), FetchMode::Lines, limits),
                FetchError::Internal);
  // The program's own cap of 16 MiB; the failure names it.
  const FetchResult huge = HttpFetch(server.Url("/huge"), FetchMode::Blocks);
  ExpectFailure(huge, FetchError::Internal);
  EXPECT_EQ(DescribeFetchError(huge), "12004: the answer is larger than 16 MiB");
  EXPECT_EQ(DescribeFetchError(HttpFetch(server.Url("/long"), FetchMode::Blocks, limits)),
            "12004: the answer is larger than 1000 bytes");
  // A failure that no limit decided keeps the number's own words, and the
  // PAD file's box the number alone.
  const FetchResult refused = HttpFetch("gopher://127.0.0.1/", FetchMode::Blocks);
  EXPECT_EQ(DescribeFetchError(refused), "12006: not an http or https address");
  EXPECT_EQ(FailureNumber(refused), "12006");
}

TEST(HttpFetch, TheProgramsOwnLimits) {
  const FetchLimits limits;
  EXPECT_EQ(limits.connectTimeoutSeconds, 60);
  EXPECT_EQ(limits.stallTimeoutSeconds, 60);
  EXPECT_EQ(limits.totalTimeoutSeconds, 120);
  EXPECT_EQ(limits.maxRedirects, 10);
  EXPECT_EQ(limits.maxBodyBytes, std::size_t{16} * 1024 * 1024);
}

TEST(HttpFetch, ABodyCutOffStalledOrTrickledIsAFailedRetrieval) {
  TestHttpServer server;
  server.Set("/cut", Reply::CutOff(std::string(4000, 'c')));
  server.Set("/stall", Reply::Stall(30s));
  // A byte every 100 ms: never a stall, but it would go on for 100 seconds.
  server.Set("/trickle", Reply::Trickle(std::string(1000, 't'), 100ms));
  FetchLimits limits;
  limits.stallTimeoutSeconds = 1;
  limits.totalTimeoutSeconds = 2;

  ExpectFailure(HttpFetch(server.Url("/cut"), FetchMode::Blocks), FetchError::ConnectionAborted);
  ExpectFailure(HttpFetch(server.Url("/cut"), FetchMode::Lines), FetchError::ConnectionAborted);
  const FetchResult stalled = HttpFetch(server.Url("/stall"), FetchMode::Blocks, limits);
  ExpectFailure(stalled, FetchError::TimedOut);
  EXPECT_EQ(stalled.status, 200);
  const FetchResult trickled = HttpFetch(server.Url("/trickle"), FetchMode::Blocks, limits);
  ExpectFailure(trickled, FetchError::TimedOut);
  EXPECT_EQ(trickled.status, 200);
}

TEST(HttpFetch, OnlyATransferThatReceivesNothingForTheStallTimeHasStalled) {
  // Less than a byte a second, but never a pause as long as the stall time.
  TestHttpServer server;
  server.Set("/slow", Reply::Trickle("ok", 1200ms));
  FetchLimits limits;
  limits.stallTimeoutSeconds = 2;

  const FetchResult slow = HttpFetch(server.Url("/slow"), FetchMode::Blocks, limits);
  EXPECT_TRUE(slow.ok()) << slow.error;
  EXPECT_EQ(slow.body, "ok");
}

TEST(HttpFetch, CancellingAbandonsTheTransfer) {
  TestHttpServer server;
  server.Set("/stall", Reply::Stall(30s));
  std::atomic<bool> cancel{false};
  FetchLimits limits;
  limits.cancel = &cancel;

  FetchResult result;
  std::thread worker([&] { result = HttpFetch(server.Url("/stall"), FetchMode::Blocks, limits); });
  // Cancels once the request has arrived (or after a generous wait, so a fault can't hang).
  for (int i = 0; i < 2000 && server.Requests().empty(); ++i) std::this_thread::sleep_for(5ms);
  cancel = true;
  worker.join();
  ExpectFailure(result, FetchError::ConnectionAborted);
  EXPECT_TRUE(result.cancelled);

  // Cancelled before it starts: nothing is fetched.
  const FetchResult early = HttpFetch(server.Url("/stall"), FetchMode::Blocks, limits);
  ExpectFailure(early, FetchError::ConnectionAborted);
  EXPECT_TRUE(early.cancelled);

  // A connection the server drops has the same number but was no cancel.
  server.Set("/cut", Reply::CutOff(std::string(4000, 'c')));
  cancel = false;
  const FetchResult dropped = HttpFetch(server.Url("/cut"), FetchMode::Blocks, limits);
  ExpectFailure(dropped, FetchError::ConnectionAborted);
  EXPECT_FALSE(dropped.cancelled);
}

TEST(HttpFetch, RetrievalsRunSideBySide) {
  TestHttpServer server;
  constexpr int kCount = 32;
  for (int i = 0; i < kCount; ++i) {
    server.Set("/site" + std::to_string(i), Reply::Text("answer " + std::to_string(i)));
  }
  std::vector<FetchResult> results(kCount);
  std::vector<std::thread> workers;
  for (int i = 0; i < kCount; ++i) {
    workers.emplace_back([&, i] {
      results[static_cast<std::size_t>(i)] =
          HttpFetch(server.Url("/site" + std::to_string(i)), FetchMode::Blocks);
    });
  }
  for (auto& worker : workers) worker.join();
  for (int i = 0; i < kCount; ++i) {
    EXPECT_EQ(results[static_cast<std::size_t>(i)].body, "answer " + std::to_string(i));
  }
}

// An address whose host name holds letters outside ASCII is requested under
// the name's ASCII form, which libcurl makes, whatever the user's locale;
// a name that cannot be converted fails with its own reason. The same for a
// retrieval of its own and for a run's site requests.
TEST(HttpFetch, InternationalHostNamesAreRequestedInTheirAsciiForm) {
  TestHttpServer server;
  server.Set("/pad.xml", Reply::Text("<XML_DIZ_INFO/>"));
  const std::string port = std::to_string(server.Port());
  struct Case {
    const char* what;
    std::string url;
    std::string host;    // as the server sees it; empty: nothing is sent
    std::string reason;  // for a failure
  };
  const Case cases[] = {
      {"German",
       "http://b\xC3\xBC"
       "cher.localhost:" +
           port + "/pad.xml",
       "xn--bcher-kva.localhost:" + port, ""},
      {"Japanese", "http://\xE4\xBE\x8B\xE3\x81\x88.localhost:" + port + "/pad.xml",
       "xn--r8jz45g.localhost:" + port, ""},
      {"upper case",
       "http://B\xC3\x9C"
       "CHER.localhost:" +
           port + "/pad.xml",
       "xn--bcher-kva.localhost:" + port, ""},
      {"not UTF-8",
       "http://b\xFC"
       "cher.localhost:" +
           port + "/pad.xml",
       "", "error 12005: the host name is not a valid international name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    server.ClearRequests();
    const FetchResult alone = HttpFetch(c.url, FetchMode::Blocks);
    RequestPool run(std::vector<std::string>{c.url}, FetchLimits{});
    while (!run.Done()) run.Wait(10ms);
    ASSERT_TRUE(run.Answer(0).has_value());
    for (const FetchResult& result : {alone, *run.Answer(0)}) {
      if (c.host.empty()) {
        ExpectFailure(result, FetchError::InvalidUrl);
        EXPECT_EQ(ReasonText(JudgeAnswer(result)), c.reason);
      } else {
        EXPECT_TRUE(result.ok()) << result.error << " " << result.cause;
        EXPECT_EQ(result.body, "<XML_DIZ_INFO/>");
      }
    }
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), c.host.empty() ? 0u : 2u);
    for (const auto& request : requests) EXPECT_EQ(request.Header("Host"), c.host);
  }
}

#ifdef __linux__
// The threads of this process.
std::size_t ThreadCount() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
    ++count;
  return count;
}
#endif

// A fetch given up is Done at once with a cancelled result, whatever its
// server does; its thread winds down by itself, and the program can wait for
// that before it ends.
TEST(BackgroundFetch, StopGivesUpAtOnceAndTheThreadEndsByItself) {
  TestHttpServer server;
  server.Set("/stall", Reply::Stall(30s));
  server.Set("/pad.xml", Reply::Text("<XML_DIZ_INFO/>"));
  // Threads are counted once the server's own are all there.
  ASSERT_TRUE(HttpFetch(server.Url("/pad.xml"), FetchMode::Blocks).ok());
#ifdef __linux__
  const std::size_t threadsBefore = ThreadCount();
#endif
  {
    BackgroundFetch fetch(server.Url("/stall"), FetchMode::Blocks, {});
    for (int i = 0; i < 2000 && server.Requests().size() < 2; ++i) std::this_thread::sleep_for(5ms);
    EXPECT_FALSE(fetch.Done());
    fetch.Stop();
    EXPECT_TRUE(fetch.Done());
    const FetchResult result = fetch.Result();
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.error, FetchError::ConnectionAborted);
  }
  // More given up at once, as a window that is closed in a hurry does.
  {
    std::vector<std::unique_ptr<BackgroundFetch>> fetches;
    for (int i = 0; i < 8; ++i)
      fetches.push_back(std::make_unique<BackgroundFetch>(server.Url("/stall"), FetchMode::Blocks,
                                                          FetchLimits{}));
    for (int i = 0; i < 2000 && server.Requests().size() < 1 + 1 + 8; ++i)
      std::this_thread::sleep_for(5ms);
  }
  EXPECT_TRUE(BackgroundFetch::WaitForUnfinished(10s));
#ifdef __linux__
  // Once the wait is over, the threads given up have been joined: the
  // program can end without one still running.
  EXPECT_EQ(ThreadCount(), threadsBefore);
#endif

  BackgroundFetch whole(server.Url("/pad.xml"), FetchMode::Blocks, {});
  const FetchResult answer = whole.Result();
  EXPECT_TRUE(answer.ok());
  EXPECT_EQ(answer.body, "<XML_DIZ_INFO/>");
  // Stopped after the answer came: the answer stays.
  whole.Stop();
  EXPECT_TRUE(whole.Result().ok());
}

}  // namespace
}  // namespace tesselwick

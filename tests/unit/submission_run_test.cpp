#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/net/judgement.h"
#include "core/platform/date.h"
#include "core/submit/report.h"
#include "core/submit/request_url.h"
#include "core/submit/run_results.h"
#include "core/submit/submission.h"
#include "core/text/percent_encode.h"
#include "core/text/replace.h"
#include "support/fake_controls.h"
#include "support/refusing_port.h"
#include "support/sample_sites.h"
#include "support/temp_folder.h"
#include "support/test_http_server.h"

namespace tesselwick {
namespace {

using test::FakeMainWindow;
using test::Reply;
using test::TempFolder;
using test::TestHttpServer;
using Message = std::pair<std::string, std::string>;

const std::string kCredit =
    std::string("Submitted by <a href=\"") + TESSELWICK_SITE_URL + "\">TesselWick</a><br><br>";
const std::string kReportHead = "<b>Shareware Submission Report</b><br>PAD File: ";
const std::string kTableHead =
    "<table width=\"100%\"><tr><td>Site Name</td><td>Submit URL</td><td>Status</td>"
    "<td>Submission Date</td></tr>";

const char* kPadFile =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<XML_DIZ_INFO>\r\n<Program_Info>\r\n"
    "<Program_Name>Puzzle Box</Program_Name>\r\n"
    "<Program_Category_Class>Games &amp; Entertainment::Puzzle</Program_Category_Class>\r\n"
    "</Program_Info>\r\n</XML_DIZ_INFO>\r\n";
const char* kCategory = "Games+%26amp%3B+Entertainment%3A%3APuzzle";

// The whole report as the built-in layout gives it.
std::string ReportBytes(const std::string& padUrl, const std::string& category,
                        const std::string& rows) {
  return kReportHead + padUrl + "<br>Category: " + category + "<br>Date: " + Today() + "<br>" +
         kCredit + kTableHead + rows + "</table><br><br>" + kCredit + "\r\n";
}

using test::RefusingPort;

std::string HeaderOf(const test::RecordedRequest& request, const std::string& name) {
  for (const auto& [key, value] : request.headers)
    if (EqualsNoCase(key, name)) return value;
  return "<none>";
}

// Every request's target: the PAD file's first, as it is fetched before any
// site, then the sites' in sorted order, as they are requested side by side.
std::vector<std::string> Targets(const TestHttpServer& server) {
  std::vector<std::string> targets;
  for (const auto& request : server.Requests()) targets.push_back(request.target);
  if (!targets.empty()) std::sort(targets.begin() + 1, targets.end());
  return targets;
}

// A pad.dat record with every field, so that nothing carries over.
std::string Site(const std::string& title, const std::string& url, const std::string& submitUrl,
                 const std::string& request) {
  return "TITLE=" + title + "\r\nURL=" + url + "\r\nSUBMITURL=" + submitUrl +
         "\r\nGETORPOST=" + request + "\r\n";
}

TEST(SiteRequest, TemplatesAreFilledWithTheCategoryAndTheEscapedPadUrl) {
  EXPECT_EQ(SiteRequestUrl("http://s/plain", "C", "P"), "http://s/plain");
  EXPECT_EQ(SiteRequestUrl("http://s/?a=%PADURL%&b=%PADURL%", "C", "http://p/x.xml"),
            "http://s/?a=http://p/x.xml&b=http://p/x.xml");
  EXPECT_EQ(SiteRequestUrl("http://s/?a=\n%PAD\nURL%&c=%CATEGORY%\n", "Games", "P"),
            "http://s/?a=P&c=Games");
  // The PAD URL arrives as one value: its query, fragment and every byte
  // that a site would read otherwise are percent-encoded, nothing else.
  EXPECT_EQ(SiteRequestUrl("http://s/?u=%PADURL%&c=%CATEGORY%", "Games",
                           "http://p/pad.xml?id=7&lang=en#top"),
            "http://s/?u=http://p/pad.xml%3Fid=7%26lang=en%23top&c=Games");
  EXPECT_EQ(SiteRequestUrl("%PADURL%", "", "http://p/a b+c%20d\x01\x7F\xE9;=@:~"),
            "http://p/a%20b%2Bc%2520d%01%7F%E9;=@:~");
  // Neither value is filled again.
  EXPECT_EQ(SiteRequestUrl("%CATEGORY%|%PADURL%", "x%PADURL%", "p%CATEGORY%"),
            "xp%25CATEGORY%25|p%25CATEGORY%25");
  // An empty template gives an empty URL, which fails without a request.
  EXPECT_EQ(SiteRequestUrl("\n", "C", "P"), "");
}

TEST(SiteRequest, AUrlTooLongToSendIsNeverMade) {
  const std::string category(kMaxUrlBytes / 4, 'c');
  const std::string padUrl(kMaxUrlBytes / 4, 'p');
  EXPECT_EQ(SiteRequestUrl("%CATEGORY%%CATEGORY%%PADURL%", category, padUrl)->size(),
            3 * kMaxUrlBytes / 4);
  EXPECT_EQ(SiteRequestUrl("%CATEGORY%%CATEGORY%%PADURL%%PADURL%x", category, padUrl),
            std::nullopt);
  EXPECT_EQ(SiteRequestUrl("%CATEGORY%%CATEGORY%%CATEGORY%%CATEGORY%x", category, padUrl),
            std::nullopt);
  // Escaping makes the PAD URL three times as long.
  EXPECT_EQ(SiteRequestUrl("%PADURL%%PADURL%", "", std::string(kMaxUrlBytes / 4, ' ')),
            std::nullopt);
  EXPECT_EQ(SiteRequestUrl(std::string(kMaxUrlBytes + 1, 't'), "", ""), std::nullopt);
}

// The answer to a request that succeeded with `status`, its body arriving in
// pieces of `pieceSize` bytes.
FetchResult AnswerInPieces(long status, std::string_view body, std::size_t pieceSize) {
  BodyReader reader(FetchMode::Blocks, std::size_t{1} << 20, BodyKeeping::Head);
  for (std::size_t at = 0; at < body.size(); at += pieceSize) {
    EXPECT_TRUE(reader.Take(body.substr(at, pieceSize)));
  }
  FetchResult answer;
  answer.status = status;
  answer.saysError = reader.SaysError();
  answer.says404 = reader.Says404();
  answer.body = std::move(reader).Finish();
  return answer;
}

TEST(SiteRequest, AnswersFailOnTheirErrorWordsAnywhereOrAnErrorStatus) {
  struct Case {
    long status;
    std::string body;
    const char* reason;  // "" for a pass
  };
  const std::string far(3 * kAnswerHeadBytes, '.');
  const char* error = "answer contains \"Error\"";
  const char* notFound = "answer contains \"404\"";
  const Case cases[] = {
      {200, "Thank you, your PAD file was received.", ""},
      {200, "", ""},
      {302, "Moved", ""},
      {200, "error (lower case) and 40 4", ""},
      {200, "Erro r, Err or, 40-4", ""},
      {200, "Error at the very start", error},
      {200, "E404", notFound},
      {200, "Some Errors occurred", error},
      {200, "code 4040", notFound},
      {200, "ends in Error", error},
      {200, "404 Error", error},
      // Well past the head of the answer that is kept.
      {200, far + "Error" + far, error},
      {200, far + "404", notFound},
      {200, far, ""},
      {404, "Gone", "HTTP 404"},
      {500, "Thank you Error", "HTTP 500"},
      {399, "Thank you", ""},
  };
  for (const Case& c : cases) {
    // However the body is cut as it arrives, a word split between pieces included.
    for (const std::size_t piece :
         {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{4}, std::size_t{5},
          std::size_t{7}, std::size_t{1000}, c.body.size() + 1}) {
      const FetchResult answer = AnswerInPieces(c.status, c.body, piece);
      const Judgement judgement = JudgeAnswer(answer);
      EXPECT_EQ(ReasonText(judgement), *c.reason == '\0' ? StatusReason(c.status) : c.reason)
          << c.body.substr(0, 40) << " (" << c.body.size() << " bytes) in pieces of " << piece;
      EXPECT_STREQ(judgement.Word(), *c.reason == '\0' ? "Pass" : "Fail");
      EXPECT_EQ(answer.body, c.body.substr(0, kAnswerHeadBytes));
    }
  }
  const Judgement refused = JudgeAnswer(FailedFetch(FetchError::CannotConnect));
  EXPECT_STREQ(refused.Word(), "Fail");
  EXPECT_EQ(ReasonText(refused), "error 12029: cannot connect");
}

// Every cause a site can end with, and what the results make of it: the
// reason, the status word, whether the site counts as asked and finished,
// and whether the results keep an HTTP status or an error number for it.
TEST(SiteRequest, EveryCauseHasItsReasonAndKeepsStatusOrErrorOnlyWhenAsked) {
  using Cause = Judgement::Cause;
  struct Case {
    Judgement judgement;
    const char* reason;
    bool passed;
    bool asked;
    bool finished;
    std::optional<long> httpStatus;
    std::optional<int> error;
  };
  const Case cases[] = {
      {Judgement(Cause::Passed, 200), "HTTP 200", true, true, true, 200, std::nullopt},
      {Judgement(Cause::Passed, 302), "HTTP 302", true, true, true, 302, std::nullopt},
      {Judgement::FailedRequest(FetchError::CannotConnect), "error 12029: cannot connect", false,
       true, true, std::nullopt, 12029},
      {Judgement::FailedRequest(FetchError::Internal, AnswerTooLarge(1000)),
       "error 12004: the answer is larger than 1000 bytes", false, true, true, std::nullopt, 12004},
      {Judgement::FailedRequest(FetchError::RedirectFailed,
                                {FetchCause::Kind::RedirectToInvalidAddress}),
       "error 12156: the redirect leads to an invalid address", false, true, true, std::nullopt,
       12156},
      {Judgement(Cause::ErrorStatus, 503), "HTTP 503", false, true, true, 503, std::nullopt},
      {Judgement(Cause::SaysError, 200), "answer contains \"Error\"", false, true, true, 200,
       std::nullopt},
      {Judgement(Cause::Says404, 200), "answer contains \"404\"", false, true, true, 200,
       std::nullopt},
      {Judgement(Cause::NoTemplate), "no request template", false, false, true, std::nullopt,
       std::nullopt},
      {Judgement(Cause::NotSent), "not sent: the run was stopped", false, false, false,
       std::nullopt, std::nullopt},
      {Judgement(Cause::NoAnswer), "no answer: the run was stopped", false, false, false,
       std::nullopt, std::nullopt},
  };
  // What the pool hands over for a site without a template: a failed
  // request, which must not count as the site's error.
  FetchResult unsent = FailedFetch(FetchError::InvalidUrl);
  unsent.seconds = 0.25;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    EXPECT_EQ(ReasonText(c.judgement), c.reason);
    EXPECT_EQ(c.judgement.Passed(), c.passed);
    EXPECT_STREQ(c.judgement.Word(), c.passed ? "Pass" : "Fail");
    EXPECT_EQ(c.judgement.Asked(), c.asked);
    EXPECT_EQ(c.judgement.Finished(), c.finished);
    SiteResult result;
    if (c.finished) {
      TakeAnswer(result, unsent, c.judgement);
      EXPECT_EQ(result.seconds, 0.25);
    } else {
      result.judgement = c.judgement;
    }
    EXPECT_EQ(result.Reason(), c.reason);
    EXPECT_STREQ(result.Word(), c.passed ? "Pass" : "Fail");
    EXPECT_EQ(result.Finished(), c.finished);
    EXPECT_EQ(result.HttpStatus(), c.httpStatus);
    EXPECT_EQ(result.Error(), c.error);
  }
  // A result not yet taken is a site never sent.
  EXPECT_EQ(SiteResult().Reason(), reasons::kNotSent);
}

// What the PAD file's box shows for each failure, and what ErrorText keeps.
TEST(SiteRequest, APadFileFailureIsShownWithItsLimitAndKeptAsTheNumberOrStatus) {
  struct Case {
    PadFile::Failure failure;
    FetchResult answer;
    const char* shown;
    const char* kept;
  };
  FetchResult missing;
  missing.status = 404;
  const Case cases[] = {
      {PadFile::Failure::ErrorStatus, missing, "HTTP 404", "HTTP 404"},
      {PadFile::Failure::RequestFailed, FailedFetch(FetchError::CannotConnect), "12029", "12029"},
      {PadFile::Failure::RequestFailed,
       FailedFetch(FetchError::Internal, AnswerTooLarge(std::size_t{16} * 1024 * 1024)),
       "12004: the answer is larger than 16 MiB", "12004"},
      {PadFile::Failure::RequestFailed,
       FailedFetch(FetchError::RedirectFailed, {FetchCause::Kind::TooManyRedirects, 10}),
       "12156: more than 10 redirects", "12156"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    PadFile pad;
    pad.failure = c.failure;
    pad.answer = c.answer;
    EXPECT_EQ(pad.FailureShown(), c.shown);
    EXPECT_EQ(pad.FailureText(), c.kept);
  }
}

TEST(SubmissionRun, EverySiteIsRequestedInListOrderAndReported) {
  TempFolder folder;
  TestHttpServer server;
  RefusingPort refusing;
  server.Set("/pad.xml", Reply::Text(kPadFile, 200));
  server.Set("/plain", Reply::Text("<html>Thank you for your submission.</html>"));
  // The error word comes long after the head of the answer that is kept.
  const std::string errorPage =
      "<html><p>" + std::string(100000, ' ') + "Error: we could not read it</p></html>";
  server.Set("/error", Reply::Text(errorPage));
  // The file's last site is the list's top row, so the list runs Plain, Gone, Error.
  folder.Write("pad.dat",
               Site("Error Site", "http://error.example/", "http://error.example/add",
                    server.Url("/error?u=%PADURL%")) +
                   Site("Gone & Lost", "http://gone.example/", "http://gone.example/add",
                        refusing.Url("/s?u=%PADURL%")) +
                   Site("<Plain>", "http://plain.example/?a=1&b=2", "http://plain.example/add",
                        server.Url("/plain?pad=%PADURL%&cat=%CATEGORY%")));
  const std::string padUrl = server.Url("/pad.xml");

  FakeMainWindow w(folder.Path());
  w.dialog.fetchLimits.connectTimeoutSeconds = 10;
  w.dialog.Initialise();
  w.urlBox.edit = padUrl;
  w.dialog.SubmissionRun();

  // What the sites saw: the PAD file first, then the two reachable sites, with
  // the exact filled-in URLs.
  const std::vector<std::string> targets = {"/pad.xml", "/error?u=" + padUrl,
                                            "/plain?pad=" + padUrl + "&cat=" + kCategory};
  EXPECT_EQ(Targets(server), targets);
  for (const auto& request : server.Requests()) {
    EXPECT_EQ(request.userAgent, "Tesselwick 1.0 Agent");
    EXPECT_EQ(HeaderOf(request, "Accept"), "*/*");
  }
  EXPECT_TRUE(w.messages.shown.empty());
  EXPECT_EQ(w.dialog.PadCategory, kCategory);

  const std::string date = Today();
  const std::string rows =
      "<tr><td><a href=\"http://plain.example/?a=1&amp;b=2\" target=_new>&lt;Plain&gt;</a></td>"
      "<td><a href=\"http://plain.example/add\" target=_new>Submit</a></td><td>Pass</td><td>" +
      date +
      "</td></tr>"
      "<tr><td><a href=\"http://gone.example/\" target=_new>Gone &amp; Lost</a></td>"
      "<td><a href=\"http://gone.example/add\" target=_new>Submit</a></td><td>Fail</td><td>" +
      date +
      "</td></tr>"
      "<tr><td><a href=\"http://error.example/\" target=_new>Error Site</a></td>"
      "<td><a href=\"http://error.example/add\" target=_new>Submit</a></td><td>Fail</td><td>" +
      date + "</td></tr>";
  EXPECT_EQ(folder.Read("Report.htm"), ReportBytes(padUrl, kCategory, rows));
  EXPECT_EQ(w.shell.opened, std::vector<std::string>{(folder / "Report.htm").string()});

  // The list keeps its templates with the placeholders; the working copy is
  // the last row, filled in.
  EXPECT_EQ(w.siteList.Row(0).RequestTemplate, server.Url("/plain?pad=%PADURL%&cat=%CATEGORY%"));
  EXPECT_EQ(w.dialog.CurrentSite.RequestTemplate, server.Url("/error?u=" + padUrl));
  EXPECT_EQ(w.dialog.ResponseText, errorPage.substr(0, kAnswerHeadBytes));

  w.dialog.CloseDown();
  std::string ini = "CREATOR=TESSELWICK 1.0\r\nURL=" + padUrl + "\r\nURL1=" + padUrl + "\r\n";
  for (int n = 2; n <= 10; ++n) ini += "URL" + std::to_string(n) + "=\r\n";
  EXPECT_EQ(folder.Read("tesselwick.ini"), ini + "\r\n\r\n");
}

TEST(SubmissionRun, ErrorStatusesTemplatesAndTheTypedUrlReachTheSites) {
  TempFolder folder;
  TestHttpServer server;
  // The PAD file's name has a space, which is sent as "%20".
  server.Set("/my%20pad.xml", Reply::Text(kPadFile));
  server.Set("/ok", Reply::Text("Thanks"));
  server.Set("/teapot", Reply::Text("Thanks anyway", 418));
  // Row order: fixed, twice, teapot.
  folder.Write("pad.dat", Site("Teapot", "u", "s", server.Url("/teapot")) +
                              Site("Twice", "u", "s", server.Url("/ok?a=%PADURL%&b=%PADURL%")) +
                              Site("Fixed", "u", "s", server.Url("/ok?fixed")));
  // The history holds the URL in other letters; the typed text is what is used.
  const std::string padUrl = server.Url("/my pad.xml?id=7&lang=en#top");
  const std::string sent = PercentEncodeValue(padUrl);
  EXPECT_EQ(sent, server.Url("/my%20pad.xml%3Fid=7%26lang=en%23top"));
  const std::string variant = "HTTP" + padUrl.substr(4);
  folder.Write("tesselwick.ini", "URL1=" + variant + "\n");

  FakeMainWindow w(folder.Path());
  w.dialog.Initialise();
  w.urlBox.edit = padUrl;
  w.dialog.SubmissionRun();

  // The sites get the whole PAD URL as one value; the report and the history
  // keep it as typed.
  EXPECT_EQ(Targets(server),
            (std::vector<std::string>{"/my%20pad.xml?id=7&lang=en", "/ok?a=" + sent + "&b=" + sent,
                                      "/ok?fixed", "/teapot"}));
  EXPECT_EQ(w.dialog.History().Entries(), std::vector<std::string>{variant});
  // Row formats are checked byte for byte above; here only the verdicts count.
  const std::string date = Today();
  const std::string rows = ReportRow({"Fixed", "u", "s", ""}, "Pass", date) +
                           ReportRow({"Twice", "u", "s", ""}, "Pass", date) +
                           ReportRow({"Teapot", "u", "s", ""}, "Fail", date);
  EXPECT_EQ(folder.Read("Report.htm"), ReportBytes(HtmlEscape(padUrl), kCategory, rows));
}

// Stops the first run it follows as soon as its first site is awaited; at
// the results, has the failed sites asked again.
class StopThenRetry : public RunProgress, public SubmissionObserver {
 public:
  void Wait(BackgroundFetch& padFile) override {
    while (!padFile.Done()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  void FollowSites(SiteRun& run) override {
    stop_ = runs_++ == 0;
    stopNow_ = false;
    run.RunToEnd(*this);
  }
  void SiteFinished(std::size_t, const FetchResult&, const Judgement&) override {}
  void Awaiting(const std::vector<std::size_t>& indices) override {
    if (stop_ && !indices.empty()) stopNow_ = true;
  }
  bool StopRequested() override { return stopNow_; }
  void ShowResults(const RunResults& results, RunResultsActions& actions) override {
    for (const SiteResult& site : results.Sites()) reasons.push_back(site.Reason());
    beforeRetry();
    actions.RetryFailed();
    for (const SiteResult& site : results.Sites()) reasons.push_back(site.Reason());
  }

  std::function<void()> beforeRetry;
  std::vector<std::string> reasons;

 private:
  int runs_ = 0;
  bool stop_ = false;
  bool stopNow_ = false;
};

TEST(SubmissionRun, AStoppedRunSaysWhichSitesWereNotAskedAndRetryAsksThemAgain) {
  TestHttpServer server;
  server.Set("/pad.xml", Reply::Text(kPadFile));
  server.Set("/slow", Reply::Stall(std::chrono::seconds(30)));
  server.Set("/thanks", Reply::Text("Thank you"));
  TempFolder folder;
  // One request at a time: Slow is awaited, Later not yet asked, when the
  // run is stopped.
  folder.Write("pad.dat", test::Site("Later", server.Url("/thanks")) +
                              test::Site("Slow", server.Url("/slow")));
  FakeMainWindow w(folder.Path());
  w.dialog.maxConcurrentRequests = 1;
  StopThenRetry progress;
  w.dialog.runProgress = &progress;
  std::string stoppedReport;
  progress.beforeRetry = [&] {
    stoppedReport = folder.Read("Report.htm");
    server.Set("/slow", Reply::Text("Thank you"));
  };
  w.dialog.Initialise();
  const std::string padUrl = server.Url("/pad.xml");
  w.urlBox.edit = padUrl;
  w.dialog.SubmissionRun();

  EXPECT_EQ(progress.reasons, (std::vector<std::string>{reasons::kNoAnswer, reasons::kNotSent,
                                                        "HTTP 200", "HTTP 200"}));
  // The stopped run's report says so after the date, and lists no site.
  EXPECT_EQ(stoppedReport, kReportHead + padUrl + "<br>Category: " + kCategory +
                               "<br>Date: " + Today() + "<br>Stopped after 0 of 2 sites.<br>" +
                               kCredit + kTableHead + "</table><br><br>" + kCredit + "\r\n");
  // Asked again with the same PAD URL and category, both passed: the report,
  // written and opened again, is that of a run that finished.
  EXPECT_EQ(folder.Read("Report.htm"),
            ReportBytes(padUrl, kCategory, test::Row("Slow", "Pass") + test::Row("Later", "Pass")));
  EXPECT_EQ(w.shell.opened.size(), 2u);
  std::size_t slowAsked = 0;
  for (const auto& r : server.Requests()) slowAsked += r.path == "/slow" ? 1 : 0;
  EXPECT_EQ(slowAsked, 2u);
}

TEST(SubmissionRun, APadFileThatCannotBeFetchedStopsTheRunWithAnEmptyReport) {
  TempFolder folder;
  TestHttpServer server;
  RefusingPort refusing;
  folder.Write("pad.dat", Site("Site", "u", "s", server.Url("/site")));
  FakeMainWindow w(folder.Path());
  w.dialog.Initialise();
  w.dialog.PadCategory = "Earlier+Run";

  const std::string padUrl = refusing.Url("/pad.xml");
  w.urlBox.edit = padUrl;
  w.dialog.SubmissionRun();
  ASSERT_EQ(w.messages.shown.size(), 1u);
  EXPECT_EQ(w.messages.shown[0], (Message{"12029", "Error Loading Your PAD File."}));
  EXPECT_EQ(w.dialog.ErrorText, "12029");
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_EQ(w.dialog.PadCategory, "");
  EXPECT_EQ(folder.Read("Report.htm"), ReportBytes(padUrl, "", ""));
  EXPECT_EQ(w.shell.opened.size(), 1u);
  // The URL is remembered even though its PAD file could not be loaded.
  EXPECT_EQ(w.dialog.History().Entries(), std::vector<std::string>{padUrl});

  // An empty box fails the same way, and adds nothing to the history.
  w.messages.shown.clear();
  w.urlBox.edit = "";
  w.dialog.SubmissionRun();
  ASSERT_EQ(w.messages.shown.size(), 1u);
  EXPECT_EQ(w.messages.shown[0].second, "Error Loading Your PAD File.");
  EXPECT_FALSE(w.messages.shown[0].first.empty());
  EXPECT_EQ(w.dialog.History().Entries().size(), 1u);
  EXPECT_EQ(w.shell.opened.size(), 2u);

  // A PAD file answered with an error status fails the same way, its box
  // naming the status, even when the error page holds a category.
  server.Set("/gone.xml", Reply::Text(kPadFile, 404));
  w.messages.shown.clear();
  w.urlBox.edit = server.Url("/gone.xml");
  w.dialog.SubmissionRun();
  EXPECT_EQ(w.messages.shown, (std::vector<Message>{{"HTTP 404", "Error Loading Your PAD File."}}));
  EXPECT_EQ(w.dialog.ErrorText, "HTTP 404");
  EXPECT_EQ(w.dialog.ResponseText, "");
  EXPECT_EQ(w.dialog.PadCategory, "");
  EXPECT_EQ(Targets(server), std::vector<std::string>{"/gone.xml"});
  EXPECT_EQ(folder.Read("Report.htm"), ReportBytes(server.Url("/gone.xml"), "", ""));
  EXPECT_EQ(w.shell.opened.size(), 3u);

  // A URL without its scheme is not guessed at: nothing is requested.
  server.Set("/pad.xml", Reply::Text(kPadFile));
  server.ClearRequests();
  w.messages.shown.clear();
  w.urlBox.edit = server.Url("/pad.xml").substr(std::string_view("http://").size());
  w.dialog.SubmissionRun();
  EXPECT_EQ(w.messages.shown, (std::vector<Message>{{"12006", "Error Loading Your PAD File."}}));
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_EQ(folder.Read("Report.htm"), ReportBytes(w.urlBox.edit, "", ""));
}

TEST(SubmissionRun, APadFileWithoutACategoryOrAnEmptyListGivesNoRows) {
  TempFolder folder;
  TestHttpServer server;
  server.Set("/nocat.xml", Reply::Text("<XML_DIZ_INFO><Program_Name>X</Program_Name>"));
  server.Set("/pad.xml", Reply::Text(kPadFile));
  folder.Write("pad.dat", Site("Site", "u", "s", server.Url("/site")));
  FakeMainWindow w(folder.Path());
  w.dialog.Initialise();

  w.urlBox.edit = server.Url("/nocat.xml");
  w.dialog.SubmissionRun();
  EXPECT_EQ(w.messages.shown, (std::vector<Message>{{"Your PAD File Needs to Contain a Category",
                                                     "Error Loading Your PAD File."}}));
  // The box about the category comes alone: the file is not checked further.
  EXPECT_TRUE(w.messages.asked.empty());
  EXPECT_EQ(Targets(server), std::vector<std::string>{"/nocat.xml"});
  EXPECT_EQ(folder.Read("Report.htm"), ReportBytes(server.Url("/nocat.xml"), "", ""));

  // No sites at all: the PAD file is read, nothing else is requested.
  TempFolder empty;
  FakeMainWindow e(empty.Path());
  e.dialog.Initialise();
  server.ClearRequests();
  e.urlBox.edit = server.Url("/pad.xml");
  e.dialog.SubmissionRun();
  EXPECT_TRUE(e.messages.shown.empty());
  EXPECT_EQ(Targets(server), std::vector<std::string>{"/pad.xml"});
  EXPECT_EQ(empty.Read("Report.htm"), ReportBytes(server.Url("/pad.xml"), kCategory, ""));

  // A PAD file that passes the check goes straight on to the sites, unasked;
  // one that does not is asked about, and Cancel asks no site.
  server.Set("/checked.xml", Reply::Text(test::CheckedPad(server.Url("/checked.xml"))));
  server.Set("/site", Reply::Text("Thanks"));
  for (const bool checked : {true, false}) {
    SCOPED_TRACE(checked);
    server.ClearRequests();
    w.messages.answer = false;
    w.urlBox.edit = server.Url(checked ? "/checked.xml" : "/pad.xml");
    w.dialog.SubmissionRun();
    EXPECT_EQ(w.messages.asked.size(), checked ? 0u : 1u);
    EXPECT_EQ(server.Requests().size(), checked ? 2u : 1u);
  }
  EXPECT_EQ(w.messages.asked.at(0).second, "Check Your PAD File");
  // The box lists the errors, then how many warnings there are, with the first few.
  const std::string& asked = w.messages.asked.at(0).first;
  EXPECT_TRUE(
      asked.starts_with("Download sites are likely to reject your PAD file:\r\n\r\n"
                        "XML_DIZ_INFO/Company_Info/Company_Name is missing.\r\n"))
      << asked;
  EXPECT_NE(asked.find("\r\n\r\nand 24 warnings, among them:\r\nXML_DIZ_INFO/"
                       "MASTER_PAD_VERSION_INFO/MASTER_PAD_VERSION is missing; it must be a "
                       "version number, such as 3.11.\r\n"),
            std::string::npos)
      << asked;
  EXPECT_TRUE(asked.ends_with(".\r\n\r\nSubmit it to every site anyway?")) << asked;

  // A file with warnings alone goes straight on, unasked.
  server.Set("/warned.xml", Reply::Text(ReplaceAll(test::CheckedPad(server.Url("/warned.xml")),
                                                   ">Canada<", ">U.S.A.<")));
  server.ClearRequests();
  w.urlBox.edit = server.Url("/warned.xml");
  w.dialog.SubmissionRun();
  EXPECT_EQ(w.messages.asked.size(), 1u);
  EXPECT_EQ(server.Requests().size(), 2u);
}

// A megabyte-long URL that passes on to thousands of sites neither fills the
// memory nor the disk: the report is written as it is made, and a link that
// long leads nowhere.
TEST(SubmissionRun, ALongValuePassedOnToManySitesMakesASmallReport) {
  TempFolder folder;
  TestHttpServer server;
  server.Set("/pad.xml", Reply::Text(kPadFile));
  server.Set("/site", Reply::Text("Thanks"));
  std::string list = "URL=http://" + std::string(1 << 20, 'u') +
                     "/\nTITLE=First\nGETORPOST=" + server.Url("/site") + "\n";
  for (int i = 0; i < 5000; ++i) list += "TITLE=t\n";
  folder.Write("pad.dat", list);
  FakeMainWindow w(folder.Path());
  w.dialog.Initialise();
  ASSERT_EQ(w.dialog.SiteCount, 5001);
  w.urlBox.edit = server.Url("/pad.xml");
  w.dialog.SubmissionRun();
  // Only the site with a template of its own is asked.
  EXPECT_EQ(Targets(server), (std::vector<std::string>{"/pad.xml", "/site"}));
  const std::string report = folder.Read("Report.htm");
  EXPECT_LT(report.size(), 1024u * 1024);
  EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 1);
  EXPECT_NE(report.find("<tr><td><a href=\"#\" target=_new>First</a></td>"), std::string::npos);
}

}  // namespace
}  // namespace tesselwick

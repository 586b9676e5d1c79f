// Servers that misbehave in every way we know of, met by the commands the user
// runs: Submit (the PAD file's server and the sites' servers) and the update
// dialog's two requests. Each command must return within its time limits, tell
// the user, and leave the files as they were.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/app/update_dialog.h"
#include "core/net/request_pool.h"
#include "core/platform/date.h"
#include "core/submit/report.h"
#include "support/fake_controls.h"
#include "support/raw_tcp_server.h"
#include "support/sample_sites.h"
#include "support/temp_folder.h"
#include "support/test_http_server.h"

namespace tesselwick {
namespace {

using namespace std::chrono_literals;
using test::FakeMainWindow;
using test::RawTcpServer;
using test::Reply;
using test::Row;
using test::RowsOf;
using test::Site;
using test::TempFolder;
using test::TestHttpServer;
using Message = std::pair<std::string, std::string>;
using Messages = std::vector<Message>;

constexpr const char* kCheckPath = "/cgi-bin/versioncheck.pl";
constexpr const char* kDownloadPath = "/cgi-bin/versionupdate.pl";
constexpr std::size_t kHundredMegabytes = std::size_t{100} * 1000 * 1000;
// An answer with an error status: no error number, the answer is read.
constexpr FetchError kAnswered = FetchError::None;

const char* kPadFile =
    "<XML_DIZ_INFO><Program_Info><Program_Category_Class>Games::Puzzle"
    "</Program_Category_Class></Program_Info></XML_DIZ_INFO>";

// Bytes that are no HTTP answer at all, the same on every run.
std::string Garbage(std::size_t size) {
  std::mt19937 random(2026);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random() & 0xff);
  return bytes;
}

// One misbehaving server and the error number its failure must carry.
struct Fault {
  std::string name;
  // The server's address: the PAD file is at base + "/pad.xml", a site at
  // base + "/site", the update server's requests under base.
  std::string base;
  FetchError error;
  // What decided the failure, when a limit or a refused address did: the
  // words that stand beside the number instead of the number's own.
  std::string cause = {};

  // How the PAD file's box and a site's reason name the failure.
  std::string Told() const { return cause.empty() ? ErrorNumber(error) : Described(); }
  std::string Described() const {
    return cause.empty() ? DescribeFetchError(error) : ErrorNumber(error) + ": " + cause;
  }
};

constexpr const char* kNotWeb = "the redirect leads to an address that is not http or https";

// Every misbehaviour at once, each on its own address.
class FaultyServers {
 public:
  FaultyServers() {
    SetEverywhere("/stall-after-headers", Reply::Stall(60s));
    SetEverywhere("/cut-off", Reply::CutOff(std::string(20000, 'c')));
    for (const std::string& path : Paths("/redirect-loop")) {
      server.Set(path, Reply::Redirect(server.Url(path)));
    }
    SetEverywhere("/huge", Reply::Huge(kHundredMegabytes));
    Reply streamed = Reply::Huge(kHundredMegabytes);
    streamed.chunked = true;
    SetEverywhere("/huge-streamed", streamed);
    SetEverywhere("/error-500", Reply::Text("", 500));
    for (const char* target :
         {"data:text/html,Thanks", "javascript:alert(1)", "file:///etc/passwd"})
      SetEverywhere(std::string("/to-") + target[0], Reply::Redirect(target));
    // A byte every 100 ms: never a stall, but it would take 100 seconds.
    SetEverywhere("/trickle", Reply::Trickle(std::string(1000, 't'), 100ms));

    faults = {
        {"stalls before answering", silent.Url(""), FetchError::TimedOut},
        {"stalls after its headers", server.Url("/stall-after-headers"), FetchError::TimedOut},
        {"never completes the connection", unaccepting.Url(""), FetchError::TimedOut},
        {"resets the connection half-way", resetting.Url(""), FetchError::ConnectionAborted},
        {"closes the connection half-way", server.Url("/cut-off"), FetchError::ConnectionAborted},
        {"answers garbage bytes", garbage.Url(""), FetchError::InvalidServerResponse},
        {"answers a broken header", brokenHeader.Url(""), FetchError::InvalidServerResponse},
        {"closes without answering", mute.Url(""), FetchError::InvalidServerResponse},
        {"redirects to itself", server.Url("/redirect-loop"), FetchError::RedirectFailed,
         "more than 10 redirects"},
        {"redirects to data:", server.Url("/to-d"), FetchError::RedirectFailed, kNotWeb},
        {"redirects to javascript:", server.Url("/to-j"), FetchError::RedirectFailed, kNotWeb},
        {"redirects to file:", server.Url("/to-f"), FetchError::RedirectFailed, kNotWeb},
        {"announces 100 MB", server.Url("/huge"), FetchError::Internal,
         "the answer is larger than 16 MiB"},
        {"streams 100 MB", server.Url("/huge-streamed"), FetchError::Internal,
         "the answer is larger than 16 MiB"},
        {"answers 500 with an empty body", server.Url("/error-500"), kAnswered},
        {"trickles its answer for ever", server.Url("/trickle"), FetchError::TimedOut},
    };
  }

  // Short enough to keep the stalls brief, long enough that a sound answer on
  // a busy machine never runs into them.
  static FetchLimits Limits() {
    FetchLimits limits;
    limits.connectTimeoutSeconds = 2;
    limits.stallTimeoutSeconds = 2;
    limits.totalTimeoutSeconds = 3;
    return limits;
  }

  TestHttpServer server;
  RawTcpServer silent{RawTcpServer::Behaviour::Silent};
  RawTcpServer unaccepting{RawTcpServer::Behaviour::NeverAccept};
  RawTcpServer resetting{
      RawTcpServer::Behaviour::SendThenReset,
      "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 20000\r\n\r\n" +
          std::string(10000, 'r')};
  RawTcpServer garbage{RawTcpServer::Behaviour::SendThenClose, Garbage(4096)};
  RawTcpServer brokenHeader{RawTcpServer::Behaviour::SendThenClose,
                            "HTTP/1.1 200 OK\r\nContent-Length: many\r\n\r\nThanks"};
  RawTcpServer mute{RawTcpServer::Behaviour::SendThenClose};
  std::vector<Fault> faults;

 private:
  static std::vector<std::string> Paths(const std::string& prefix) {
    return {prefix + "/pad.xml", prefix + "/site", prefix + kCheckPath, prefix + kDownloadPath};
  }
  void SetEverywhere(const std::string& prefix, const Reply& reply) {
    for (const std::string& path : Paths(prefix)) server.Set(path, reply);
  }
};

std::vector<std::string> FolderListing(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Waits for a run like the window does, and keeps every site's answer for the
// test to look at.
class RecordingProgress : public RunProgress, public SubmissionObserver {
 public:
  void Wait(BackgroundFetch& padFile) override {
    while (!padFile.Done()) std::this_thread::sleep_for(10ms);
  }
  void FollowSites(SiteRun& run) override {
    answers.assign(run.Sites().size(), std::nullopt);
    run.RunToEnd(*this);
  }
  void SiteFinished(std::size_t index, const FetchResult& answer, const Judgement&) override {
    answers[index] = answer;
  }
  void Awaiting(const std::vector<std::size_t>&) override {}
  bool StopRequested() override { return false; }
  std::vector<std::optional<FetchResult>> answers;
};

TEST(FaultInjection, APadFileServerThatMisbehavesEndsTheRunWithItsNumber) {
  FaultyServers servers;
  TestHttpServer sites;
  sites.Set("/site", Reply::Text("Thanks"));
  TempFolder folder;
  folder.Write("pad.dat", Site("Good", sites.Url("/site?pad=%PADURL%")));
  FakeMainWindow w(folder.Path());
  w.dialog.fetchLimits = FaultyServers::Limits();
  RecordingProgress progress;
  w.dialog.runProgress = &progress;
  w.dialog.Initialise();

  for (const Fault& fault : servers.faults) {
    SCOPED_TRACE(fault.name);
    w.messages.shown.clear();
    w.dialog.PadCategory = "Earlier+Run";
    w.urlBox.edit = fault.base + "/pad.xml";
    w.dialog.SubmissionRun();

    // A PAD file answered with an error status fails too; its box names the
    // status. Otherwise the box shows the number, and what decided it when a
    // limit or a refused address did; ErrorText keeps the number alone.
    const Message told = fault.error == kAnswered
                             ? Message{"HTTP 500", "Error Loading Your PAD File."}
                             : Message{fault.Told(), "Error Loading Your PAD File."};
    EXPECT_EQ(w.messages.shown, Messages{told});
    EXPECT_EQ(w.dialog.PadCategory, "");
    if (fault.error != kAnswered) {
      EXPECT_EQ(w.dialog.ErrorText, ErrorNumber(fault.error));
    }
    EXPECT_TRUE(w.dialog.ResponseText.empty()) << w.dialog.ResponseText.size() << " bytes kept";
    // The run stops before the sites, and its report, with no rows, is shown.
    EXPECT_TRUE(sites.Requests().empty());
    EXPECT_EQ(RowsOf(folder.Read("Report.htm")), "");
    EXPECT_EQ(w.shell.opened.back(), (folder / "Report.htm").string());
  }
  EXPECT_EQ(w.shell.opened.size(), servers.faults.size());
  // The 100 MB answers were given up at the 16 MiB cap or before, not read on
  // to their end.
  EXPECT_LT(servers.server.HugeBytesSent(), std::size_t{64} * 1024 * 1024);
  // No temporary file is left behind.
  EXPECT_EQ(
      FolderListing(folder.Path()),
      (std::vector<std::string>{"Report.htm", "ReportTemplate.htm", "pad.dat", "tesselwick.ini"}));
}

TEST(FaultInjection, ARunWithEveryKindOfFaultySiteFinishesAndReportsEverySite) {
  FaultyServers servers;
  servers.server.Set("/pad.xml", Reply::Text(kPadFile));
  servers.server.Set("/thanks", Reply::Text("Thank you for your submission."));
  TempFolder folder;
  // Each faulty site between two good ones, in list order.
  std::vector<std::string> titles;
  std::string rows;
  std::string file;
  auto add = [&](const std::string& title, const std::string& request, const char* verdict) {
    titles.push_back(title);
    rows += Row(title, verdict);
    file.insert(0, Site(title, request));  // pad.dat holds the list bottom up
  };
  add("good0", servers.server.Url("/thanks?n=0"), "Pass");
  for (std::size_t i = 0; i < servers.faults.size(); ++i) {
    add("faulty" + std::to_string(i), servers.faults[i].base + "/site?pad=%PADURL%", "Fail");
    add("good" + std::to_string(i + 1), servers.server.Url("/thanks?n=" + std::to_string(i + 1)),
        "Pass");
  }
  folder.Write("pad.dat", file);
  const std::string padDat = folder.Read("pad.dat");

  FakeMainWindow w(folder.Path());
  w.dialog.fetchLimits = FaultyServers::Limits();
  RecordingProgress progress;
  w.dialog.runProgress = &progress;
  w.dialog.Initialise();
  ASSERT_EQ(w.dialog.SiteCount, static_cast<int>(titles.size()));
  w.urlBox.edit = servers.server.Url("/pad.xml");
  w.dialog.SubmissionRun();

  // Nothing to tell in a box: each site's verdict is in the report, every
  // site in list order.
  EXPECT_TRUE(w.messages.shown.empty());
  EXPECT_EQ(RowsOf(folder.Read("Report.htm")), rows);
  EXPECT_EQ(w.shell.opened.size(), 1u);
  EXPECT_EQ(folder.Read("pad.dat"), padDat);

  // Each faulty site failed with its own number, or answered its error status.
  ASSERT_EQ(progress.answers.size(), titles.size());
  for (std::size_t i = 0; i < servers.faults.size(); ++i) {
    const Fault& fault = servers.faults[i];
    SCOPED_TRACE(fault.name);
    const std::optional<FetchResult>& answer = progress.answers[2 * i + 1];
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->ok(), fault.error == kAnswered);
    EXPECT_EQ(answer->error, fault.error);
    EXPECT_TRUE(answer->body.empty()) << answer->body.size() << " bytes of the body kept";
    if (fault.error == kAnswered) {
      EXPECT_EQ(answer->status, 500);
    }
    // The results name the failure: the number with its words, or the status.
    ASSERT_NE(w.dialog.LastRun(), nullptr);
    EXPECT_EQ(w.dialog.LastRun()->Sites()[2 * i + 1].Reason(),
              fault.error == kAnswered ? "HTTP 500" : "error " + fault.Described());
  }
  EXPECT_LT(servers.server.HugeBytesSent(), std::size_t{64} * 1024 * 1024);
  // The last site in list order is a good one: its answer is what the run leaves.
  EXPECT_EQ(w.dialog.ResponseText, "Thank you for your submission.");
  EXPECT_EQ(w.dialog.CurrentSite.Title, titles.back());
}

class FakeButton : public ButtonControl {
 public:
  void Enable(bool enable) override { enabled = enable; }
  bool IsEnabled() const override { return enabled; }
  bool enabled = false;
};

TEST(FaultInjection, UpdateServerFaultsSaveNothingAndLetTheUserTryAgain) {
  const Message notDownloaded{
      "Script not downloaded, please try again.\r\nEnsure you are connected to the internet.",
      "Error"};
  FaultyServers servers;
  TempFolder folder;
  const std::string oldList = "SCRIPTVERSION=5\r\nTITLE=Old\r\nURL=http://old.example/\r\n";
  folder.Write("pad.dat", oldList);
  test::FakeText programBox, serverProgramBox, sitesBox, serverSitesBox;
  FakeButton updateButton;
  test::FakeMessages messages;
  UpdateDialog dialog(UpdateDialogControls{programBox, serverProgramBox, sitesBox, serverSitesBox,
                                           updateButton, messages},
                      folder.Path(), "", FaultyServers::Limits());
  dialog.ProgramVersion = "1.01";
  dialog.SitesVersion = "5";
  dialog.Initialise();
  // As after a check that found a new list.
  updateButton.enabled = true;

  for (const Fault& fault : servers.faults) {
    SCOPED_TRACE(fault.name);
    dialog.siteUrl = fault.base;
    dialog.ErrorText.clear();

    messages.shown.clear();
    dialog.OnCheckVersion();
    // Whatever came back (nothing) is shown, then why no versions came.
    EXPECT_EQ(messages.shown, (Messages{{"", "linkpage"}, notDownloaded}));
    if (fault.error != kAnswered) {
      EXPECT_EQ(dialog.ErrorText, ErrorNumber(fault.error));
    }
    EXPECT_EQ(serverSitesBox.text, "");
    EXPECT_EQ(serverProgramBox.text, "");

    messages.shown.clear();
    dialog.OnUpdate();
    EXPECT_EQ(messages.shown, Messages{notDownloaded});
    EXPECT_EQ(folder.Read("pad.dat"), oldList);
    EXPECT_EQ(FolderListing(folder.Path()), std::vector<std::string>{"pad.dat"});
    EXPECT_EQ(dialog.SitesVersion, "5");
    EXPECT_EQ(sitesBox.text, "5");
    EXPECT_TRUE(updateButton.enabled);
  }

  // Four 100 MB answers, none read to its end.
  EXPECT_LT(servers.server.HugeBytesSent(), std::size_t{128} * 1024 * 1024);

  // After all that, a sound server's list is taken.
  const std::string newList =
      "SCRIPTVERSION=6\r\nTITLE=New\r\nURL=http://new.example/\r\nGETORPOST=http://new.example/"
      "add\r\n";
  servers.server.Set(kDownloadPath, Reply::Text(newList));
  dialog.siteUrl = servers.server.Url();
  dialog.ServerSitesVersion = "6";
  messages.shown.clear();
  dialog.OnUpdate();
  EXPECT_EQ(messages.shown, (Messages{{"Site update complete", "TesselWick Update:"}}));
  EXPECT_EQ(folder.Read("pad.dat"), newList + "\r\n");
  EXPECT_FALSE(updateButton.enabled);
}

}  // namespace
}  // namespace tesselwick

#include "core/app/update_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/fake_controls.h"
#include "support/temp_folder.h"
#include "support/test_http_server.h"

namespace tesselwick {
namespace {

using Messages = std::vector<std::pair<std::string, std::string>>;

const std::string kNotDownloaded =
    "Script not downloaded, please try again.\r\nEnsure you are connected to the internet.";
const std::string kNewProgram =
    "A new version of the program is available.\r\nPlease close the program and visit our "
    "website to download a new version.";
const std::pair<std::string, std::string> kNotDownloadedBox{kNotDownloaded, "Error"};
const std::pair<std::string, std::string> kNewProgramBox{kNewProgram,
                                                         "New Program Version Available"};
const std::pair<std::string, std::string> kCompleteBox{"Site update complete",
                                                       "TesselWick Update:"};
const std::pair<std::string, std::string> kNotASiteListBox{
    "The update server's answer is not a site list.\r\nNothing was changed.", "Error"};
const std::pair<std::string, std::string> kSaveFailedBox{"Error Saving Engines File",
                                                         "Update Data"};

constexpr const char* kCheckPath = "/cgi-bin/versioncheck.pl";
constexpr const char* kDownloadPath = "/cgi-bin/versionupdate.pl";

class FakeButton : public ButtonControl {
 public:
  void Enable(bool enable) override { enabled = enable; }
  bool IsEnabled() const override { return enabled; }
  // Enabled until the dialog disables it, to see that it does.
  bool enabled = true;
};

// An update dialog over fake controls, a temporary working folder and a local
// update server; installed versions "1.01" and "5" unless a test says otherwise.
class UpdateDialogTest : public ::testing::Test {
 protected:
  UpdateDialogTest() {
    folder.Write("pad.dat", "SCRIPTVERSION=5\r\nTITLE=Old\r\n");
    dialog.ProgramVersion = "1.01";
    dialog.SitesVersion = "5";
    dialog.Initialise();
  }

  static FetchLimits ShortLimits() {
    FetchLimits limits;
    limits.connectTimeoutSeconds = 5;
    limits.stallTimeoutSeconds = 5;
    return limits;
  }

  // Runs a check against the given answer of the version script and returns
  // the message boxes it showed.
  Messages Check(std::string body, int status = 200) {
    server.Set(kCheckPath, test::Reply::Text(std::move(body), status));
    messages.shown.clear();
    dialog.OnCheckVersion();
    return messages.shown;
  }

  Messages Update(test::Reply reply) {
    server.Set(kDownloadPath, std::move(reply));
    messages.shown.clear();
    dialog.OnUpdate();
    return messages.shown;
  }

  test::TestHttpServer server;
  test::TempFolder folder;
  test::FakeText programBox, serverProgramBox, sitesBox, serverSitesBox;
  FakeButton updateButton;
  test::FakeMessages messages;
  UpdateDialog dialog{UpdateDialogControls{programBox, serverProgramBox, sitesBox, serverSitesBox,
                                           updateButton, messages},
                      folder.Path(), server.Url(), ShortLimits()};
};

TEST_F(UpdateDialogTest, OpensWithTheInstalledVersionsAndUpdateDisabled) {
  EXPECT_EQ(programBox.text, "1.01");
  EXPECT_EQ(sitesBox.text, "5");
  EXPECT_EQ(serverProgramBox.text, "");
  EXPECT_EQ(serverSitesBox.text, "");
  EXPECT_FALSE(updateButton.enabled);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(UpdateDialogTest, RequestsCarryTheInstalledVersionEscapedAndTheUpdateAgent) {
  const struct {
    const char* version;
    const char* query;
  } versions[] = {
      {"2026.12-rc1", "version=2026.12-rc1"},
      {"5&x=%41", "version=5%26x=%2541"},
      {"2025 01", "version=2025%2001"},
      {"a#b+c?d", "version=a%23b%2Bc%3Fd"},
      {"\x01\x7f\xc3\xa9", "version=%01%7F%C3%A9"},
  };
  for (const auto& v : versions) {
    SCOPED_TRACE(v.version);
    server.ClearRequests();
    dialog.SitesVersion = v.version;
    Check("VERSION=1.01\r\nSCRIPTVERSION=6\r\n");
    Update(test::Reply::Text("SCRIPTVERSION=6\r\nTITLE=New\r\nGETORPOST=g\r\n"));
    const std::vector<test::RecordedRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].path, kCheckPath);
    EXPECT_EQ(requests[0].query, v.query);
    EXPECT_EQ(requests[0].userAgent, "TesselWick 1.0 Agent");
    EXPECT_EQ(requests[1].path, kDownloadPath);
    EXPECT_EQ(requests[1].query, v.query);
    EXPECT_EQ(requests[1].userAgent, "TesselWick 1.0 Agent");
  }
}

TEST_F(UpdateDialogTest, AnAnswerNeedsTenCharactersCountingLineFeeds) {
  // Eight letters and the line feed that line mode adds: nine.
  EXPECT_EQ(Check("ABCDEFGH"), (Messages{{"ABCDEFGH\n", "linkpage"}, kNotDownloadedBox}));
  // Carriage returns never count.
  EXPECT_EQ(Check("VERSION=\r\n"), (Messages{{"VERSION=\n", "linkpage"}, kNotDownloadedBox}));
  EXPECT_EQ(Check("VERSION=2\r\n"), (Messages{{"VERSION=2\n", "linkpage"}, kNewProgramBox}));
  EXPECT_EQ(serverProgramBox.text, "2");
}

TEST_F(UpdateDialogTest, OnlyADifferentProgramVersionIsAnnounced) {
  const std::string sites = "SCRIPTVERSION=5\n";
  EXPECT_EQ(Check("VERSION=1.01\n" + sites).size(), 1u);
  EXPECT_EQ(serverProgramBox.text, "1.01");
  EXPECT_EQ(Check(sites + "OTHER=1\n").size(), 1u);
  EXPECT_EQ(serverProgramBox.text, "");
  // Older versions are announced too, and the last VERSION line counts.
  EXPECT_EQ(Check("VERSION=1.01\nVERSION=1.00\n" + sites).back(), kNewProgramBox);
  EXPECT_EQ(serverProgramBox.text, "1.00");
  // Keys are exact: no spaces before "=", no other letter case; trailing
  // spaces of a line are dropped.
  EXPECT_EQ(Check("VERSION =2\nversion=2\nVERSION=1.01   \n" + sites).size(), 1u);
  EXPECT_EQ(serverProgramBox.text, "1.01");
}

TEST_F(UpdateDialogTest, ANewSiteListVersionEnablesUpdateAndLaterChecksKeepItEnabled) {
  Check("VERSION=1.01\nSCRIPTVERSION=5\n");
  EXPECT_FALSE(updateButton.enabled);
  Check("VERSION=1.01\nSCRIPTVERSION=\n");
  EXPECT_FALSE(updateButton.enabled);
  Check("VERSION=1.01\nNOSCRIPT=6\n");
  EXPECT_FALSE(updateButton.enabled);
  EXPECT_EQ(serverSitesBox.text, "");

  Check("VERSION=1.01\nSCRIPTVERSION=6\n");
  EXPECT_TRUE(updateButton.enabled);
  EXPECT_EQ(serverSitesBox.text, "6");
  EXPECT_EQ(sitesBox.text, "5");
  Check("VERSION=1.01\nSCRIPTVERSION=5\n");
  EXPECT_TRUE(updateButton.enabled);

  // A check that finds nothing starts with empty server boxes and leaves them so.
  Check("VERSION=1.01\nSCRIPTVERSION=6\n");
  EXPECT_EQ(Check("short"), (Messages{{"short\n", "linkpage"}, kNotDownloadedBox}));
  EXPECT_EQ(serverProgramBox.text, "");
  EXPECT_EQ(serverSitesBox.text, "");
  EXPECT_TRUE(updateButton.enabled);
}

TEST_F(UpdateDialogTest, AnErrorPageIsShownButNotTakenForVersions) {
  EXPECT_EQ(Check("<html>Not here</html>", 404),
            (Messages{{"<html>Not here</html>\n", "linkpage"}}));
  EXPECT_EQ(serverProgramBox.text, "");
  EXPECT_FALSE(updateButton.enabled);
}

TEST(UpdateDialogOffline, AServerThatCannotBeReachedShowsAnEmptyAnswerAndTheError) {
  test::TempFolder folder;
  test::FakeText programBox, serverProgramBox, sitesBox, serverSitesBox;
  FakeButton updateButton;
  test::FakeMessages messages;
  // Nothing listens on port 1.
  UpdateDialog dialog(UpdateDialogControls{programBox, serverProgramBox, sitesBox, serverSitesBox,
                                           updateButton, messages},
                      folder.Path(), "http://127.0.0.1:1");
  dialog.SitesVersion = "5";
  dialog.Initialise();
  dialog.OnCheckVersion();
  EXPECT_EQ(messages.shown, (Messages{{"", "linkpage"}, kNotDownloadedBox}));
  EXPECT_EQ(dialog.ErrorText, "12029");
  EXPECT_EQ(dialog.ResponseText, "");

  messages.shown.clear();
  dialog.OnUpdate();
  EXPECT_EQ(messages.shown, (Messages{kNotDownloadedBox}));
  EXPECT_EQ(folder.Read("pad.dat"), "<missing>");
  EXPECT_EQ(dialog.SitesVersion, "5");
}

TEST_F(UpdateDialogTest, ASuccessfulUpdateReplacesPadDatAndTakesTheServerVersion) {
  Check("VERSION=1.01\nSCRIPTVERSION=6\n");
  ASSERT_TRUE(updateButton.enabled);
  EXPECT_EQ(Update(test::Reply::Text("SCRIPTVERSION=6\r\nTITLE=New\nGETORPOST=g\nURL=u")),
            (Messages{kCompleteBox}));
  // The answer as line mode reads it, plus one line feed; CR LF on disk.
  EXPECT_EQ(folder.Read("pad.dat"), "SCRIPTVERSION=6\r\nTITLE=New\r\nGETORPOST=g\r\nURL=u\r\n\r\n");
  EXPECT_FALSE(std::filesystem::exists(folder / "pad.dat.tmp"));
  EXPECT_EQ(dialog.SitesVersion, "6");
  EXPECT_EQ(sitesBox.text, "6");
  EXPECT_FALSE(updateButton.enabled);
}

// Whatever the server (or anyone on the way) answers, pad.dat is replaced
// only by a whole site list, and the user is told why not.
TEST_F(UpdateDialogTest, AnythingButAWholeSiteListLeavesPadDatAndLetsTheUserRetry) {
  const std::string old = folder.Read("pad.dat");
  const std::string list =
      "SCRIPTVERSION=6\r\nTITLE=New\r\nGETORPOST=g\r\n" + std::string(200, 'x') + "\r\n";
  const struct {
    const char* name;
    test::Reply reply;
    std::pair<std::string, std::string> box;
  } answers[] = {
      {"not found", test::Reply::Text("<html><body>404 Not Found</body></html>", 404),
       kNotDownloadedBox},
      {"server error", test::Reply::Text("<html><body>Internal Server Error</body></html>", 500),
       kNotDownloadedBox},
      {"cut off", test::Reply::CutOff(list), kNotDownloadedBox},
      {"too short", test::Reply::Text("TITLE=A\r"), kNotDownloadedBox},
      {"empty", test::Reply::Text(""), kNotDownloadedBox},
      {"error page with 200", test::Reply::Text("<html><body>502 Bad Gateway</body></html>"),
       kNotASiteListBox},
      {"version alone", test::Reply::Text("SCRIPTVERSION=9\r\n"), kNotASiteListBox},
      {"nine bytes", test::Reply::Text("123456789"), kNotASiteListBox},
      {"sites without templates", test::Reply::Text("TITLE=A\r\nURL=u\r\nTITLE=B\r\n"),
       kNotASiteListBox},
  };
  Check("VERSION=1.01\nSCRIPTVERSION=6\n");
  for (const auto& [name, reply, box] : answers) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Update(reply), (Messages{box}));
    EXPECT_EQ(folder.Read("pad.dat"), old);
    EXPECT_EQ(dialog.SitesVersion, "5");
    EXPECT_EQ(sitesBox.text, "5");
    EXPECT_TRUE(updateButton.enabled);
  }
  EXPECT_EQ(Update(test::Reply::Text(list)), (Messages{kCompleteBox}));
  EXPECT_EQ(folder.Read("pad.dat"), list + "\r\n");
}

TEST_F(UpdateDialogTest, APadDatThatCannotBeWrittenKeepsTheOldFile) {
  const std::string old = folder.Read("pad.dat");
  const test::Reply list = test::Reply::Text("SCRIPTVERSION=6\r\nTITLE=New\r\nGETORPOST=g\r\n");
  Check("VERSION=1.01\nSCRIPTVERSION=6\n");

  // A folder in pad.dat's place stays a folder.
  std::filesystem::rename(folder / "pad.dat", folder / "pad.dat.old");
  std::filesystem::create_directory(folder / "pad.dat");
  EXPECT_EQ(Update(list), (Messages{kSaveFailedBox}));
  EXPECT_TRUE(std::filesystem::is_directory(folder / "pad.dat"));
  EXPECT_EQ(dialog.SitesVersion, "5");
  EXPECT_TRUE(updateButton.enabled);

  // What an earlier save left behind under the temporary file's old name does
  // not stand in the way.
  std::filesystem::remove(folder / "pad.dat");
  std::filesystem::rename(folder / "pad.dat.old", folder / "pad.dat");
  EXPECT_EQ(folder.Read("pad.dat"), old);
  std::filesystem::create_directory(folder / "pad.dat.tmp");
  EXPECT_EQ(Update(list), (Messages{kCompleteBox}));
  EXPECT_EQ(folder.Read("pad.dat"), "SCRIPTVERSION=6\r\nTITLE=New\r\nGETORPOST=g\r\n\r\n");
}

}  // namespace
}  // namespace tesselwick

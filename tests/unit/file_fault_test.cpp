// The program's files when the file system works against it: a working folder
// it may not write, files that are folders or links to a device, a full disk,
// and pad.dat changed by someone else while a run is under way. Nothing may be
// lost or half-written, and the user is told.

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/app/update_dialog.h"
#include "core/platform/date.h"
#include "core/submit/report.h"
#include "support/child_process.h"
#include "support/fake_controls.h"
#include "support/sample_sites.h"
#include "support/temp_folder.h"
#include "support/test_http_server.h"

namespace tesselwick {
namespace {

namespace fs = std::filesystem;
using test::FakeMainWindow;
using test::Reply;
using test::Row;
using test::RowsOf;
using test::Site;
using test::TempFolder;
using test::TestHttpServer;
using Message = std::pair<std::string, std::string>;
using Messages = std::vector<Message>;

constexpr const char* kDownloadPath = "/cgi-bin/versionupdate.pl";
const Message kTemplateUnreadable{"Error loading file", "Error"};
const Message kReportUnwritable{"Could not write to report file", "Error Log"};
const Message kHistoryUnwritable{"Save to File", "Error Writing File"};
const Message kSiteFileUnwritable{"Error Saving Engines File", "Update Data"};
const Message kUpdateComplete{"Site update complete", "TesselWick Update:"};

const char* kPadFile =
    "<XML_DIZ_INFO><Program_Info><Program_Category_Class>Games::Puzzle"
    "</Program_Category_Class></Program_Info></XML_DIZ_INFO>";

// Whether a file holds exactly `bytes`; when not, says so without printing
// kilobytes of either.
testing::AssertionResult Holds(const TempFolder& folder, const std::string& name,
                               const std::string& bytes) {
  const std::string actual = folder.Read(name);
  if (actual == bytes) return testing::AssertionSuccess();
  return testing::AssertionFailure() << name << " holds " << actual.size() << " bytes beginning \""
                                     << actual.substr(0, 60) << "\", not the " << bytes.size()
                                     << " expected, beginning \"" << bytes.substr(0, 60) << "\"";
}

std::vector<std::string> FolderListing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// `count` sites on the server, pad.dat's text for them, and the rows a run
// that passes them all gives.
struct SiteList {
  SiteList(const TestHttpServer& server, int count) {
    for (int i = 0; i < count; ++i) {
      const std::string title = "site" + std::to_string(i);
      file.insert(0, Site(title, server.Url("/thanks?n=" + std::to_string(i))));
      rows += Row(title, "Pass");
    }
  }
  std::string file;
  std::string rows;
};

class FakeButton : public ButtonControl {
 public:
  void Enable(bool enable) override { enabled = enable; }
  bool IsEnabled() const override { return enabled; }
  bool enabled = true;
};

// An update dialog over fakes, downloading from `server` into `folder`.
struct FakeUpdateWindow {
  FakeUpdateWindow(const fs::path& folder, const TestHttpServer& server)
      : dialog(UpdateDialogControls{programBox, serverProgramBox, sitesBox, serverSitesBox,
                                    updateButton, messages},
               folder, server.Url()) {
    dialog.ProgramVersion = "1.01";
    dialog.SitesVersion = "5";
    dialog.ServerSitesVersion = "6";
  }
  test::FakeText programBox, serverProgramBox, sitesBox, serverSitesBox;
  FakeButton updateButton;
  test::FakeMessages messages;
  UpdateDialog dialog;
};

// Writes over a file in place, as another program would.
void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// Gives up the super-user's rights for good, so that file permissions hold
// for this process: as "nobody", the test folder is someone else's.
void BecomeNobody() {
  if (::geteuid() != 0) return;
  ASSERT_EQ(::setgroups(0, nullptr), 0);
  ASSERT_EQ(::setgid(65534), 0);
  ASSERT_EQ(::setuid(65534), 0);
  ASSERT_NE(::geteuid(), 0u);
}

TEST(FileFaults, AReadOnlyWorkingFolderLosesNothingAndSaysSo) {
  TempFolder folder;
  const std::string oldReport = "<p>the earlier report</p>\r\n";
  const std::string oldHistory = "CREATOR=TESSELWICK 1.0\r\nURL=http://old\r\nURL1=http://old\r\n";
  folder.Write("Report.htm", oldReport);
  folder.Write("tesselwick.ini", oldHistory);

  // In a child process, which may give up its rights without taking them from
  // the other tests.
  EXPECT_EQ(test::RunInChildProcess([&] {
              TestHttpServer server;
              server.Set("/pad.xml", Reply::Text(kPadFile));
              server.Set("/thanks", Reply::Text("Thanks"));
              server.Set(kDownloadPath,
                         Reply::Text("SCRIPTVERSION=6\r\nTITLE=New\r\nGETORPOST=g\r\n"));
              const SiteList sites(server, 3);
              folder.Write("pad.dat", sites.file);
              const std::string oldSites = folder.Read("pad.dat");
              // Readable and searchable by everyone, writable by no one but its owner.
              ASSERT_EQ(::chmod(folder.Path().c_str(), 0555), 0);
              ASSERT_NO_FATAL_FAILURE(BecomeNobody());

              FakeMainWindow w(folder.Path());
              w.dialog.Initialise();
              EXPECT_EQ(w.dialog.SiteCount, 3);
              EXPECT_EQ(w.dialog.History().Entries(), std::vector<std::string>{"http://old"});
              w.urlBox.edit = server.Url("/pad.xml");
              w.dialog.SubmissionRun();
              // The run log can't be created, the template neither, the report
              // can't be replaced: each is said once, every site was still
              // requested, and the earlier report is shown.
              ASSERT_EQ(w.messages.shown.size(), 3u);
              EXPECT_EQ(w.messages.shown[0].second, "Run Log");
              EXPECT_TRUE(w.messages.shown[0].first.starts_with(
                  "The run log cannot be written: tesselwick-runs.db: "));
              EXPECT_EQ(w.messages.shown[1], kTemplateUnreadable);
              EXPECT_EQ(w.messages.shown[2], kReportUnwritable);
              EXPECT_EQ(server.Requests().size(), 4u);
              EXPECT_EQ(folder.Read("Report.htm"), oldReport);
              EXPECT_EQ(w.shell.opened, std::vector<std::string>{(folder / "Report.htm").string()});

              w.messages.shown.clear();
              w.dialog.CloseDown();
              EXPECT_EQ(w.messages.shown, Messages{kHistoryUnwritable});
              EXPECT_EQ(folder.Read("tesselwick.ini"), oldHistory);

              FakeUpdateWindow u(folder.Path(), server);
              u.dialog.OnUpdate();
              EXPECT_EQ(u.messages.shown, Messages{kSiteFileUnwritable});
              EXPECT_EQ(folder.Read("pad.dat"), oldSites);
              EXPECT_EQ(u.dialog.SitesVersion, "5");
              EXPECT_TRUE(u.updateButton.enabled);
            }),
            "");
  // Nothing new in the folder, no temporary file, the old files whole.
  EXPECT_EQ(FolderListing(folder.Path()),
            (std::vector<std::string>{"Report.htm", "pad.dat", "tesselwick.ini"}));
  EXPECT_EQ(folder.Read("Report.htm"), oldReport);
  EXPECT_EQ(folder.Read("tesselwick.ini"), oldHistory);
}

TEST(FileFaults, AFullDiskKeepsEveryOldFileWhole) {
  TempFolder folder;
  const std::string oldReport = "<p>the earlier report</p>\r\n";
  // Ten long history entries make a file larger than the disk will take.
  std::string oldHistory = "CREATOR=TESSELWICK 1.0\r\nURL=http://old\r\n";
  for (int n = 1; n <= 10; ++n) {
    oldHistory += "URL" + std::to_string(n) + "=http://old" + std::to_string(n) + "/" +
                  std::string(2000, 'p') + "\r\n";
  }
  folder.Write("Report.htm", oldReport);
  folder.Write("tesselwick.ini", oldHistory);
  constexpr rlim_t kRoomLeft = 16 * 1024;

  EXPECT_EQ(
      test::RunInChildProcess([&] {
        TestHttpServer server;
        server.Set("/pad.xml", Reply::Text(kPadFile));
        server.Set("/thanks", Reply::Text("Thanks"));
        // A new site list larger than the room left.
        const SiteList newSites(server, 200);
        server.Set(kDownloadPath, Reply::Text("SCRIPTVERSION=6\r\n" + newSites.file));
        const SiteList sites(server, 150);
        folder.Write("pad.dat", sites.file);
        const std::string oldSites = folder.Read("pad.dat");

        // From here on no file of this process may grow past 16 KiB: a
        // write beyond fails (EFBIG) like a write to a full disk (ENOSPC)
        // would, instead of ending the process.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit room{kRoomLeft, kRoomLeft};
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &room), 0);

        FakeMainWindow w(folder.Path());
        w.dialog.Initialise();
        ASSERT_EQ(w.dialog.SiteCount, 150);
        w.urlBox.edit = server.Url("/pad.xml");
        w.dialog.SubmissionRun();
        // The run log that cannot be written is said once, and the run goes on.
        ASSERT_EQ(w.messages.shown.size(), 2u);
        EXPECT_EQ(w.messages.shown[0].second, "Run Log");
        EXPECT_EQ(w.messages.shown[1], kReportUnwritable);
        EXPECT_TRUE(Holds(folder, "Report.htm", oldReport));

        w.messages.shown.clear();
        w.dialog.CloseDown();
        EXPECT_EQ(w.messages.shown, Messages{kHistoryUnwritable});
        EXPECT_TRUE(Holds(folder, "tesselwick.ini", oldHistory));

        FakeUpdateWindow u(folder.Path(), server);
        u.dialog.OnUpdate();
        EXPECT_EQ(u.messages.shown, Messages{kSiteFileUnwritable});
        EXPECT_TRUE(Holds(folder, "pad.dat", oldSites));
        EXPECT_EQ(u.dialog.SitesVersion, "5");
        EXPECT_TRUE(u.updateButton.enabled);

        // What fits is still written: it was the size that failed.
        server.Set(kDownloadPath, Reply::Text("SCRIPTVERSION=6\r\nTITLE=Small\r\nGETORPOST=g\r\n"));
        u.messages.shown.clear();
        u.dialog.OnUpdate();
        EXPECT_EQ(u.messages.shown, Messages{kUpdateComplete});
        EXPECT_EQ(folder.Read("pad.dat"), "SCRIPTVERSION=6\r\nTITLE=Small\r\nGETORPOST=g\r\n\r\n");
      }),
      "");
  // Besides the run log begun, no file was added.
  std::vector<std::string> listing = FolderListing(folder.Path());
  std::erase_if(listing,
                [](const std::string& name) { return name.starts_with("tesselwick-runs.db"); });
  EXPECT_EQ(listing, (std::vector<std::string>{"Report.htm", "ReportTemplate.htm", "pad.dat",
                                               "tesselwick.ini"}));
  EXPECT_TRUE(Holds(folder, "Report.htm", oldReport));
  EXPECT_TRUE(Holds(folder, "tesselwick.ini", oldHistory));
}

TEST(FileFaults, FilesInTheWayAreLeftAloneAndTheRunGoesOn) {
  TestHttpServer server;
  server.Set("/pad.xml", Reply::Text(kPadFile));
  server.Set("/thanks", Reply::Text("Thanks"));
  server.Set(kDownloadPath, Reply::Text("SCRIPTVERSION=6\r\nTITLE=New\r\nGETORPOST=g\r\n"));
  const SiteList sites(server, 3);
  {
    // Folders named like the report and the history, with something inside.
    TempFolder folder;
    folder.Write("pad.dat", sites.file);
    fs::create_directory(folder / "Report.htm");
    folder.Write("Report.htm/keep.txt", "mine");
    fs::create_directory(folder / "tesselwick.ini");
    folder.Write("tesselwick.ini/keep.txt", "mine");

    FakeMainWindow w(folder.Path());
    w.dialog.Initialise();
    w.urlBox.edit = server.Url("/pad.xml");
    w.dialog.SubmissionRun();
    EXPECT_EQ(w.messages.shown, Messages{kReportUnwritable});
    EXPECT_EQ(server.Requests().size(), 4u);
    w.dialog.CloseDown();
    EXPECT_EQ(w.messages.shown, (Messages{kReportUnwritable, kHistoryUnwritable}));
    for (const char* name : {"Report.htm", "tesselwick.ini"}) {
      EXPECT_TRUE(fs::is_directory(folder / name)) << name;
      EXPECT_EQ(FolderListing(folder / name), std::vector<std::string>{"keep.txt"}) << name;
      EXPECT_EQ(folder.Read(std::string(name) + "/keep.txt"), "mine") << name;
    }
    EXPECT_EQ(folder.Read("pad.dat"), sites.file);
  }
  {
    // The report a link to /dev/full, and links to a file of the user's under
    // the names of temporary files: nothing is written through a link or into
    // a device, and the links do not keep the other files from being saved.
    TempFolder folder;
    folder.Write("pad.dat", sites.file);
    folder.Write("mine.txt", "mine");
    fs::create_symlink("/dev/full", folder / "Report.htm");
    fs::create_symlink(folder / "mine.txt", folder / "tesselwick.ini.tmp");
    fs::create_symlink(folder / "mine.txt", folder / "pad.dat.tmp");
    server.ClearRequests();

    FakeMainWindow w(folder.Path());
    w.dialog.Initialise();
    w.urlBox.edit = server.Url("/pad.xml");
    w.dialog.SubmissionRun();
    EXPECT_EQ(server.Requests().size(), 4u);
    w.dialog.CloseDown();
    EXPECT_EQ(w.messages.shown, Messages{kReportUnwritable});
    EXPECT_NE(folder.Read("tesselwick.ini").find(server.Url("/pad.xml")), std::string::npos);
    FakeUpdateWindow u(folder.Path(), server);
    u.dialog.OnUpdate();
    EXPECT_EQ(u.messages.shown, Messages{kUpdateComplete});

    EXPECT_EQ(fs::read_symlink(folder / "Report.htm"), "/dev/full");
    EXPECT_EQ(folder.Read("mine.txt"), "mine");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder / "pad.dat")));
    EXPECT_TRUE(fs::is_symlink(folder / "tesselwick.ini.tmp"));
    EXPECT_TRUE(fs::is_symlink(folder / "pad.dat.tmp"));
    // No temporary file is left behind.
    for (const std::string& name : FolderListing(folder.Path())) {
      if (name.ends_with(".tmp")) {
        EXPECT_TRUE(fs::is_symlink(folder / name)) << name;
      }
    }
  }
}

TEST(FileFaults, PadDatChangedDuringARunIsNeitherReadNorOverwritten) {
  TestHttpServer server;
  server.Set("/pad.xml", Reply::Text(kPadFile));
  server.Set("/thanks", Reply::Text("Thanks"));
  const SiteList sites(server, 4);
  // The list's third site (site2) is where the change comes; the sites are
  // requested one at a time, so the run is half-way then.
  const std::string file = Site("site3", server.Url("/thanks?n=3")) +
                           Site("site2", server.Url("/changing")) +
                           sites.file.substr(sites.file.find("TITLE=site1"));
  const std::string intruder = Site("intruder", server.Url("/thanks?n=intruder"));

  // What another program does to pad.dat while the run's sites are requested,
  // and what pad.dat then holds.
  struct Change {
    const char* name;
    std::function<void(const fs::path&)> apply;
    std::string after;
  };
  const std::vector<Change> changes = {
      {"rewritten", [&](const fs::path& path) { WriteBytes(path, intruder); }, intruder},
      {"truncated", [](const fs::path& path) { fs::resize_file(path, 10); }, file.substr(0, 10)},
      {"deleted", [](const fs::path& path) { fs::remove(path); }, "<missing>"},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.name);
    TempFolder folder;
    folder.Write("pad.dat", file);
    Reply changing = Reply::Text("Thanks");
    changing.onRequest = [&change, path = folder / "pad.dat"] { change.apply(path); };
    server.Set("/changing", changing);

    FakeMainWindow w(folder.Path());
    w.dialog.maxConcurrentRequests = 1;
    w.dialog.Initialise();
    ASSERT_EQ(w.dialog.SiteCount, 4);
    w.urlBox.edit = server.Url("/pad.xml");
    w.dialog.SubmissionRun();
    w.dialog.CloseDown();

    // The run reports the sites it started with, and leaves pad.dat to whoever
    // changed it.
    EXPECT_TRUE(w.messages.shown.empty());
    EXPECT_EQ(RowsOf(folder.Read("Report.htm")), sites.rows);
    EXPECT_EQ(folder.Read("pad.dat"), change.after);
    EXPECT_EQ(w.siteList.RowCount(), 4);
  }
}

}  // namespace
}  // namespace tesselwick

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "support/fake_controls.h"
#include "support/temp_folder.h"

namespace tesselwick {
namespace {

using test::FakeMainWindow;
using test::TempFolder;

TEST(SiteList, ThreeRecordsShowTheLastOnTopAndCountThree) {
  TempFolder folder;
  folder.Write("pad.dat",
               "TITLE=First\r\nURL=u1\r\nTITLE=Second\r\nURL=u2\r\nTITLE=Third\r\nURL=u3\r\n"
               "SCRIPTVERSION=12\r\n");
  FakeMainWindow w(folder.Path());
  w.dialog.Initialise();

  ASSERT_EQ(w.siteList.RowCount(), 3);
  EXPECT_EQ(w.siteList.Row(0).Title, "Third");
  EXPECT_EQ(w.siteList.Row(1).Title, "Second");
  EXPECT_EQ(w.siteList.Row(2).Title, "First");
  EXPECT_EQ(w.siteList.Row(0).Url, "u3");
  EXPECT_EQ(w.siteCount.text, "3");
  EXPECT_EQ(w.dialog.SiteCount, 3);
  EXPECT_EQ(w.dialog.SitesVersion, "12");
  EXPECT_EQ(w.siteList.headings,
            (std::vector<std::string>{"Title", "URL", "Submit URL", "Get Or Post"}));
  EXPECT_EQ(w.dialog.CurrentSite, SiteRecord{});
}

TEST(SiteList, MissingFileIsCreatedEmptyAndShowsZero) {
  TempFolder folder;
  FakeMainWindow w(folder.Path());
  w.dialog.Initialise();
  EXPECT_EQ(w.siteList.RowCount(), 0);
  EXPECT_EQ(w.siteCount.text, "0");
  EXPECT_EQ(folder.Read("pad.dat"), "");
}

TEST(SiteList, CarriageReturnsAloneYieldNothing) {
  TempFolder folder;
  folder.Write("pad.dat", "TITLE=A\rURL=u\rTITLE=B\r");
  FakeMainWindow w(folder.Path());
  w.dialog.Initialise();
  EXPECT_EQ(w.siteList.RowCount(), 0);
}

// A pad.dat that cannot be read leaves the list empty and says which file
// and why; a link that leads nowhere reads as an empty list and creates
// nothing.
TEST(SiteList, UnreadableInputLoadsNothingAndSaysWhy) {
  const struct {
    const char* name;
    std::function<void(TempFolder&)> make;
    const char* reason;  // nullptr: no message
  } cases[] = {
      {"folder", [](TempFolder& f) { std::filesystem::create_directory(f / "pad.dat"); },
       "it is a folder"},
      {"fifo", [](TempFolder& f) { ::mkfifo((f / "pad.dat").c_str(), 0666); },
       "it is not a regular file"},
      {"dangling link",
       [](TempFolder& f) { std::filesystem::create_symlink(f / "nowhere.dat", f / "pad.dat"); },
       nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    c.make(folder);
    FakeMainWindow w(folder.Path());
    w.dialog.Initialise();
    EXPECT_EQ(w.siteCount.text, "0");
    EXPECT_FALSE(std::filesystem::exists(folder / "nowhere.dat"));
    if (c.reason == nullptr) {
      EXPECT_TRUE(w.messages.shown.empty());
    } else {
      ASSERT_EQ(w.messages.shown.size(), 1u);
      EXPECT_EQ(w.messages.shown[0].first, "The site list cannot be read.\r\n" +
                                               (folder / "pad.dat").string() + ": " + c.reason);
      EXPECT_EQ(w.messages.shown[0].second, "Error Loading Site List");
    }
  }
  if (::geteuid() != 0) {  // root reads whatever the permissions say
    TempFolder folder;
    folder.Write("pad.dat", "TITLE=A\n");
    ::chmod((folder / "pad.dat").c_str(), 0);
    FakeMainWindow w(folder.Path());
    w.dialog.Initialise();
    EXPECT_EQ(w.siteCount.text, "0");
  }
  {
    TempFolder folder;
    std::string huge = "TITLE=Big\nURL=" + std::string(10 * 1024 * 1024, 'x') + "\n";
    huge += std::string("TITLE=\x01\x02\xff\0z\n", 12);
    folder.Write("pad.dat", huge);
    FakeMainWindow w(folder.Path());
    w.dialog.Initialise();
    ASSERT_EQ(w.siteList.RowCount(), 2);
    EXPECT_EQ(w.siteList.Row(1).Url.size(), 10u * 1024 * 1024);
  }
}

TEST(SiteList, UpdateReloadEmptiesTheListAndListsNoSiteTwice) {
  TempFolder folder;
  folder.Write("pad.dat", "TITLE=A\nTITLE=B\n");
  FakeMainWindow w(folder.Path());
  w.dialog.Initialise();
  w.dialog.PadUrl = "http://typed/pad.xml";
  w.dialog.Push();
  // What a submission run leaves behind: the last row it read.
  w.dialog.ReadSiteRow(1);
  bool ran = false;
  w.dialog.runUpdateDialog = [&](const std::string& program, const std::string&) {
    ran = true;
    EXPECT_EQ(program, "1.01");
    folder.Write("pad.dat", "TITLE=C\nSCRIPTVERSION=3\n");
  };
  w.dialog.OnUpdateSites();
  EXPECT_TRUE(ran);
  ASSERT_EQ(w.siteList.RowCount(), 1);
  EXPECT_EQ(w.siteList.Row(0).Title, "C");
  EXPECT_EQ(w.siteCount.text, "1");
  EXPECT_EQ(w.dialog.SitesVersion, "3");
  EXPECT_EQ(w.urlBox.edit, "http://typed/pad.xml");
}

TEST(SiteList, ColumnsAreFittedOncePerLoad) {
  TempFolder folder;
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "TITLE=Site " + std::to_string(i) + "\n";
  folder.Write("pad.dat", text);
  FakeMainWindow w(folder.Path());
  w.dialog.Initialise();
  EXPECT_EQ(w.siteList.RowCount(), 2000);
  EXPECT_LE(w.siteList.fits, 2);
}

}  // namespace
}  // namespace tesselwick

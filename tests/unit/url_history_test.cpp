#include "core/history/url_history.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "core/net/http_fetch.h"
#include "core/platform/text_file.h"
#include "support/fake_controls.h"
#include "support/temp_folder.h"

namespace tesselwick {
namespace {

using test::FakeMainWindow;
using test::TempFolder;

// tesselwick.ini as it must be on disk for a PAD URL and a list.
std::string HistoryBytes(const std::string& padUrl, const std::vector<std::string>& entries) {
  std::string bytes = "CREATOR=TESSELWICK 1.0\r\nURL=" + padUrl + "\r\n";
  for (std::size_t n = 1; n <= 10; ++n)
    bytes += "URL" + std::to_string(n) + "=" + (n <= entries.size() ? entries[n - 1] : "") + "\r\n";
  return bytes + "\r\n\r\n";
}

void Remember(FakeMainWindow& w, const std::string& url) {
  w.urlBox.edit = url;
  w.dialog.RememberPadUrl();
}

TEST(UrlHistory, FirstRunLeavesAnEmptyFileAndSavesEveryKeyEmpty) {
  TempFolder folder;
  FakeMainWindow w(folder.Path());
  w.dialog.Initialise();
  EXPECT_EQ(folder.Read("tesselwick.ini"), "");
  EXPECT_EQ(w.urlBox.edit, "");
  EXPECT_TRUE(w.urlBox.entries.empty());

  w.dialog.CloseDown();
  const std::string expected =
      "CREATOR=TESSELWICK 1.0\r\nURL=\r\nURL1=\r\nURL2=\r\nURL3=\r\nURL4=\r\nURL5=\r\nURL6=\r\n"
      "URL7=\r\nURL8=\r\nURL9=\r\nURL10=\r\n\r\n\r\n";
  EXPECT_EQ(folder.Read("tesselwick.ini"), expected);
  EXPECT_EQ(expected.substr(expected.size() - 6), "\r\n\r\n\r\n");
  EXPECT_TRUE(w.messages.shown.empty());
}

TEST(UrlHistory, RememberedUrlsAreKeptInOrderWithoutCaseVariantsOrEmptyText) {
  TempFolder folder;
  FakeMainWindow w(folder.Path());
  w.dialog.Initialise();
  Remember(w, "http://b.example/pad.xml");
  Remember(w, "HTTP://A.example/pad.xml");
  Remember(w, "http://c.example/pad.xml");
  Remember(w, "http://B.EXAMPLE/pad.xml");  // a case variant of an entry
  Remember(w, "");
  const std::vector<std::string> list = {"HTTP://A.example/pad.xml", "http://b.example/pad.xml",
                                         "http://c.example/pad.xml"};
  EXPECT_EQ(w.dialog.History().Entries(), list);
  EXPECT_EQ(w.urlBox.entries, list);

  // The box keeps the text as typed; the last pull (Quit) is what "URL=" gets.
  w.urlBox.edit = "http://B.EXAMPLE/pad.xml";
  w.dialog.Pull();
  w.dialog.CloseDown();
  EXPECT_EQ(folder.Read("tesselwick.ini"), HistoryBytes("http://B.EXAMPLE/pad.xml", list));
}

TEST(UrlHistory, OnlyTheFirstTenEntriesAreSavedAndOfferedNextTime) {
  TempFolder folder;
  std::vector<std::string> all;
  {
    FakeMainWindow w(folder.Path());
    w.dialog.Initialise();
    // Added out of order: l, k, ..., a.
    for (char c = 'l'; c >= 'a'; --c) {
      const std::string url = std::string("http://") + c + ".example/pad.xml";
      Remember(w, url);
      all.insert(all.begin(), url);
    }
    EXPECT_EQ(w.dialog.History().Entries(), all);
    w.dialog.CloseDown();
  }
  const std::vector<std::string> firstTen(all.begin(), all.begin() + 10);
  EXPECT_EQ(folder.Read("tesselwick.ini"), HistoryBytes("http://a.example/pad.xml", firstTen));

  FakeMainWindow next(folder.Path());
  next.dialog.Initialise();
  EXPECT_EQ(next.urlBox.entries, firstTen);
  EXPECT_EQ(next.urlBox.edit, "http://a.example/pad.xml");
  EXPECT_EQ(next.dialog.PadUrl, "http://a.example/pad.xml");
}

// The URL the user has just used is never the one dropped: when it sorts
// after ten others, the last of those makes room for it.
TEST(UrlHistory, TheUrlUsedInThisRunIsAlwaysSaved) {
  std::vector<std::string> twelve;
  for (char c = 'a'; c <= 'l'; ++c) twelve.push_back(std::string("http://") + c + ".example/");
  std::string file = "URL=" + twelve[0] + "\n";
  for (std::size_t i = 0; i < twelve.size(); ++i)
    file += "URL" + std::to_string(i % 10 + 1) + "=" + twelve[i] + "\n";
  const struct {
    const char* name;
    std::vector<std::string> used;  // submitted in this order
    std::string savedTenth;
  } cases[] = {
      {"nothing used", {}, twelve[9]},
      {"a new URL sorting last", {"http://z.example/"}, "http://z.example/"},
      {"an old entry sorting last", {"http://l.example/"}, twelve[11]},
      {"a case variant of an old entry", {"HTTP://K.EXAMPLE/"}, twelve[10]},
      {"the last used counts", {"http://z.example/", "http://k.example/"}, twelve[10]},
      {"used and among the ten", {"http://z.example/", "http://b.example/"}, twelve[9]},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    folder.Write("tesselwick.ini", file);
    FakeMainWindow w(folder.Path());
    w.dialog.Initialise();
    for (const std::string& url : c.used) Remember(w, url);
    w.dialog.CloseDown();
    std::vector<std::string> saved(twelve.begin(), twelve.begin() + 9);
    saved.push_back(c.savedTenth);
    const std::string padUrl = c.used.empty() ? twelve[0] : c.used.back();
    EXPECT_EQ(folder.Read("tesselwick.ini"), HistoryBytes(padUrl, saved));
  }
}

TEST(UrlHistory, AHistoryOfManyLinesLoadsEveryDistinctEntryInOrder) {
  TempFolder folder;
  std::string file;
  for (int i = 30000; i > 0; --i) {
    file += "URL" + std::to_string(i % 10 + 1) + "=http://h" + std::to_string(i % 20000) + "/\n";
    if (i % 3 == 0) file += "URL1=HTTP://H" + std::to_string(i % 20000) + "/\n";
  }
  folder.Write("tesselwick.ini", file);
  FakeMainWindow w(folder.Path());
  w.dialog.Initialise();
  ASSERT_EQ(w.urlBox.entries.size(), 20000u);
  EXPECT_TRUE(std::is_sorted(w.urlBox.entries.begin(), w.urlBox.entries.end(), UrlEntryLess));
  EXPECT_EQ(w.urlBox.entries, w.dialog.History().Entries());
}

TEST(UrlHistory, HandEditedFilesAreReadByTheirExactKeys) {
  TempFolder folder;
  folder.Write("tesselwick.ini",
               "CREATOR=SOMETHING ELSE\r\n"
               "URL1 =http://blank-before-equals\r\n"  // key "URL1 "
               "url2=http://lower-case-key\r\n"
               "URL3= http://leading-blank\r\n"
               "URL4=http://trailing-blanks \t \r\n"
               "URL5=http://x/?a=b\r\n"
               "URL11=http://eleven\r\n"
               "URL01=http://zero-one\r\n"
               "URL6=\r\n"
               "URL7=HTTP://X/?A=B\r\n"  // a case variant of URL5's value
               "URL1=http://m1\nURL1=http://m2\nURL2=http://m3\nURL9=http://m4\n"
               "URL10=http://m5\nURL10=http://m6\nURL3=http://m7\nURL3=http://m8\n"
               "URL=http://typed.example/pad.xml\r\n"
               "URL8=http://no-line-feed");
  FakeMainWindow w(folder.Path());
  w.dialog.Initialise();
  const std::vector<std::string> list = {" http://leading-blank",
                                         "http://m1",
                                         "http://m2",
                                         "http://m3",
                                         "http://m4",
                                         "http://m5",
                                         "http://m6",
                                         "http://m7",
                                         "http://m8",
                                         "http://trailing-blanks",
                                         "http://x/?a=b"};
  EXPECT_EQ(w.dialog.History().Entries(), list);
  EXPECT_EQ(w.urlBox.entries, list);
  // The "URL" line fills the edit field but is not a list entry.
  EXPECT_EQ(w.urlBox.edit, "http://typed.example/pad.xml");
  EXPECT_EQ(w.dialog.History().Find("http://typed.example/pad.xml"), std::nullopt);

  // The last of several "URL" lines wins, and an empty one empties the box.
  folder.Write("tesselwick.ini", "URL=http://first\nURL=http://second\n");
  FakeMainWindow second(folder.Path());
  second.dialog.Initialise();
  EXPECT_EQ(second.urlBox.edit, "http://second");
  folder.Write("tesselwick.ini", "URL=http://first\nURL=\n");
  FakeMainWindow third(folder.Path());
  third.dialog.Initialise();
  EXPECT_EQ(third.urlBox.edit, "");
}

// A line break in the PAD URL would split the history file's lines and plant
// entries of its own: such a URL is refused before anything is remembered.
TEST(UrlHistory, AUrlWithAControlCharacterIsRefusedAndNeverReachesTheFile) {
  const std::pair<std::string, std::string> refused{
      "Your PAD URL holds a line break or another control character. Type the address on one "
      "line and submit again.",
      "Error Loading Your PAD File."};
  for (const std::string url :
       {"http://x/pad.xml\nURL3=http://planted.example/",
        "http://x/pad.xml\r\nURL3=http://planted.example/",
        "http://x/pad.xml\rURL3=http://planted.example/", "http://x/\x1b]0;title\x07pad.xml",
        "http://x/\tpad.xml", "http://x/pad.xml\x7f"}) {
    SCOPED_TRACE(url);
    TempFolder folder;
    FakeMainWindow w(folder.Path());
    w.dialog.Initialise();
    w.urlBox.edit = url;
    w.dialog.SubmissionRun();
    EXPECT_EQ(w.messages.shown, (std::vector<std::pair<std::string, std::string>>{refused}));
    EXPECT_TRUE(w.dialog.History().Entries().empty());
    EXPECT_TRUE(w.urlBox.entries.empty());
    EXPECT_EQ(folder.Read("Report.htm"), "<missing>");
    // Quit with it still in the box: the file's "URL=" stays empty.
    w.dialog.CloseDown();
    EXPECT_EQ(folder.Read("tesselwick.ini"), HistoryBytes("", {}));
  }
}

// Whatever a history file holds, it is read in bounded memory, and only what
// could be requested is taken and written back.
TEST(UrlHistory, AHostileHistoryFileGivesOnlyEntriesThatCouldBeRequested) {
  const std::string longest = "http://x/" + std::string(kMaxUrlBytes - 9, 'a');
  const std::string tooLong = longest + "a";
  const struct {
    const char* name;
    std::string file;
    std::vector<std::string> entries;
    std::string padUrl;
  } cases[] = {
      {"a URL of the longest length requested", "URL1=" + longest + "\r\n", {longest}, ""},
      {"one byte longer, then a good line",
       "URL1=" + tooLong + "\r\nURL2=http://after/\r\n",
       {"http://after/"},
       ""},
      {"a line of 3 MiB between good ones",
       "URL1=http://before/\nURL2=" + std::string(3 * 1024 * 1024, 'z') + "\nURL3=http://after/\n",
       {"http://after/", "http://before/"},
       ""},
      {"a PAD URL too long is no PAD URL",
       "URL=http://ok/\nURL=" + tooLong + "\n",
       {},
       "http://ok/"},
      {"control characters inside a value",
       "URL1=http://a/\rURL3=http://planted/\r\nURL2=http://b/\x1b[2J\r\nURL3=http://c/\r\n"
       "URL=http://d/\x07\r\n",
       {"http://c/"},
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    folder.Write("tesselwick.ini", c.file);
    FakeMainWindow w(folder.Path());
    w.dialog.Initialise();
    EXPECT_EQ(w.dialog.History().Entries(), c.entries);
    EXPECT_EQ(w.urlBox.edit, c.padUrl);
    w.dialog.CloseDown();
    EXPECT_EQ(folder.Read("tesselwick.ini"), HistoryBytes(c.padUrl, c.entries));
  }

  // A URL that could not be requested is not remembered either.
  UrlHistory history;
  EXPECT_EQ(history.Remember(tooLong), std::nullopt);
  EXPECT_EQ(history.Remember(longest), 0u);
  EXPECT_EQ(history.Entries(), std::vector<std::string>{longest});

  // However many entries a file holds, so many are taken at most.
  std::string many;
  for (std::size_t i = 0; i < UrlHistory::kMostLoadedEntries + 5; ++i)
    many += "URL1=http://h" + std::to_string(i) + "/\n";
  UrlHistory full;
  full.Read(many);
  EXPECT_EQ(full.Entries().size(), UrlHistory::kMostLoadedEntries);
}

// Two runs in one folder at once: each save merges in what the other saved
// since it loaded the file, so both URLs are remembered.
TEST(UrlHistory, RunsThatSaveInOneFolderAtOnceKeepEachOthersUrls) {
  {
    TempFolder folder;
    folder.Write("tesselwick.ini", HistoryBytes("http://old/", {"http://old/"}));
    FakeMainWindow first(folder.Path()), second(folder.Path());
    first.dialog.Initialise();
    second.dialog.Initialise();
    Remember(first, "http://first/");
    Remember(second, "http://second/");
    first.dialog.CloseDown();
    second.dialog.CloseDown();
    EXPECT_EQ(folder.Read("tesselwick.ini"),
              HistoryBytes("http://second/", {"http://first/", "http://old/", "http://second/"}));
  }
  {
    // A save that waits for the lock reads the file that the holder put in
    // place meanwhile.
    TempFolder folder;
    std::thread saving;
    {
      const LockedFile held(folder / "tesselwick.ini");
      ASSERT_TRUE(held.Locked());
      saving = std::thread([&folder] {
        UrlHistory history;
        history.Remember("http://waiting/");
        EXPECT_TRUE(history.Save(folder / "tesselwick.ini", "http://waiting/"));
      });
      ASSERT_TRUE(ReplaceTextFile(folder / "tesselwick.ini", "URL1=http://holder/\n"));
    }
    saving.join();
    EXPECT_EQ(folder.Read("tesselwick.ini"),
              HistoryBytes("http://waiting/", {"http://holder/", "http://waiting/"}));
  }
  // Eight at once, a few times over: every URL is there at the end.
  for (int round = 0; round < 5; ++round) {
    TempFolder folder;
    std::vector<std::thread> runs;
    std::vector<std::string> urls;
    for (int i = 0; i < 8; ++i) urls.push_back("http://run" + std::to_string(i) + "/");
    for (const std::string& url : urls) {
      runs.emplace_back([&folder, url] {
        UrlHistory history;
        history.Load(folder / "tesselwick.ini");
        history.Remember(url);
        EXPECT_TRUE(history.Save(folder / "tesselwick.ini", url));
      });
    }
    for (std::thread& run : runs) run.join();
    UrlHistory after;
    after.Load(folder / "tesselwick.ini");
    EXPECT_EQ(after.Entries(), urls) << "round " << round;
  }
}

TEST(UrlHistory, AHistoryThatCannotBeReadLoadsNothingSilently) {
  TempFolder folder;
  std::filesystem::create_directory(folder / "tesselwick.ini");
  FakeMainWindow w(folder.Path());
  w.dialog.Initialise();
  EXPECT_TRUE(w.dialog.History().Entries().empty());
  EXPECT_TRUE(w.messages.shown.empty());
}

TEST(UrlHistory, AFailedSaveKeepsTheOldFileAndSaysSo) {
  const std::pair<std::string, std::string> message{"Save to File", "Error Writing File"};
  {
    // A folder left under the temporary file's old name does not stop the save.
    TempFolder folder;
    folder.Write("tesselwick.ini", HistoryBytes("http://old", {"http://old"}));
    std::filesystem::create_directory(folder / "tesselwick.ini.tmp");
    FakeMainWindow w(folder.Path());
    w.dialog.Initialise();
    Remember(w, "http://new");
    w.dialog.CloseDown();
    EXPECT_EQ(folder.Read("tesselwick.ini"),
              HistoryBytes("http://new", {"http://new", "http://old"}));
    EXPECT_TRUE(w.messages.shown.empty());
  }
  {
    // A folder named tesselwick.ini is never replaced.
    TempFolder folder;
    std::filesystem::create_directory(folder / "tesselwick.ini");
    FakeMainWindow w(folder.Path());
    w.dialog.Initialise();
    w.dialog.CloseDown();
    EXPECT_TRUE(std::filesystem::is_directory(folder / "tesselwick.ini"));
    ASSERT_EQ(w.messages.shown.size(), 1u);
    EXPECT_EQ(w.messages.shown[0], message);
  }
}

}  // namespace
}  // namespace tesselwick

namespace tesselwick {
namespace {

TEST(UrlHistory, TheBoxShowsTheTypedUrlNeverALongerEntryOrACaseVariant) {
  test::TempFolder folder;
  folder.Write("tesselwick.ini", "URL1=http://pads.example/Tool.xml\r\n");
  test::FakeMainWindow w(folder.Path());
  w.dialog.Initialise();

  // A prefix of an entry stays as typed after a command's pull and push.
  w.urlBox.edit = "http://pads.example/T";
  w.dialog.OnShowManual();
  EXPECT_EQ(w.urlBox.edit, "http://pads.example/T");
  EXPECT_EQ(w.dialog.PadUrl, "http://pads.example/T");

  // A case variant of an entry is remembered as nothing new, and still shown
  // and carried as typed.
  w.urlBox.edit = "http://pads.example/tool.xml";
  w.dialog.Pull();
  w.dialog.RememberPadUrl();
  EXPECT_EQ(w.dialog.History().Entries(), std::vector<std::string>{"http://pads.example/Tool.xml"});
  EXPECT_EQ(w.urlBox.edit, "http://pads.example/tool.xml");
  EXPECT_EQ(w.dialog.PadUrl, "http://pads.example/tool.xml");
}

}  // namespace
}  // namespace tesselwick

#include "core/platform/text_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/platform/date.h"
#include "support/temp_folder.h"

namespace tesselwick {
namespace {

TEST(TextFile, ReadingTurnsCrLfIntoLfAndKeepsLoneCr) {
  test::TempFolder folder;
  folder.Write("a.txt", "one\r\ntwo\rthree\n\r\n");
  EXPECT_EQ(ReadTextFileContents(folder / "a.txt"), "one\ntwo\rthree\n\n");
}

TEST(TextFile, ReadingCreatesAMissingFileAndRefusesAFolder) {
  test::TempFolder folder;
  EXPECT_EQ(ReadTextFileContents(folder / "new.txt"), "");
  EXPECT_TRUE(std::filesystem::exists(folder / "new.txt"));
  std::filesystem::create_directory(folder / "dir");
  EXPECT_FALSE(ReadTextFileContents(folder / "dir").has_value());
}

TEST(TextFile, ReplacingWritesCrLfAndLeavesNoTemporaryFile) {
  test::TempFolder folder;
  folder.Write("out.txt", "old");
  ASSERT_TRUE(ReplaceTextFile(folder / "out.txt", "a\nb\n"));
  EXPECT_EQ(folder.Read("out.txt"), "a\r\nb\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(TextFile, AFailedReplaceKeepsTheOldFile) {
  test::TempFolder folder;
  std::filesystem::create_directory(folder / "dir");
  EXPECT_FALSE(ReplaceTextFile(folder / "dir", "x"));
  EXPECT_TRUE(std::filesystem::is_directory(folder / "dir"));
  // What an earlier save left behind under a temporary-looking name neither
  // blocks the next save nor is written through: a folder, and a hard link to
  // a file of the user's.
  folder.Write("kept.txt", "old");
  folder.Write("mine.txt", "mine");
  std::filesystem::create_directory(folder / "kept.txt.tmp");
  std::filesystem::create_hard_link(folder / "mine.txt", folder / "kept.txt.000000.tmp");
  EXPECT_TRUE(ReplaceTextFile(folder / "kept.txt", "new"));
  EXPECT_EQ(folder.Read("kept.txt"), "new");
  EXPECT_EQ(folder.Read("mine.txt"), "mine");
  EXPECT_TRUE(std::filesystem::is_directory(folder / "kept.txt.tmp"));
}

TEST(TextFile, ReplacingKeepsPermissionsAndRefusesWhatMayNotBeWritten) {
  test::TempFolder folder;
  folder.Write("mode.txt", "old");
  ::chmod((folder / "mode.txt").c_str(), 0640);
  ASSERT_TRUE(ReplaceTextFile(folder / "mode.txt", "new"));
  struct stat info {};
  ::stat((folder / "mode.txt").c_str(), &info);
  EXPECT_EQ(info.st_mode & 07777, 0640u);

  // A FIFO is neither read (which would block) nor replaced.
  ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0666), 0);
  EXPECT_FALSE(ReadTextFileContents(folder / "fifo").has_value());
  EXPECT_FALSE(ReplaceTextFile(folder / "fifo", "x"));

  if (::geteuid() != 0) {  // root may write whatever the permissions say
    folder.Write("locked.txt", "kept");
    ::chmod((folder / "locked.txt").c_str(), 0444);
    EXPECT_FALSE(ReplaceTextFile(folder / "locked.txt", "new"));
    EXPECT_EQ(folder.Read("locked.txt"), "kept");
  }
}

TEST(Date, EnglishMonthAbbreviationsWhateverTheLocale) {
  std::tm when{};
  when.tm_year = 2026 - 1900;
  when.tm_mon = 11;
  when.tm_mday = 6;
  when.tm_hour = 12;
  when.tm_isdst = -1;
  EXPECT_EQ(FormatDate(std::mktime(&when)), "06-Dec-2026");
}

}  // namespace
}  // namespace tesselwick

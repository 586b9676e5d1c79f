#include "core/platform/text_file.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <string>

#include "core/platform/date.h"
#include "support/temp_folder.h"

namespace tesselwick {
namespace {

TEST(TextFile, ReadingTurnsCrLfIntoLfAndKeepsLoneCr) {
  test::TempFolder folder;
  folder.Write("a.txt", "one\r\ntwo\rthree\n\r\n");
  EXPECT_EQ(ReadTextFileContents(folder / "a.txt"), "one\ntwo\rthree\n\n");
  // Every byte comes through: a Ctrl+Z does not end the text.
  folder.Write("z.txt", "a\x1a b\r\nc");
  EXPECT_EQ(ReadTextFileContents(folder / "z.txt"), "a\x1a b\nc");
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

#ifdef _WIN32
// A read-only file is kept. A file that another program holds open, not
// letting others delete it, cannot be replaced: the save fails and leaves the
// old file whole and no temporary one, and succeeds once the file is free.
// One held open as the program itself holds the files it reads is replaced on
// Windows 10 and later, and left whole where the system does not allow that
// (Wine).
TEST(TextFile, ReadOnlyAndHeldFilesOnWindows) {
  test::TempFolder folder;
  folder.Write("locked.txt", "kept");
  std::filesystem::permissions(folder / "locked.txt", std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  EXPECT_FALSE(ReplaceTextFile(folder / "locked.txt", "new"));
  EXPECT_EQ(folder.Read("locked.txt"), "kept");
  std::filesystem::permissions(folder / "locked.txt", std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);

  folder.Write("held.txt", "old");
  const std::wstring held = (folder / "held.txt").wstring();
  for (const DWORD share : {DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE},
                            DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE}}) {
    HANDLE other = CreateFileW(held.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    const bool replaced = ReplaceTextFile(folder / "held.txt", "new\n");
    CloseHandle(other);
    if ((share & FILE_SHARE_DELETE) == 0) {
      EXPECT_FALSE(replaced);
    }
    EXPECT_EQ(folder.Read("held.txt"), replaced ? "new\r\n" : "old") << share;
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()),
                          std::filesystem::directory_iterator()),
            2);
  ASSERT_TRUE(ReplaceTextFile(folder / "held.txt", "again\n"));
  EXPECT_EQ(folder.Read("held.txt"), "again\r\n");
}
#else
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

// A file kept behind a symbolic link (a shared copy) is replaced where it
// is, and the link stays; a link that leads nowhere is never followed by a
// read, while a save creates the file it names.
TEST(TextFile, LinksAreWrittenThroughAndNeverCreatedThroughByReading) {
  namespace fs = std::filesystem;
  test::TempFolder folder;
  fs::create_directory(folder / "shared");
  folder.Write("shared/pad.dat", "old");
  fs::create_symlink("shared/pad.dat", folder / "pad.dat");
  fs::create_symlink("pad.dat", folder / "second.dat");
  EXPECT_EQ(ReadTextFileContents(folder / "second.dat"), "old");
  ASSERT_TRUE(ReplaceTextFile(folder / "second.dat", "new\n"));
  EXPECT_TRUE(fs::is_symlink(folder / "pad.dat"));
  EXPECT_TRUE(fs::is_symlink(folder / "second.dat"));
  EXPECT_EQ(folder.Read("shared/pad.dat"), "new\r\n");

  fs::create_symlink(folder / "missing.ini", folder / "tesselwick.ini");
  EXPECT_EQ(ReadTextFileContents(folder / "tesselwick.ini"), "");
  EXPECT_FALSE(fs::exists(folder / "missing.ini"));
  ASSERT_TRUE(ReplaceTextFile(folder / "tesselwick.ini", "saved\n"));
  EXPECT_TRUE(fs::is_symlink(folder / "tesselwick.ini"));
  EXPECT_EQ(folder.Read("missing.ini"), "saved\r\n");

  // A loop of links is refused, not followed for ever.
  fs::create_symlink("loop.b", folder / "loop.a");
  fs::create_symlink("loop.a", folder / "loop.b");
  EXPECT_FALSE(ReplaceTextFile(folder / "loop.a", "x"));
  std::string why;
  EXPECT_FALSE(ReadTextFileContents(folder / "loop.a", &why).has_value());
  EXPECT_FALSE(why.empty());
}
#endif  // _WIN32

// What a killed save left behind goes at the next save of the same file once
// it is a day old; younger ones (another copy may be saving) and other names
// stay.
TEST(TextFile, StaleTemporaryFilesAreRemovedAtTheNextSave) {
  namespace fs = std::filesystem;
  test::TempFolder folder;
  const char* stale[] = {"pad.dat.0a1b2c.tmp", "pad.dat.ffffff.tmp"};
  const char* kept[] = {"pad.dat.0a1b2d.tmp", "pad.dat.0A1B2E.tmp", "pad.dat.0a1b2.tmp",
                        "other.dat.0a1b2c.tmp", "pad.dat.0a1b2c.tmp.x"};
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(25);
  for (const char* name : stale) {
    folder.Write(name, "leftover");
    fs::last_write_time(folder / name, old);
  }
  for (const char* name : kept) {
    folder.Write(name, "keep");
    if (std::string(name) != "pad.dat.0a1b2d.tmp") fs::last_write_time(folder / name, old);
  }
  ASSERT_TRUE(ReplaceTextFile(folder / "pad.dat", "x"));
  for (const char* name : stale) EXPECT_FALSE(fs::exists(folder / name)) << name;
  for (const char* name : kept) EXPECT_TRUE(fs::exists(folder / name)) << name;
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

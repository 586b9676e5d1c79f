#include "core/platform/working_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace tesselwick {
namespace {

namespace fs = std::filesystem;

TEST(WorkingFolder, UserFilesLiveInTheUsersDataFolder) {
  EXPECT_EQ(UserFilesFolder("/data/me", "/home/me"), fs::path("/data/me/tesselwick"));
  // An unset, empty or relative XDG_DATA_HOME is ignored, as the XDG rules ask.
  EXPECT_EQ(UserFilesFolder("", "/home/me"), fs::path("/home/me/.local/share/tesselwick"));
  EXPECT_EQ(UserFilesFolder("data", "/home/me"), fs::path("/home/me/.local/share/tesselwick"));
  EXPECT_EQ(UserFilesFolder("", ""), fs::path());
}

TEST(WorkingFolder, CreatesAMissingFolderPrivatelyAndLeavesTheCurrentFolder) {
  const fs::path current = fs::current_path();
  test::TempFolder temp;
  const fs::path folder = temp / "home" / ".local" / "share" / "tesselwick";

  WorkingFolder prepared = PrepareWorkingFolder(folder);
  EXPECT_EQ(prepared.problem, "");
  EXPECT_EQ(prepared.path, fs::canonical(folder));
  EXPECT_EQ(fs::current_path(), current);
  struct stat info {};
  ASSERT_EQ(stat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  // The next start finds the folder with the files of the last one, also
  // when it is named through a link.
  temp.Write("home/.local/share/tesselwick/pad.dat", "SCRIPTVERSION=7\n");
  fs::create_directory_symlink(folder, temp / "link");
  prepared = PrepareWorkingFolder(temp / "link");
  EXPECT_EQ(prepared.problem, "");
  EXPECT_EQ(prepared.path, fs::canonical(folder));
  EXPECT_TRUE(fs::exists(prepared.path / "pad.dat"));
}

TEST(WorkingFolder, SaysWhichFolderItCannotUse) {
  test::TempFolder temp;
  temp.Write("file", "x");

  // A file stands where a parent folder should be (also fails for root).
  const fs::path blocked = temp / "file" / "tesselwick";
  WorkingFolder prepared = PrepareWorkingFolder(blocked);
  EXPECT_NE(prepared.problem.find(blocked.string()), std::string::npos) << prepared.problem;
  EXPECT_EQ(prepared.path, fs::path());

  prepared = PrepareWorkingFolder(temp / "file");
  EXPECT_NE(prepared.problem.find("not a folder"), std::string::npos) << prepared.problem;
  EXPECT_NE(PrepareWorkingFolder(fs::path()).problem.find("home folder"), std::string::npos);

  if (::geteuid() != 0) {  // root may search any folder
    const fs::path closed = temp / "closed";
    fs::create_directory(closed);
    fs::permissions(closed, fs::perms::owner_read | fs::perms::owner_write);
    prepared = PrepareWorkingFolder(closed);
    EXPECT_NE(prepared.problem.find("Permission denied"), std::string::npos) << prepared.problem;
    fs::permissions(closed, fs::perms::owner_all);
  }
}

}  // namespace
}  // namespace tesselwick

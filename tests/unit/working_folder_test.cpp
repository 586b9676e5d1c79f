#include "core/platform/working_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace tesselwick {
namespace {

namespace fs = std::filesystem;

// Puts the working folder back after a test has moved it.
class KeepWorkingFolder {
 public:
  KeepWorkingFolder() : saved_(fs::current_path()) {}
  ~KeepWorkingFolder() { fs::current_path(saved_); }

 private:
  fs::path saved_;
};

TEST(WorkingFolder, UserFilesLiveInTheUsersDataFolder) {
  EXPECT_EQ(UserFilesFolder("/data/me", "/home/me"), fs::path("/data/me/tesselwick"));
  // An unset, empty or relative XDG_DATA_HOME is ignored, as the XDG rules ask.
  EXPECT_EQ(UserFilesFolder("", "/home/me"), fs::path("/home/me/.local/share/tesselwick"));
  EXPECT_EQ(UserFilesFolder("data", "/home/me"), fs::path("/home/me/.local/share/tesselwick"));
  EXPECT_EQ(UserFilesFolder("", ""), fs::path());
}

TEST(WorkingFolder, CreatesAMissingFolderPrivatelyAndWorksInIt) {
  KeepWorkingFolder keep;
  test::TempFolder temp;
  const fs::path folder = temp / "home" / ".local" / "share" / "tesselwick";

  EXPECT_EQ(EnterWorkingFolder(folder), "");
  EXPECT_EQ(fs::current_path(), fs::canonical(folder));
  struct stat info {};
  ASSERT_EQ(stat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  // The next start finds the folder with the files of the last one.
  temp.Write("home/.local/share/tesselwick/pad.dat", "SCRIPTVERSION=7\n");
  fs::current_path(temp.Path());
  EXPECT_EQ(EnterWorkingFolder(folder), "");
  EXPECT_TRUE(fs::exists("pad.dat"));
}

TEST(WorkingFolder, SaysWhichFolderItCannotUseAndStaysWhereItWas) {
  KeepWorkingFolder keep;
  test::TempFolder temp;
  temp.Write("file", "x");
  fs::current_path(temp.Path());

  // A file stands where a parent folder should be (also fails for root).
  const fs::path blocked = temp / "file" / "tesselwick";
  std::string message = EnterWorkingFolder(blocked);
  EXPECT_NE(message.find(blocked.string()), std::string::npos) << message;
  EXPECT_EQ(fs::current_path(), fs::canonical(temp.Path()));

  message = EnterWorkingFolder(temp / "file");
  EXPECT_NE(message.find("not a folder"), std::string::npos) << message;
  EXPECT_NE(EnterWorkingFolder(fs::path()).find("home folder"), std::string::npos);
  EXPECT_EQ(fs::current_path(), fs::canonical(temp.Path()));
}

}  // namespace
}  // namespace tesselwick

#include "core/platform/working_folder.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace tesselwick {

std::filesystem::path UserFilesFolder(std::string_view xdgDataHome, std::string_view home) {
  const std::filesystem::path xdg(xdgDataHome);
  if (xdg.is_absolute()) return xdg / "tesselwick";
  if (home.empty()) return {};
  return std::filesystem::path(home) / ".local" / "share" / "tesselwick";
}

std::filesystem::path UserFilesFolder() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  std::string homeText = home ? home : "";
  if (homeText.empty()) {
    if (const passwd* user = getpwuid(getuid()); user && user->pw_dir) homeText = user->pw_dir;
  }
  return UserFilesFolder(xdg ? xdg : "", homeText);
}

WorkingFolder PrepareWorkingFolder(const std::filesystem::path& folder) {
  auto failure = [&](const std::string& reason) {
    return WorkingFolder{{},
                         "TesselWick cannot keep its files in the folder\n" + folder.string() +
                             "\n(" + reason + ")."};
  };
  if (folder.empty()) return failure("no home folder is known");
  std::error_code ec;
  if (!std::filesystem::exists(folder, ec)) {
    if (folder.has_parent_path()) std::filesystem::create_directories(folder.parent_path(), ec);
    if (ec) return failure(ec.message());
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      return failure(std::generic_category().message(errno));
    }
  }
  if (!std::filesystem::is_directory(folder, ec)) return failure("it is not a folder");
  // Its files are reached through it, which needs the right to search it.
  if (faccessat(AT_FDCWD, folder.c_str(), X_OK, AT_EACCESS) != 0)
    return failure(std::generic_category().message(errno));
  std::filesystem::path path = std::filesystem::canonical(folder, ec);
  if (ec) return failure(ec.message());
  return {std::move(path), {}};
}

}  // namespace tesselwick

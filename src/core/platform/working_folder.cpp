#include "core/platform/working_folder.h"

#include <system_error>

#include "core/platform/system.h"

namespace tesselwick {

std::filesystem::path UserFilesFolder(std::string_view xdgDataHome, std::string_view home) {
  const std::filesystem::path xdg(xdgDataHome);
  if (xdg.is_absolute()) return xdg / "tesselwick";
  if (home.empty()) return {};
  return std::filesystem::path(home) / ".local" / "share" / "tesselwick";
}

std::filesystem::path UserFilesFolder() { return platform::UserFilesFolder(); }

WorkingFolder PrepareWorkingFolder(const std::filesystem::path& folder) {
  auto failure = [&](const std::string& reason) {
    return WorkingFolder{{},
                         "TesselWick cannot keep its files in the folder\n" +
                             platform::Utf8FromPath(folder) + "\n(" + reason + ")."};
  };
  if (folder.empty()) return failure("no home folder is known");
  std::error_code ec;
  if (!std::filesystem::exists(folder, ec)) {
    if (folder.has_parent_path()) std::filesystem::create_directories(folder.parent_path(), ec);
    if (ec) return failure(ec.message());
    std::string problem;
    if (!platform::CreatePrivateFolder(folder, problem)) return failure(problem);
  }
  if (!std::filesystem::is_directory(folder, ec)) return failure("it is not a folder");
  // Its files are reached through it, which needs the right to search it.
  if (std::string problem; !platform::MayEnterFolder(folder, problem)) return failure(problem);
  std::filesystem::path path = std::filesystem::canonical(folder, ec);
  if (ec) return failure(ec.message());
  return {std::move(path), {}};
}

}  // namespace tesselwick

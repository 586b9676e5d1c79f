#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tesselwick {

// The folder in which the program keeps its files when it is started from the
// desktop menu: "tesselwick" in the user's data folder, that is
// $XDG_DATA_HOME/tesselwick, or ~/.local/share/tesselwick when XDG_DATA_HOME
// is unset, empty or not an absolute path. Empty when neither it nor a home
// folder is known.
std::filesystem::path UserFilesFolder(std::string_view xdgDataHome, std::string_view home);

// The same from this process's environment (HOME, or else the password
// database's home folder of the user); on Windows "TesselWick" in the user's
// roaming application-data folder.
std::filesystem::path UserFilesFolder();

// The folder where the program reads and writes pad.dat, tesselwick.ini,
// ReportTemplate.htm and Report.htm, or why it cannot have it.
struct WorkingFolder {
  // Absolute, with symbolic links resolved; empty when there is a problem.
  std::filesystem::path path;
  // Empty when the folder can be used, else the message for the user, which
  // names the folder and the reason.
  std::string problem;
};

// Makes sure that `folder` can be worked in: a missing folder is created
// first, with any missing parents; the last one is private to the user (mode
// 0700 on Linux), like the other folders under the user's data folder. The process's
// current folder stays as it is.
WorkingFolder PrepareWorkingFolder(const std::filesystem::path& folder);

}  // namespace tesselwick

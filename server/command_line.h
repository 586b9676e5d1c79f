#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "site_server.h"

namespace tesselwick::site {

// What the options of tesselwick-site ask for.
struct CommandLine {
  SiteConfig config;
  // --export DIR: write the published site into DIR as plain files instead of
  // serving it.
  std::filesystem::path exportDir;
  bool help = false;
  std::string error;  // empty when every option was understood
};

// The published data folder and the manual that serve when --data and
// --manual name none.
struct DefaultFiles {
  std::filesystem::path dataDir;
  std::filesystem::path manualFile;
};

// The installed copies when the program runs from an installation: the folder
// shareFromProgram (for example "../share/tesselwick") beside programFile,
// holding data/ and manual.htm. Otherwise the source tree's server/data and
// docs/manual.htm, so that a program run from the build folder finds them.
DefaultFiles FindDefaultFiles(const std::filesystem::path& programFile,
                              const std::filesystem::path& shareFromProgram);

// The same for this program: its own file (/proc/self/exe) and the share
// folder that this build installs to.
DefaultFiles FindDefaultFiles();

// Reads the options (without the program name). Each option with a value takes
// it as the next argument or after "=": "--port 0", "--port=0".
CommandLine ParseCommandLine(const std::vector<std::string>& args, const DefaultFiles& defaults);

// The text that --help prints, naming the defaults in use.
std::string UsageText(const DefaultFiles& defaults);

}  // namespace tesselwick::site

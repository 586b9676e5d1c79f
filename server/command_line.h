#pragma once

#include <string>
#include <vector>

#include "site_server.h"

namespace tesselwick::site {

// What the options of tesselwick-site ask for.
struct CommandLine {
  SiteConfig config;
  bool help = false;
  std::string error;  // empty when every option was understood
};

// Reads the options (without the program name). Each option with a value takes
// it as the next argument or after "=": "--port 0", "--port=0".
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The text that --help prints.
std::string UsageText();

}  // namespace tesselwick::site

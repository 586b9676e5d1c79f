#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/net/request_pool.h"

namespace tesselwick::cli {

// What tesselwick-submit was asked to do.
struct Options {
  std::filesystem::path folder = ".";
  bool update = false;
  bool open = false;
  // --check: only fetch the PAD file and say what is wrong with it.
  bool check = false;
  // --json: the run (or the check) as one JSON object on standard output,
  // not its lines.
  bool json = false;
  // --timeout: the overall time limit of every request, in seconds.
  std::optional<long> timeoutSeconds;
  // --parallel: how many sites are requested at once at most.
  int parallel = RequestPool::kDefaultConcurrency;
  bool parallelGiven = false;
  // --history: show the run log rather than submit; --run: one run of it.
  bool history = false;
  std::optional<std::int64_t> run;
  // --skip-accepted: sites that took this version before are not asked.
  bool skipAccepted = false;
  // --retry-failed: ask the sites that failed in the newest recorded run of
  // the PAD URL again.
  bool retryFailed = false;
  std::string padUrl;
};

// Either the options, or the usage error in plain words.
struct Parsed {
  std::optional<Options> options;
  std::string error;
  bool help = false;
  bool version = false;
};

// Reads the arguments (without the program name); a usage error in plain
// words when they make no sense together.
Parsed ParseArguments(const std::vector<std::string>& args);

}  // namespace tesselwick::cli

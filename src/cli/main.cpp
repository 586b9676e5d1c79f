// tesselwick-submit: submits a PAD file to the site list from the command line.
#include <atomic>
#include <chrono>
#include <iostream>
#include <string>
#include <vector>

#include "cli/submit_tool.h"
#include "cli/system.h"
#include "core/net/background_fetch.h"

namespace {

std::atomic<bool> interrupted{false};
std::atomic<tesselwick::cli::StopCause> stopCause{tesselwick::cli::StopCause::kNone};

}  // namespace

int main(int argc, char** argv) {
  tesselwick::cli::SubmitToolEnvironment env;
  env.stderrIsTerminal = tesselwick::cli::StderrIsTerminal(env.terminalColumns);
  env.interrupted = &interrupted;
  env.stopCause = &stopCause;
  tesselwick::cli::CatchStopSignals(interrupted, stopCause);

  const std::vector<std::string> args = tesselwick::cli::CommandLineArguments(argc, argv);
  const int code = tesselwick::cli::RunSubmitTool(args, std::cout, std::cerr, env);
  // A request given up on a stop may still be winding down: it is joined,
  // or, should it not end in time, the program ends without the exit
  // handlers that it may still be using.
  if (!tesselwick::BackgroundFetch::WaitForUnfinished(std::chrono::seconds(2)))
    tesselwick::BackgroundFetch::EndWithoutCleanup(code);
  return code;
}

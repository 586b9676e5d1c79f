// tesselwick-submit: submits a PAD file to the site list from the command line.
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/submit_tool.h"
#include "core/net/background_fetch.h"

namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the Ctrl+C flag is set in a signal handler");

// The first Ctrl+C stops the run cleanly (the report is still written); a
// second one ends the program at once.
extern "C" void OnInterrupt(int) {
  interrupted.store(true);
  std::signal(SIGINT, SIG_DFL);
}

}  // namespace

int main(int argc, char** argv) {
  tesselwick::cli::SubmitToolEnvironment env;
  env.stderrIsTerminal = isatty(STDERR_FILENO) == 1;
  winsize size{};
  if (env.stderrIsTerminal && ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
    env.terminalColumns = size.ws_col;
  env.interrupted = &interrupted;
  // A Ctrl+C that the shell has us ignore (a background job) stays ignored.
  struct sigaction previous {};
  if (sigaction(SIGINT, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
    std::signal(SIGINT, OnInterrupt);

  const std::vector<std::string> args(argv + 1, argv + argc);
  const int code = tesselwick::cli::RunSubmitTool(args, std::cout, std::cerr, env);
  // A request given up with Ctrl+C may still be winding down.
  tesselwick::BackgroundFetch::WaitForUnfinished(std::chrono::seconds(2));
  return code;
}

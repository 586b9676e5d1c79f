#include <fcntl.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>
#include <system_error>

#include "cli/submit_tool.h"
#include "cli/system.h"
#include "core/platform/system.h"

extern char** environ;

namespace tesselwick::cli {

namespace {

std::atomic<bool>* interruptFlag = nullptr;
std::atomic<StopCause>* stopCause = nullptr;
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<StopCause>::is_always_lock_free,
              "the stop flag and its cause are set in a signal handler");

extern "C" void OnStopSignal(int signal) {
  const StopCause cause = signal == SIGTERM  ? StopCause::kTerminate
                          : signal == SIGHUP ? StopCause::kHangUp
                                             : StopCause::kInterrupt;
  // The first signal names the cause; a later one of another kind changes
  // nothing.
  StopCause none = StopCause::kNone;
  stopCause->compare_exchange_strong(none, cause);
  interruptFlag->store(true);
}

}  // namespace

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

bool StderrIsTerminal(int& columns) {
  if (isatty(STDERR_FILENO) != 1) return false;
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) columns = size.ws_col;
  return true;
}

void CatchStopSignals(std::atomic<bool>& flag, std::atomic<StopCause>& cause) {
  interruptFlag = &flag;
  stopCause = &cause;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP})
    platform::CatchSignalOnce(signal, OnStopSignal);
  std::signal(SIGPIPE, SIG_IGN);
}

bool OpenWithDesktop(const std::string& path, std::string& why) {
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) {
    why = "out of resources";
    return false;
  }
  // The browser's chatter stays out of the tool's output.
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  // The browser gets SIGPIPE as programs usually do, not ignored as this
  // tool has it.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t pipeSignal;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &pipeSignal);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  std::string program = "xdg-open";
  std::string argument = path;
  char* argv[] = {program.data(), argument.data(), nullptr};
  pid_t child = 0;
  const int result = posix_spawnp(&child, program.c_str(), &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) {
    why = "xdg-open: " + std::generic_category().message(result);
    return false;
  }
  // Not waited for: a browser may take its time, and the tool ends anyway.
  return true;
}

}  // namespace tesselwick::cli

#include "support/child_process.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>

namespace tesselwick::test {

std::string RunInChildProcess(const std::function<void()>& body, unsigned limitSeconds) {
  const bool failedBefore = ::testing::Test::HasFailure();
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t child = ::fork();
  if (child < 0) return "fork failed";
  if (child == 0) {
    // A scenario that hangs is ended by the alarm, which the parent reports.
    ::alarm(limitSeconds);
    int code = 0;
    try {
      body();
      if (::testing::Test::HasFailure() && !failedBefore) code = 1;
    } catch (const std::exception& error) {
      std::fprintf(stderr, "exception in the child process: %s\n", error.what());
      code = 2;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    // Nothing of the parent's state is torn down a second time.
    ::_exit(code);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return "waiting for the child process failed";
  }
  if (WIFSIGNALED(status)) {
    return "the child process was ended by signal " + std::to_string(WTERMSIG(status)) +
           (WTERMSIG(status) == SIGALRM ? " (it ran too long)" : "");
  }
  switch (WEXITSTATUS(status)) {
    case 0:
      return "";
    case 1:
      return "failed checks in the child process (see above)";
    default:
      return "the child process ended with code " + std::to_string(WEXITSTATUS(status));
  }
}

}  // namespace tesselwick::test

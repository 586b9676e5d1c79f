#pragma once

#include <atomic>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "core/net/http_fetch.h"
#include "core/text/program.h"

namespace tesselwick::cli {

// The exit statuses of tesselwick-submit.
namespace exit_status {
inline constexpr int kAllPassed = 0;  // also when the site list is empty
inline constexpr int kSomeFailed = 1;
inline constexpr int kPadFileFailed = 2;  // not fetched, or without a category
inline constexpr int kReportNotWritten = 3;
inline constexpr int kPadFileProblems = 65;  // --check found problems in the PAD file
inline constexpr int kUsage = 64;
// --history: the run log cannot be read, or has no such run (EX_NOINPUT).
inline constexpr int kRunLogUnreadable = 66;
inline constexpr int kOutputFailed = 74;  // standard output could not be written (EX_IOERR)
// Stopped before every site had answered, as 128 plus the signal's number:
inline constexpr int kHungUp = 129;      // SIGHUP, the terminal went away
inline constexpr int kStopped = 130;     // Ctrl+C (SIGINT)
inline constexpr int kTerminated = 143;  // SIGTERM; on Windows the console closed
}  // namespace exit_status

// What asked the tool to stop.
enum class StopCause {
  kNone,
  kInterrupt,  // Ctrl+C (SIGINT, or Ctrl+Break on Windows)
  kTerminate,  // SIGTERM (timeout(1), a CI runner, a service manager); on Windows the console
               // window closed, the user logging off or the system shutting down
  kHangUp,     // SIGHUP: the terminal the tool ran in went away
};

// What the tool takes from the world around it; main() fills it in, tests set
// their own.
struct SubmitToolEnvironment {
  // Whether standard error is a terminal: only then is the progress shown, as
  // a status line rewritten in place.
  bool stderrIsTerminal = false;
  // The terminal's width, for the status line.
  int terminalColumns = 80;
  // Opens the written report for --open; empty: the desktop's default browser
  // (xdg-open; on Windows the program set to open .htm files).
  std::function<void(const std::string& path)> openInBrowser;
  // The maker's web site, whose update server --update asks.
  std::string siteUrl = program::kSiteUrl;
  // Limits of every retrieval.
  FetchLimits fetchLimits;
  // Set (by Ctrl+C, SIGTERM or SIGHUP) to stop the update or the run;
  // nullptr: never.
  const std::atomic<bool>* interrupted = nullptr;
  // Which of them set `interrupted`, for the exit status; nullptr or kNone:
  // Ctrl+C.
  const std::atomic<StopCause>* stopCause = nullptr;
};

// Runs tesselwick-submit with its arguments (without the program name).
// Site lines and the closing "N passed, M failed" go to `out`; messages, and
// on a terminal the progress, to `err`. Returns the exit status.
int RunSubmitTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  const SubmitToolEnvironment& env);

// The text --help prints.
std::string SubmitToolUsage();

// Hands a file to the desktop's default browser (xdg-open; on Windows the
// program set to open files of its kind) without waiting
// for it; false, with the reason in `why`, when it could not be started.
bool OpenWithDesktop(const std::string& path, std::string& why);

}  // namespace tesselwick::cli

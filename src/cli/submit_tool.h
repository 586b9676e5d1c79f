#pragma once

#include <atomic>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "core/app/texts.h"
#include "core/net/http_fetch.h"

namespace tesselwick::cli {

// The exit statuses of tesselwick-submit.
namespace exit_status {
inline constexpr int kAllPassed = 0;  // also when the site list is empty
inline constexpr int kSomeFailed = 1;
inline constexpr int kPadFileFailed = 2;  // not fetched, or without a category
inline constexpr int kReportNotWritten = 3;
inline constexpr int kPadFileProblems = 65;  // --check found problems in the PAD file
inline constexpr int kUsage = 64;
inline constexpr int kStopped = 130;  // Ctrl+C before every site had answered
}  // namespace exit_status

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
  std::string siteUrl = texts::kSiteUrl;
  // Limits of every retrieval.
  FetchLimits fetchLimits;
  // Set (by Ctrl+C) to stop the update or the run; nullptr: never.
  const std::atomic<bool>* interrupted = nullptr;
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

#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/net/background_fetch.h"
#include "core/net/http_fetch.h"
#include "core/submit/report.h"
#include "core/submit/site_run.h"

namespace tesselwick {

// The PAD file of a submission: fetched, or why not.
struct PadFile {
  enum class Outcome {
    // Fetched; `category` may still be empty (the run then stops there).
    Fetched,
    // Not fetched, for `failure`.
    Failed,
    // The user gave up on it.
    Stopped,
  };
  // Why a PAD file was not fetched.
  enum class Failure {
    None,
    // The request failed: `answer.error` has the number, `answer.cause`
    // what decided it when a limit or a refused address did.
    RequestFailed,
    // Answered with an error status, `answer.status`.
    ErrorStatus,
  };
  Outcome outcome = Outcome::Failed;
  Failure failure = Failure::None;
  FetchResult answer;
  // The category escaped for a URL query, when the file was fetched.
  std::string category;

  // What the PAD file's box shows for a failure: "HTTP 404" for an error
  // status; otherwise the error number, followed by what decided it when a
  // limit or a refused address did ("12004: the answer is larger than 16 MiB").
  std::string FailureShown() const;
  // What ErrorText keeps of a failure: "HTTP 404", or the number alone: "12029".
  std::string FailureText() const;
};

// Fetches the PAD file at the URL as typed (its spaces sent as "%20", as a
// browser does) on a thread of its own, while `waiter` (if any) keeps its
// front end alive and may give it up, and takes the category out of it. A
// file answered with status 400 or above is not fetched: no file, no
// category.
PadFile FetchPadFile(const std::string& padUrl, const FetchLimits& limits, FetchWaiter* waiter);

// What writing a report did.
struct ReportWritten {
  // The template could not be read (a folder of that name, no permission);
  // the built-in layout was used.
  bool templateUnreadable = false;
  // Report.htm holds the new report; false when it could not be written, and
  // then the old one, if any, stays.
  bool written = false;
  std::filesystem::path file;
};

// Writes Report.htm in `folder`, from ReportTemplate.htm when it has a layout
// (a missing template is created empty) or the built-in layout, with today's
// date and the run's counts; the page goes to disk as it is made and replaces
// the old report only when it was written whole.
ReportWritten WriteReportFile(const std::filesystem::path& folder, const std::string& padUrl,
                              const std::string& category, const ReportRows& rows,
                              const ReportCounts& counts = {});

}  // namespace tesselwick

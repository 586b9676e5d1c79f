#pragma once

#include <string>

#include "core/submit/run_results.h"

namespace tesselwick::cli {

// A submission as the one JSON object that --json prints: pad_url, category
// (as sent to the sites), date, stopped, passed, failed, and sites, each with
// title, url, submit_url, request (the URL asked), status ("Pass" or "Fail"),
// reason, http_status (a number or null), error (a number or null) and
// seconds (a number, or null for a site that was never asked or never
// answered). Bytes that are not UTF-8 show as U+FFFD; control characters
// (C0, DEL and C1) are written as \u escapes, so the text cannot steer a
// terminal. Indented by two spaces, with a line feed at the end.
std::string RunJson(const RunResults& results, bool stopped);

}  // namespace tesselwick::cli

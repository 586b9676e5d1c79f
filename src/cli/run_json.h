#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>

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

// What a site's object of the JSON says, wherever the site's result comes
// from (a run just made, or the run log).
struct SiteJsonFields {
  std::string_view title;
  std::string_view url;
  std::string_view submitUrl;
  // The URL the site was asked with; null when there is none.
  std::optional<std::string> request;
  // "Pass", "Fail" or "Skipped".
  std::string_view status;
  std::string_view reason;
  std::optional<long> httpStatus;
  std::optional<int> error;
  std::optional<double> seconds;
};

// A site's object, its fields in the order RunJson writes them.
nlohmann::ordered_json SiteJson(const SiteJsonFields& site);

// A JSON value as the tool prints it: indented by two spaces, bytes that are
// not UTF-8 as U+FFFD, control characters escaped, a line feed at the end.
std::string PrintedJson(const nlohmann::ordered_json& value);

}  // namespace tesselwick::cli

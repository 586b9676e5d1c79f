#include "cli/run_json.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "core/text/json_text.h"

namespace tesselwick::cli {

// The fields in the order a reader expects them, not sorted by name.
using json = nlohmann::ordered_json;

json SiteJson(const SiteJsonFields& site) {
  return {
      {"title", site.title},
      {"url", site.url},
      {"submit_url", site.submitUrl},
      {"request", site.request ? json(*site.request) : json(nullptr)},
      {"status", site.status},
      {"reason", site.reason},
      {"http_status", site.httpStatus ? json(*site.httpStatus) : json(nullptr)},
      {"error", site.error ? json(*site.error) : json(nullptr)},
      // To the millisecond: finer figures say nothing about a site.
      {"seconds", site.seconds ? json(std::round(*site.seconds * 1000) / 1000) : json(nullptr)},
  };
}

std::string PrintedJson(const json& value) {
  // DEL and the C1 controls escaped as well: a terminal takes them for commands.
  return TerminalSafeJson(value.dump(2, ' ', false, json::error_handler_t::replace) + "\n");
}

std::string RunJson(const RunResults& results, bool stopped) {
  json sites = json::array();
  for (std::size_t i = 0; i < results.Count(); ++i) {
    const SiteResult& result = results.Sites()[i];
    // The reason lives until the site's object is made.
    sites.push_back(
        SiteJson({result.site.Title.str(), result.site.Url.str(), result.site.SubmitUrl.str(),
                  results.RequestUrl(i), result.Word(), result.Reason(), result.HttpStatus(),
                  result.Error(), result.seconds}));
  }
  const json run = {
      {"pad_url", results.PadUrl()},  {"category", results.Category()},
      {"date", results.Date()},       {"stopped", stopped},
      {"passed", results.Passed()},   {"failed", results.Failed()},
      {"skipped", results.Skipped()}, {"sites", std::move(sites)},
  };
  return PrintedJson(run);
}

}  // namespace tesselwick::cli

#include "cli/run_json.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "core/text/json_text.h"

namespace tesselwick::cli {

std::string RunJson(const RunResults& results, bool stopped) {
  // The fields in the order a reader expects them, not sorted by name.
  using json = nlohmann::ordered_json;
  json sites = json::array();
  for (std::size_t i = 0; i < results.Count(); ++i) {
    const SiteResult& result = results.Sites()[i];
    const std::optional<std::string> request = results.RequestUrl(i);
    const std::optional<long> httpStatus = result.HttpStatus();
    const std::optional<int> error = result.Error();
    json site = {
        {"title", result.site.Title.str()},
        {"url", result.site.Url.str()},
        {"submit_url", result.site.SubmitUrl.str()},
        {"request", request ? json(*request) : json(nullptr)},
        {"status", result.Word()},
        {"reason", result.Reason()},
        {"http_status", httpStatus ? json(*httpStatus) : json(nullptr)},
        {"error", error ? json(*error) : json(nullptr)},
        // To the millisecond: finer figures say nothing about a site.
        {"seconds",
         result.seconds ? json(std::round(*result.seconds * 1000) / 1000) : json(nullptr)},
    };
    sites.push_back(std::move(site));
  }
  const json run = {
      {"pad_url", results.PadUrl()}, {"category", results.Category()}, {"date", results.Date()},
      {"stopped", stopped},          {"passed", results.Passed()},     {"failed", results.Failed()},
      {"sites", std::move(sites)},
  };
  // DEL and the C1 controls escaped as well: a terminal takes them for commands.
  return TerminalSafeJson(run.dump(2, ' ', false, json::error_handler_t::replace) + "\n");
}

}  // namespace tesselwick::cli

#include "cli/run_json.h"

#include <cmath>
#include <nlohmann/json.hpp>

namespace tesselwick::cli {

std::string RunJson(const RunResults& results, bool stopped) {
  // The fields in the order a reader expects them, not sorted by name.
  using json = nlohmann::ordered_json;
  json sites = json::array();
  for (std::size_t i = 0; i < results.Count(); ++i) {
    const SiteResult& result = results.Sites()[i];
    const std::optional<std::string> request = results.RequestUrl(i);
    json site = {
        {"title", result.site.Title.str()},
        {"url", result.site.Url.str()},
        {"submit_url", result.site.SubmitUrl.str()},
        {"request", request ? json(*request) : json(nullptr)},
        {"status", result.Word()},
        {"reason", result.reason},
        {"http_status", result.httpStatus ? json(*result.httpStatus) : json(nullptr)},
        {"error", result.error ? json(*result.error) : json(nullptr)},
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
  const std::string text = run.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
  // The dump escapes C0 controls but writes DEL and the C1 controls as they
  // are, which a terminal takes for commands; as escapes they are the same
  // characters to a JSON reader. Outside strings the JSON is plain ASCII, and
  // the dump has made every byte that is not UTF-8 into U+FFFD, so each of
  // these bytes is such a character inside a string.
  std::string printable;
  printable.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (byte == 0x7F) {
      printable += "\\u007f";
    } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
      constexpr char kHex[] = "0123456789abcdef";
      printable += "\\u00";
      printable += kHex[next >> 4];
      printable += kHex[next & 0xF];
      ++i;
    } else {
      printable += text[i];
    }
  }
  return printable;
}

}  // namespace tesselwick::cli

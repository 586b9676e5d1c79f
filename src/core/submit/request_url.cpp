// One site's submission: its request URL and the judging of its answer.

#include "core/submit/request_url.h"

#include <optional>
#include <string>

#include "core/text/percent_encode.h"
#include "core/text/replace.h"

namespace tesselwick {

namespace {
// ReplaceAll, unless the result would be longer than `limit`: then nothing,
// and nothing of it is built.
std::optional<std::string> ReplaceAllWithin(std::string text, std::string_view from,
                                            std::string_view to, std::size_t limit) {
  std::size_t count = 0;
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + from.size())) {
    ++count;
  }
  const std::size_t kept = text.size() - count * from.size();
  if (kept > limit || (!to.empty() && count > (limit - kept) / to.size())) return std::nullopt;
  return ReplaceAll(std::move(text), from, to);
}
}  // namespace

std::optional<std::string> SiteRequestUrl(std::string_view requestTemplate,
                                          std::string_view category, std::string_view padUrl) {
  std::string url(requestTemplate);
  std::erase(url, '\n');
  std::optional<std::string> filled =
      ReplaceAllWithin(std::move(url), "%CATEGORY%", category, kMaxUrlBytes);
  if (!filled) return std::nullopt;
  return ReplaceAllWithin(std::move(*filled), "%PADURL%", PercentEncodeValue(padUrl), kMaxUrlBytes);
}

}  // namespace tesselwick

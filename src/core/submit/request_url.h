#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/net/http_fetch.h"

namespace tesselwick {

// The pieces of one site's submission, free of any window state, so that the
// sites of a run can be requested one after another or side by side.

// The URL requested for a site: its request template with every line feed
// removed, then every "%CATEGORY%" replaced by the category (already escaped
// for a URL query), then every "%PADURL%" by the PAD URL escaped
// with PercentEncodeValue, so that it arrives as one value of the site's
// query. Neither
// escaped value can hold a placeholder, so what they bring in is never
// filled again. Nothing when the URL would be longer than kMaxUrlBytes: such a
// request can't be sent, and it is never built.
std::optional<std::string> SiteRequestUrl(std::string_view requestTemplate,
                                          std::string_view category, std::string_view padUrl);

}  // namespace tesselwick

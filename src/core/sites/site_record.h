#pragma once

#include <string>

namespace tesselwick {

// One download site of the site list.
struct SiteRecord {
  std::string Title;
  std::string Url;
  std::string SubmitUrl;
  // The URL requested for the site, with "%PADURL%" and "%CATEGORY%" in it.
  std::string RequestTemplate;

  bool operator==(const SiteRecord&) const = default;
};

}  // namespace tesselwick

#include "core/sites/site_file.h"

#include <algorithm>

#include "core/text/key_value_line.h"

namespace tesselwick {

SiteFileContents ParseSiteFile(std::string_view text, SiteRecord pending) {
  SiteFileContents out;
  // Inside a record once a TITLE line has begun one (or one is pending);
  // before that, lines give their values to the first record.
  bool inRecord = !pending.Title.empty();
  out.current = std::move(pending);
  ForEachKeyValueLine(text, [&out, &inRecord](const KeyValue& kv) {
    SiteRecord& site = out.current;
    if (kv.key == "TITLE") {
      if (!site.Title.empty()) out.records.push_back(site);
      if (inRecord) site.RequestTemplate.clear();
      inRecord = true;
      site.Title = kv.value;
    } else if (kv.key == "URL") {
      site.Url = kv.value;
    } else if (kv.key == "SUBMITURL") {
      site.SubmitUrl = kv.value;
    } else if (kv.key == "GETORPOST") {
      site.RequestTemplate = kv.value;
    } else if (kv.key == "SCRIPTVERSION") {
      out.scriptVersion = kv.value;
    }
  });
  if (!out.current.Title.empty()) out.records.push_back(out.current);
  return out;
}

bool IsSiteList(std::string_view text) {
  const SiteFileContents contents = ParseSiteFile(text);
  return std::any_of(contents.records.begin(), contents.records.end(),
                     [](const SiteRecord& site) { return !site.RequestTemplate.empty(); });
}

}  // namespace tesselwick

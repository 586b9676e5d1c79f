#include "core/sites/site_file.h"

#include "core/sites/key_value_line.h"

namespace tesselwick {

SiteFileContents ParseSiteFile(std::string_view text, SiteRecord pending) {
  SiteFileContents out;
  out.current = std::move(pending);
  ForEachKeyValueLine(text, [&out](const KeyValue& kv) {
    SiteRecord& site = out.current;
    if (kv.key == "TITLE") {
      if (!site.Title.empty()) out.records.push_back(site);
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

}  // namespace tesselwick

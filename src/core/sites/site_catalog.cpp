#include "core/sites/site_catalog.h"

#include <iterator>

#include "core/platform/text_file.h"
#include "core/sites/site_file.h"

namespace tesselwick {

SiteCatalog::Loaded SiteCatalog::Load(const std::filesystem::path& file, SiteRecord& working) {
  Loaded loaded;
  std::string problem;
  const std::optional<std::string> text = ReadTextFileContents(file, &problem);
  if (!text) loaded.problem = problem;
  // A file that cannot be read still completes what is pending.
  SiteFileContents contents = ParseSiteFile(text ? *text : std::string(), std::move(working));
  loaded.added = contents.records.size();
  records_.insert(records_.end(), std::make_move_iterator(contents.records.begin()),
                  std::make_move_iterator(contents.records.end()));
  working = std::move(contents.current);
  if (contents.scriptVersion) version_ = *contents.scriptVersion;
  loaded.version = std::move(contents.scriptVersion);
  return loaded;
}

void SiteCatalog::Clear() { records_.clear(); }

}  // namespace tesselwick

#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/sites/site_update.h"

namespace tesselwick {

// The text of the box that says a site file could not be read: which file
// (as an absolute path) and why.
std::string UnreadableSiteListText(const std::filesystem::path& file, std::string_view problem);

// The box that says why a downloaded site list was not saved: text and
// caption; nothing for one that was.
std::optional<std::pair<const char*, const char*>> NotSavedMessage(SiteListSave save);

}  // namespace tesselwick

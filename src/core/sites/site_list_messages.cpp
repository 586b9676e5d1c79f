#include "core/sites/site_list_messages.h"

#include <system_error>

#include "core/platform/system.h"
#include "core/text/messages.h"
#include "core/text/translation.h"

namespace tesselwick {

std::string UnreadableSiteListText(const std::filesystem::path& file, std::string_view problem) {
  std::error_code ec;
  const std::filesystem::path shown = std::filesystem::absolute(file, ec);
  return std::string(Tr(texts::kSiteListUnreadable)) + "\r\n" +
         platform::Utf8FromPath(ec ? file : shown) + ": " + Tr(std::string(problem).c_str());
}

std::optional<std::pair<const char*, const char*>> NotSavedMessage(SiteListSave save) {
  switch (save) {
    case SiteListSave::Saved:
      return std::nullopt;
    case SiteListSave::NotDownloaded:
      return std::pair{texts::kNotDownloaded, texts::kNotDownloadedCaption};
    case SiteListSave::NotASiteList:
      return std::pair{texts::kNotASiteList, texts::kNotASiteListCaption};
    case SiteListSave::NotWritten:
      return std::pair{texts::kSaveFailed, texts::kSaveFailedCaption};
  }
  return std::nullopt;
}

}  // namespace tesselwick

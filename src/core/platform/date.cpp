#include "core/platform/date.h"

#include <array>
#include <cstdio>

#include "core/platform/system.h"

namespace tesselwick {

std::string FormatDate(std::time_t when) {
  static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::tm local = platform::LocalTime(when);
  char text[32];
  std::snprintf(text, sizeof text, "%02d-%s-%04d", local.tm_mday,
                kMonths[static_cast<std::size_t>(local.tm_mon) % 12], local.tm_year + 1900);
  return text;
}

std::string Today() { return FormatDate(std::time(nullptr)); }

}  // namespace tesselwick

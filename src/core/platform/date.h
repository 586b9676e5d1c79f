#pragma once

#include <ctime>
#include <string>

namespace tesselwick {

// The local date as "%d-%b-%Y" with English month abbreviations, whatever the
// locale: 06-Dec-2026.
std::string FormatDate(std::time_t when);

// Today's local date in that form.
std::string Today();

}  // namespace tesselwick

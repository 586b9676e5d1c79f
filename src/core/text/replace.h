#pragma once

#include <string>
#include <string_view>

namespace tesselwick {

// Replaces every non-overlapping occurrence of `from`, scanning left to right;
// what was put in is never scanned again. An empty `from` changes nothing.
std::string ReplaceAll(std::string text, std::string_view from, std::string_view to);

}  // namespace tesselwick

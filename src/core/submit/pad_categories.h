#pragma once

#include <span>
#include <string_view>

namespace tesselwick {

// The official PAD categories ("Games & Entertainment::Puzzle & Word Games"), in the order
// of the category list published with the PAD format.
std::span<const std::string_view> PadCategories();

// Whether `category` is one of them, exactly (case and blanks count).
bool IsPadCategory(std::string_view category);

}  // namespace tesselwick

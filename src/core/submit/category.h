#pragma once

#include <string>
#include <string_view>

namespace tesselwick {

// The category of a PAD file's text, ready for a URL query: the text of the
// first <Program_Category_Class> element (a tag at index 0 counts as missing),
// with line breaks removed, entities decoded (a character reference to its
// character in UTF-8, whatever its code point), surrounding white space trimmed,
// then space to "+", "&" to "%26amp%3B", ":" to "%3A", and "%", "+", "#",
// control characters and bytes of 0x80 and above percent-encoded. Empty when
// the element is missing or blank.
std::string ExtractCategoryText(std::string_view padText);

}  // namespace tesselwick

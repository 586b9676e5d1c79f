#pragma once

#include <string>
#include <string_view>

namespace tesselwick {

// Percent-encodes a value for a place in a URL where it must arrive whole:
// "%", "&", "#", "+", "?", space, control characters and bytes of 0x80 and
// above become "%XX" (upper-case hex); every other byte stays, so a plain
// value ("2026.12", "http://host/pad.xml") goes out byte for byte.
std::string PercentEncodeValue(std::string_view text);

// Appends one byte as "%XX" (upper-case hex).
void AppendPercentEncoded(std::string& out, unsigned char byte);

}  // namespace tesselwick

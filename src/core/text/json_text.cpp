#include "core/text/json_text.h"

namespace tesselwick {

std::string TerminalSafeJson(std::string_view text) {
  // Outside strings the JSON is plain ASCII, and every byte that is not
  // UTF-8 is U+FFFD already, so each of these bytes is such a character
  // inside a string.
  std::string printable;
  printable.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (byte == 0x7F) {
      printable += "\\u007f";
    } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
      constexpr char kHex[] = "0123456789abcdef";
      printable += "\\u00";
      printable += kHex[next >> 4];
      printable += kHex[next & 0xF];
      ++i;
    } else {
      printable += text[i];
    }
  }
  return printable;
}

}  // namespace tesselwick

#include "core/text/percent_encode.h"

namespace tesselwick {

namespace {
bool NeedsEncoding(unsigned char c) {
  return c <= 0x20 || c >= 0x7F || c == '%' || c == '&' || c == '#' || c == '+' || c == '?';
}
}  // namespace

void AppendPercentEncoded(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

std::string PercentEncodeValue(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (NeedsEncoding(byte)) {
      AppendPercentEncoded(out, byte);
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace tesselwick

#include "ui/text_convert.h"

#include <array>

namespace tesselwick::ui {

namespace {

// Windows-1252 for the bytes 0x80 to 0x9F; the five bytes it leaves
// undefined map to the C1 control of the same number, so that every byte
// shows as something and no text vanishes.
constexpr std::array<wchar_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

wxString FromWindows1252(const std::string& bytes) {
  wxString text;
  text.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    text += (byte >= 0x80 && byte < 0xA0) ? wxUniChar(kWindows1252High[byte - 0x80])
                                          : wxUniChar(static_cast<unsigned>(byte));
  }
  return text;
}

}  // namespace

wxString ToWx(const std::string& bytes) {
  if (bytes.empty()) return {};
  wxString text = wxString::FromUTF8(bytes.data(), bytes.size());
  return text.empty() ? FromWindows1252(bytes) : text;
}

std::string FromWx(const wxString& text) {
  const wxScopedCharBuffer utf8 = text.utf8_str();
  return std::string(utf8.data(), utf8.length());
}

}  // namespace tesselwick::ui

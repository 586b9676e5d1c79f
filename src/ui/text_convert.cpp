#include "ui/text_convert.h"

#include <wx/strconv.h>

namespace tesselwick::ui {

wxString ToWx(const std::string& bytes) {
  if (bytes.empty()) return {};
  wxString text = wxString::FromUTF8(bytes.data(), bytes.size());
  if (text.empty()) {
    static wxCSConv windows1252(wxFONTENCODING_CP1252);
    text = wxString(bytes.data(), windows1252, bytes.size());
  }
  return text;
}

std::string FromWx(const wxString& text) {
  const wxScopedCharBuffer utf8 = text.utf8_str();
  return std::string(utf8.data(), utf8.length());
}

}  // namespace tesselwick::ui

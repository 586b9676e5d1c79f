#pragma once

#include <wx/string.h>

#include <string>

namespace tesselwick::ui {

// The logic keeps texts as bytes. They are shown as UTF-8 when they are valid
// UTF-8 and as Windows-1252 otherwise, so no text vanishes from the screen.
wxString ToWx(const std::string& bytes);
// What the user typed, as UTF-8 bytes.
std::string FromWx(const wxString& text);

}  // namespace tesselwick::ui

#pragma once

#include <wx/window.h>

namespace tesselwick::ui {

// A control's place given in dialog units, as the dialog layouts are drawn;
// converted with the dialog's own font so that the layout scales with it.
inline wxRect DluRect(wxWindow* dialog, int x, int y, int width, int height) {
  const wxPoint origin = dialog->ConvertDialogToPixels(wxPoint(x, y));
  const wxSize size = dialog->ConvertDialogToPixels(wxSize(width, height));
  return wxRect(origin, size);
}

}  // namespace tesselwick::ui

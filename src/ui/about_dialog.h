#pragma once

#include <wx/dialog.h>

namespace tesselwick::ui {

// The About box: icon, version line, what the program does, OK.
class AboutDialog : public wxDialog {
 public:
  explicit AboutDialog(wxWindow* parent);
};

}  // namespace tesselwick::ui

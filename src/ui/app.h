#pragma once

#include <wx/app.h>

namespace tesselwick::ui {

// Starts the network layer and runs the main window; the program ends when
// the window closes.
class SubmissionApp : public wxApp {
 public:
  bool OnInit() override;
  int OnRun() override;
  bool OnExceptionInMainLoop() override;
};

}  // namespace tesselwick::ui

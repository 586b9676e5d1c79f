#include "ui/app.h"

#include <wx/filename.h>
#include <wx/msgdlg.h>
#include <wx/stdpaths.h>

#include <exception>

#include "core/app/texts.h"
#include "core/submit/http_fetch.h"
#include "ui/main_window.h"
#include "ui/text_convert.h"

namespace tesselwick::ui {

namespace {
wxString ExecutableName() {
  return wxFileName(wxStandardPaths::Get().GetExecutablePath()).GetName();
}
}  // namespace

bool SubmissionApp::OnInit() {
  if (!InitNetwork()) {
    wxMessageBox(texts::kSocketsFailed, ExecutableName(), wxOK | wxICON_EXCLAMATION);
    return false;
  }
  return true;
}

int SubmissionApp::OnRun() {
  auto* window = new MainWindow();
  window->RunModal();
  window->Destroy();
  return 0;
}

bool SubmissionApp::OnExceptionInMainLoop() {
  // A command that fails unexpectedly is reported and the window stays.
  wxString text = texts::kInternalError;
  try {
    throw;
  } catch (const std::exception& error) {
    const wxString what = ToWx(error.what());
    if (!what.empty()) text = what;
  } catch (...) {
  }
  wxMessageBox(text, ExecutableName(), wxOK | wxICON_ERROR);
  return true;
}

}  // namespace tesselwick::ui

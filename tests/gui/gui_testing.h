#pragma once

// Modal dialogs in GUI tests are answered through wx's testing hooks; a
// dialog that no test expected is cancelled and reported as a test failure
// instead of hanging the run. The progress window is the exception: it runs
// for real, since it ends itself with the run it shows. When it then shows
// the run's results, a test that set GoogleTestModalHook::onResults looks at
// them; otherwise they are closed at once.
#include <gtest/gtest.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>

#include <functional>

#include "ui/progress_window.h"

class GoogleTestModalHook;
#define wxTEST_DIALOG_HOOK_CLASS GoogleTestModalHook
#include <wx/testing.h>

class GoogleTestModalHook : public wxTestingModalHook {
 public:
  GoogleTestModalHook(const char* file, int line, const char* func)
      : wxTestingModalHook(file, line, func) {}

  // Looks at the results window in place of the user; gives the button
  // that closes it.
  static inline std::function<int(tesselwick::ui::ProgressWindow&)> onResults;

 protected:
  int Enter(wxDialog* dlg) override {
    if (auto* progress = dynamic_cast<tesselwick::ui::ProgressWindow*>(dlg)) {
      if (!progress->ShowingResults()) return wxID_NONE;
      return onResults ? onResults(*progress) : wxID_CLOSE;
    }
    return wxTestingModalHook::Enter(dlg);
  }
  void ReportFailure(const wxString& msg) override { ADD_FAILURE() << msg.ToStdString(); }
};

// A message box's expected text and caption, checked when it is shown.
class ExpectMessage : public wxExpectModal<wxMessageDialog> {
 public:
  ExpectMessage(const wxString& text, const wxString& caption)
      : wxExpectModal<wxMessageDialog>(wxID_OK), text_(text), caption_(caption) {}

 protected:
  int OnInvoked(wxMessageDialog* dlg) const override {
    EXPECT_EQ(dlg->GetMessage().ToStdString(), text_.ToStdString());
    EXPECT_EQ(dlg->GetTitle().ToStdString(), caption_.ToStdString());
    return wxExpectModal<wxMessageDialog>::OnInvoked(dlg);
  }

 private:
  wxString text_;
  wxString caption_;
};

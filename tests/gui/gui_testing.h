#pragma once

// Modal dialogs in GUI tests are answered through wx's testing hooks; a
// dialog that no test expected is cancelled and reported as a test failure
// instead of hanging the run. The progress window is the exception: it runs
// for real, since it ends itself with the run it shows.
#include <gtest/gtest.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>

#include "ui/progress_window.h"

class GoogleTestModalHook;
#define wxTEST_DIALOG_HOOK_CLASS GoogleTestModalHook
#include <wx/testing.h>

class GoogleTestModalHook : public wxTestingModalHook {
 public:
  GoogleTestModalHook(const char* file, int line, const char* func)
      : wxTestingModalHook(file, line, func) {}

 protected:
  int Enter(wxDialog* dlg) override {
    if (dynamic_cast<tesselwick::ui::ProgressWindow*>(dlg) != nullptr) return wxID_NONE;
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

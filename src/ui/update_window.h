#pragma once

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/gauge.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/text/messages.h"
#include "core/app/update_dialog.h"
#include "core/net/http_fetch.h"
#include "ui/adapters.h"

namespace tesselwick::ui {

// A push button that the logic enables and disables.
class WindowButton : public ButtonControl {
 public:
  explicit WindowButton(wxButton* button) : button_(button) {}
  void Enable(bool enable) override { button_->Enable(enable); }
  bool IsEnabled() const override { return button_->IsEnabled(); }

 private:
  wxButton* button_;
};

// The update dialog: the installed program and site list versions beside the
// update server's, Check Version, Update and Return. Its state and commands
// are the logic's UpdateDialog; this class only builds the controls and
// routes the buttons. While the update server is asked, the dialog keeps
// repainting: the explanation gives way to what it waits for, and Return to
// a Stop button (Esc does the same) that gives the request up at once.
class UpdateWindow : public wxDialog, public FetchWaiter {
 public:
  // pad.dat is replaced in `folder`; requests go to `serverUrl`.
  UpdateWindow(wxWindow* parent, const std::filesystem::path& folder,
               const std::string& programVersion, const std::string& sitesVersion,
               std::string serverUrl = program::kSiteUrl, FetchLimits limits = {});

  UpdateDialog& Logic() { return *logic_; }

  // Keeps the dialog alive until the request has ended or the user stops it.
  void Wait(BackgroundFetch& fetch) override;
  // True while a request is waited for; for tests.
  bool Waiting() const { return fetch_ != nullptr; }
  wxButton* StopButton() const { return stop_; }
  wxStaticText* WaitingText() const { return status_; }

 private:
  void BuildControls();
  wxTextCtrl* VersionBox(int id, int x, int y);
  // Runs one of the dialog's commands; `waitingFor` says what its request is.
  void RunCommand(void (UpdateDialog::*command)(), const wxString& waitingFor, wxButton* pressed);
  void ShowWaiting(bool waiting);
  void StopWaiting();

  wxButton* update_ = nullptr;
  wxButton* checkVersion_ = nullptr;
  wxButton* back_ = nullptr;
  wxButton* stop_ = nullptr;
  wxStaticText* status_ = nullptr;
  wxGauge* gauge_ = nullptr;
  std::vector<wxStaticText*> explanation_;
  // The request being waited for, and what the window says of it.
  BackgroundFetch* fetch_ = nullptr;
  wxString waitingFor_;
  bool updateWasEnabled_ = false;
  bool closeAfterWait_ = false;
  std::unique_ptr<TextBox> programVersion_;
  std::unique_ptr<TextBox> serverProgramVersion_;
  std::unique_ptr<TextBox> sitesVersion_;
  std::unique_ptr<TextBox> serverSitesVersion_;
  std::unique_ptr<WindowButton> updateButton_;
  WindowMessages messages_{this};
  std::unique_ptr<UpdateDialog> logic_;
};

}  // namespace tesselwick::ui

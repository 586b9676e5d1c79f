#pragma once

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/textctrl.h>

#include <filesystem>
#include <memory>
#include <string>

#include "core/app/texts.h"
#include "core/sites/update_dialog.h"
#include "core/submit/http_fetch.h"
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
// routes the buttons.
class UpdateWindow : public wxDialog {
 public:
  // pad.dat is replaced in `folder`; requests go to `serverUrl`.
  UpdateWindow(wxWindow* parent, const std::filesystem::path& folder,
               const std::string& programVersion, const std::string& sitesVersion,
               std::string serverUrl = texts::kSiteUrl, FetchLimits limits = {});

  UpdateDialog& Logic() { return *logic_; }

 private:
  void BuildControls();
  wxTextCtrl* VersionBox(int id, int x, int y);

  wxButton* update_ = nullptr;
  std::unique_ptr<TextBox> programVersion_;
  std::unique_ptr<TextBox> serverProgramVersion_;
  std::unique_ptr<TextBox> sitesVersion_;
  std::unique_ptr<TextBox> serverSitesVersion_;
  std::unique_ptr<WindowButton> updateButton_;
  WindowMessages messages_{this};
  std::unique_ptr<UpdateDialog> logic_;
};

}  // namespace tesselwick::ui

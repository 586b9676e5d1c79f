#include "ui/main_window.h"

#include <wx/menu.h>
#include <wx/stattext.h>

#include "core/app/texts.h"
#include "ui/about_dialog.h"
#include "ui/geometry.h"
#include "ui/icon.h"
#include "ui/ids.h"
#include "ui/update_window.h"

namespace tesselwick::ui {

MainWindow::MainWindow(const std::filesystem::path& folder, BrowserFunction browser)
    : wxDialog(nullptr, wxID_ANY, texts::kMainCaption, wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxMINIMIZE_BOX),
      shell_(std::move(browser)),
      folder_(folder) {
  SetIcons(ProgramIcons());
  BuildControls();
  logic_ = std::make_unique<MainDialog>(
      MainDialogControls{*urlBox_, *siteList_, *countBox_, messages_, shell_}, folder);
  // A submission run shows its progress in a window of its own over this one.
  logic_->runProgress = &runProgress_;
  BindEvents();
  logic_->Initialise();
  CentreOnScreen();
}

void MainWindow::BuildControls() {
  SetClientSize(ConvertDialogToPixels(wxSize(320, 121)));

  // Tab order is creation order: Submit first, so it has the focus at start.
  auto button = [this](int id, const char* label, int x, int y) {
    const wxRect place = DluRect(this, x, y, 50, 14);
    return new wxButton(this, id, label, place.GetPosition(), place.GetSize());
  };
  // The buttons keep a small gap between them, which GTK's framed buttons need
  // to read as separate buttons.
  wxButton* submit = button(kIdSubmit, "Submit", 263, 24);
  button(kIdHelp, "Help", 263, 100);

  const wxRect list = DluRect(this, 7, 23, 249, 91);
  siteList_ = new SiteListView(this, kIdSiteList, list.GetPosition(), list.GetSize());

  wxButton* quit = button(wxID_OK, "Quit", 263, 7);
  quit->SetDefault();

  const wxRect label = DluRect(this, 7, 8, 40, 12);
  new wxStaticText(this, wxID_ANY, "PAD URL:", label.GetPosition() + wxPoint(0, 4),
                   label.GetSize());

  const wxRect countLabel = DluRect(this, 263, 60, 50, 9);
  new wxStaticText(this, wxID_ANY, "Sites:", countLabel.GetPosition(), countLabel.GetSize(),
                   wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE);
  const wxRect count = DluRect(this, 263, 70, 50, 14);
  siteCount_ = new wxTextCtrl(this, kIdSiteCount, "0", count.GetPosition(), count.GetSize(),
                              wxTE_READONLY | wxTE_CENTRE);

  button(kIdUpdate, "Update", 263, 41);

  const wxRect url = DluRect(this, 50, 5, 206, 14);
  padUrl_ = new wxComboBox(this, kIdPadUrl, wxString(), url.GetPosition(), url.GetSize(), 0,
                           nullptr, wxCB_DROPDOWN);

  urlBox_ = std::make_unique<ComboUrlBox>(padUrl_);
  countBox_ = std::make_unique<TextBox>(siteCount_);
  submit->SetFocus();
}

void MainWindow::BindEvents() {
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { logic_->SubmissionRun(); }, kIdSubmit);
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { logic_->OnShowManual(); }, kIdHelp);
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { logic_->OnUpdateSites(); }, kIdUpdate);
  logic_->runUpdateDialog = [this](const std::string& program, const std::string& sites) {
    UpdateWindow update(this, folder_, program, sites, texts::kSiteUrl, logic_->fetchLimits);
    update.ShowModal();
  };
  // Quit takes the PAD-URL box's text before closing; Esc and the close box
  // close without taking it.
  Bind(
      wxEVT_BUTTON,
      [this](wxCommandEvent&) {
        logic_->Pull();
        EndModal(wxID_OK);
      },
      wxID_OK);
  Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
    if (event.GetKeyCode() == WXK_ESCAPE) {
      EndModal(wxID_CANCEL);
      return;
    }
    event.Skip();
  });
  Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& event) {
    // While a submission run works, its progress window is the one to close
    // (it stops the run); the main window waits for the report.
    if (runProgress_.Active() != nullptr && event.CanVeto()) {
      event.Veto();
      return;
    }
    EndModal(wxID_CANCEL);
  });
  // GTK has no application system menu: the About entry sits in the window's
  // context menu (right click, the Menu key, Shift+F10).
  Bind(wxEVT_CONTEXT_MENU, [this](wxContextMenuEvent& event) {
    // The text boxes keep their own menu (cut, copy, paste).
    if (event.GetEventObject() == padUrl_ || event.GetEventObject() == siteCount_) {
      event.Skip();
      return;
    }
    wxMenu menu;
    menu.Append(kIdAbout, texts::kAboutMenuEntry);
    PopupMenu(&menu);
  });
  Bind(
      wxEVT_MENU, [this](wxCommandEvent&) { ShowAbout(); }, kIdAbout);
}

void MainWindow::ShowAbout() {
  AboutDialog about(this);
  about.ShowModal();
}

int MainWindow::RunModal() {
  const int result = ShowModal();
  logic_->CloseDown();
  return result;
}

}  // namespace tesselwick::ui

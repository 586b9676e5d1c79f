#include "ui/main_window.h"

#include <wx/display.h>
#include <wx/intl.h>
#include <wx/menu.h>
#include <wx/stattext.h>

#include <algorithm>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

#include "core/text/messages.h"
#include "core/app/window_size.h"
#include "core/text/translation.h"
#include "ui/about_dialog.h"
#include "ui/accessibility.h"
#include "ui/geometry.h"
#include "ui/icon.h"
#include "ui/ids.h"
#include "ui/update_window.h"

namespace tesselwick::ui {

namespace {

// How often the window looks whether a signal asked it to close down.
constexpr int kCloseDownCheckMilliseconds = 100;

// Counts a command as under way while it lasts.
class UnderWay {
 public:
  explicit UnderWay(int& count) : count_(count) { ++count_; }
  ~UnderWay() { --count_; }
  UnderWay(const UnderWay&) = delete;
  UnderWay& operator=(const UnderWay&) = delete;

 private:
  int& count_;
};

// Answers every message box that shows with its close box. On GTK a message
// box is the toolkit's own dialog, which wx runs in a loop of GTK's.
void CloseMessageBoxes() {
#ifdef __WXGTK__
  GList* windows = gtk_window_list_toplevels();
  for (GList* item = windows; item != nullptr; item = item->next) {
    GtkWidget* window = GTK_WIDGET(item->data);
    if (GTK_IS_MESSAGE_DIALOG(window) && gtk_widget_get_visible(window))
      gtk_dialog_response(GTK_DIALOG(window), GTK_RESPONSE_DELETE_EVENT);
  }
  g_list_free(windows);
#endif
}

}  // namespace

MainWindow::MainWindow(const std::filesystem::path& folder, BrowserFunction browser,
                       std::filesystem::path sizeFile)
    : wxDialog(nullptr, wxID_ANY, _(texts::kMainCaption), wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxMINIMIZE_BOX | wxMAXIMIZE_BOX |
                   wxRESIZE_BORDER),
      shell_(std::move(browser)),
      folder_(folder),
      sizeFile_(std::move(sizeFile)) {
  SetIcons(ProgramIcons());
  BuildControls();
  logic_ = std::make_unique<MainDialog>(
      MainDialogControls{*urlBox_, *siteList_, *countBox_, messages_, shell_}, folder);
  // A submission run shows its progress in a window of its own over this one.
  logic_->runProgress = &runProgress_;
  BindEvents();
  logic_->Initialise();
  // The window opens at the template's size, or as large as the user left
  // it, and never gets smaller than the template.
  SetMinClientSize(templateSize_);
  if (!sizeFile_.empty()) {
    if (const auto remembered = ReadWindowSize(sizeFile_)) {
      const wxSize screen = wxGetClientDisplayRect().GetSize();
      SetClientSize(
          wxSize(std::min(remembered->width, screen.x), std::min(remembered->height, screen.y)));
    }
  }
  PlaceControls();
  CentreOnScreen();
}

void MainWindow::BuildControls() {
  templateSize_ = ConvertDialogToPixels(wxSize(320, 121));
  SetClientSize(templateSize_);

  auto place = [this](wxWindow* control, const wxRect& where, bool right, bool wide, bool tall) {
    placed_.push_back({control, where, right, wide, tall});
    return control;
  };
  // Tab order is creation order: Submit first, so it has the focus at start.
  auto button = [this, &place](int id, const char* label, int x, int y) {
    const wxRect where = DluRect(this, x, y, 50, 14);
    auto* made = new wxButton(this, id, _(label), where.GetPosition(), where.GetSize());
    place(made, where, true, false, false);
    return made;
  };
  // The buttons keep a small gap between them, which GTK's framed buttons need
  // to read as separate buttons.
  wxButton* submit = button(kIdSubmit, N_("Submit"), 263, 24);
  button(kIdHelp, N_("Help"), 263, 100);

  const wxRect list = DluRect(this, 7, 23, 249, 91);
  siteList_ = new SiteListView(this, kIdSiteList, list.GetPosition(), list.GetSize());
  place(siteList_, list, false, true, true);

  wxButton* quit = button(wxID_OK, N_("Quit"), 263, 7);
  quit->SetDefault();

  const wxRect label = DluRect(this, 7, 8, 40, 12);
  auto* urlLabel = new wxStaticText(this, wxID_ANY, _(texts::kPadUrlLabel),
                                    label.GetPosition() + wxPoint(0, 4), label.GetSize());
  place(urlLabel, wxRect(label.GetPosition() + wxPoint(0, 4), label.GetSize()), false, false,
        false);

  const wxRect countLabel = DluRect(this, 263, 60, 50, 9);
  auto* sitesLabel =
      new wxStaticText(this, wxID_ANY, _(texts::kSitesLabel), countLabel.GetPosition(),
                       countLabel.GetSize(), wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE);
  place(sitesLabel, countLabel, true, false, false);
  const wxRect count = DluRect(this, 263, 70, 50, 14);
  siteCount_ = new wxTextCtrl(this, kIdSiteCount, "0", count.GetPosition(), count.GetSize(),
                              wxTE_READONLY | wxTE_CENTRE);
  place(siteCount_, count, true, false, false);

  button(kIdUpdate, N_("Update"), 263, 41);

  const wxRect url = DluRect(this, 50, 5, 206, 14);
  padUrl_ = new wxComboBox(this, kIdPadUrl, wxString(), url.GetPosition(), url.GetSize(), 0,
                           nullptr, wxCB_DROPDOWN);
  place(padUrl_, url, false, true, false);

  urlBox_ = std::make_unique<ComboUrlBox>(padUrl_);
  countBox_ = std::make_unique<TextBox>(siteCount_);
  NameControls(urlLabel, sitesLabel);
  submit->SetFocus();
}

void MainWindow::PlaceControls() {
  const wxSize grown = GetClientSize() - templateSize_;
  const int dx = std::max(0, grown.x);
  const int dy = std::max(0, grown.y);
  for (const Placed& p : placed_) {
    wxRect where = p.place;
    if (p.right) where.x += dx;
    if (p.wide) where.width += dx;
    if (p.tall) where.height += dy;
    if (p.control->GetRect() != where) p.control->SetSize(where);
  }
}

void MainWindow::NameControls(wxWindow* urlLabel, wxWindow* countLabel) {
  // wx names are what GTK shows as the widgets' names; screen readers get
  // the accessible names and the labels' relations below.
  padUrl_->SetName("PadUrl");
  siteCount_->SetName("SiteCount");
  LabelForScreenReaders(urlLabel, padUrl_, _(texts::kPadUrlLabel));
  LabelForScreenReaders(countLabel, siteCount_, _(texts::kSitesLabel));
  NameForScreenReaders(siteList_->Table(), _(texts::kSiteListName));
}

void MainWindow::BindEvents() {
  Bind(
      wxEVT_BUTTON,
      [this](wxCommandEvent&) {
        UnderWay command(commandsUnderWay_);
        logic_->SubmissionRun();
      },
      kIdSubmit);
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { logic_->OnShowManual(); }, kIdHelp);
  Bind(
      wxEVT_BUTTON,
      [this](wxCommandEvent&) {
        UnderWay command(commandsUnderWay_);
        logic_->OnUpdateSites();
      },
      kIdUpdate);
  logic_->runUpdateDialog = [this](const std::string& program, const std::string& sites) {
    UpdateWindow update(this, folder_, program, sites, program::kSiteUrl, logic_->fetchLimits);
    update.ShowModal();
  };
  // Quit takes the PAD-URL box's text before closing; Esc and the close box
  // close without taking it.
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { Quit(); }, wxID_OK);
  // Esc closes without taking the PAD-URL box's text; F1 is Help and Ctrl+Q
  // is Quit, as in other desktop programs.
  Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
    if (event.GetKeyCode() == WXK_ESCAPE) {
      EndModal(wxID_CANCEL);
      return;
    }
    if (event.GetKeyCode() == WXK_F1 && event.GetModifiers() == wxMOD_NONE) {
      logic_->OnShowManual();
      return;
    }
    if ((event.GetKeyCode() == 'Q' || event.GetKeyCode() == 'q') &&
        event.GetModifiers() == wxMOD_CONTROL) {
      Quit();
      return;
    }
    event.Skip();
  });
  Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
    event.Skip();
    PlaceControls();
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
    UnderWay command(commandsUnderWay_);
    wxMenu menu;
    menu.Append(kIdAbout, _(texts::kAboutMenuEntry));
    PopupMenu(&menu);
  });
  Bind(
      wxEVT_MENU,
      [this](wxCommandEvent&) {
        UnderWay command(commandsUnderWay_);
        ShowAbout();
      },
      kIdAbout);
  Bind(
      wxEVT_TIMER, [this](wxTimerEvent&) { CloseDownAsAsked(); }, closeDownTimer_.GetId());
}

void MainWindow::ShowAbout() {
  AboutDialog about(this);
  about.ShowModal();
}

void MainWindow::Quit() {
  logic_->Pull();
  EndModal(wxID_OK);
}

void MainWindow::CloseDownWhenSet(const std::atomic<int>& signal) {
  closeDownSignal_ = &signal;
  closeDownTimer_.Start(kCloseDownCheckMilliseconds);
}

void MainWindow::CloseDownAsAsked() {
  if (closeDownSignal_ == nullptr || closeDownSignal_->load() == 0) return;
  // The windows in front close first, a step at a time: the progress window
  // stops the run, and closes once its results show; the Update window gives
  // up its request. Each is looked at again at the next tick, until none is
  // left.
  bool inFront = false;
  for (wxWindow* window : wxTopLevelWindows) {
    auto* dialog = wxDynamicCast(window, wxDialog);
    if (dialog != nullptr && dialog != this && dialog->IsModal()) {
      dialog->Close();
      inFront = true;
    }
  }
  CloseMessageBoxes();
  if (inFront || commandsUnderWay_ > 0 || !IsModal()) return;
  Quit();
}

int MainWindow::RunModal() {
  const int result = ShowModal();
  // The size is remembered as the user left it; a maximised or minimised
  // window keeps the size remembered before.
  if (!sizeFile_.empty() && !IsIconized() && !IsMaximized()) {
    const wxSize size = GetClientSize();
    SaveWindowSize(sizeFile_, WindowSize{size.x, size.y});
  }
  logic_->CloseDown();
  return result;
}

}  // namespace tesselwick::ui

#include "ui/update_window.h"

#include <wx/evtloop.h>
#include <wx/intl.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/timer.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "core/net/background_fetch.h"
#include "core/text/translation.h"
#include "ui/geometry.h"
#include "ui/ids.h"

namespace tesselwick::ui {

namespace {
// Most answers come at once: the waiting state shows only for a request that
// takes longer than this, so a quick one does not make the dialog flicker.
constexpr std::chrono::milliseconds kQuietWait{150};
constexpr std::chrono::milliseconds kQuietStep{10};
constexpr int kPulseMilliseconds = 50;
}  // namespace

UpdateWindow::UpdateWindow(wxWindow* parent, const std::filesystem::path& folder,
                           const std::string& programVersion, const std::string& sitesVersion,
                           std::string serverUrl, FetchLimits limits)
    : wxDialog(parent, wxID_ANY, _("Update TesselWick"), wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
  BuildControls();
  logic_ = std::make_unique<UpdateDialog>(
      UpdateDialogControls{*programVersion_, *serverProgramVersion_, *sitesVersion_,
                           *serverSitesVersion_, *updateButton_, messages_},
      folder, std::move(serverUrl), limits);
  logic_->ProgramVersion = programVersion;
  logic_->SitesVersion = sitesVersion;
  logic_->waiter = this;
  logic_->Initialise();

  Bind(
      wxEVT_BUTTON,
      [this](wxCommandEvent&) {
        RunCommand(&UpdateDialog::OnCheckVersion, _("Asking the update server for its versions..."),
                   checkVersion_);
      },
      kIdCheckVersion);
  Bind(
      wxEVT_BUTTON,
      [this](wxCommandEvent&) {
        RunCommand(&UpdateDialog::OnUpdate, _("Downloading the new site list..."), update_);
      },
      kIdUpdate);
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { StopWaiting(); }, stop_->GetId());
  // Esc gives up a request under way; otherwise it closes the dialog, in
  // every state and wherever the focus is.
  Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
    if (event.GetKeyCode() != WXK_ESCAPE) {
      event.Skip();
      return;
    }
    if (Waiting()) {
      StopWaiting();
    } else {
      EndDialog(wxID_CANCEL);
    }
  });
  // The close box during a request gives it up and closes once it has ended.
  Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& event) {
    if (Waiting() && event.CanVeto()) {
      event.Veto();
      closeAfterWait_ = true;
      StopWaiting();
      return;
    }
    event.Skip();
  });
  // Return (wxID_OK) ends the dialog as any dialog's default button does.
  CentreOnParent();
}

void UpdateWindow::RunCommand(void (UpdateDialog::*command)(), const wxString& waitingFor,
                              wxButton* pressed) {
  // A click that arrives while a request is waited for is not a new command.
  if (Waiting()) return;
  waitingFor_ = waitingFor;
  ((*logic_).*command)();
  // A button that the command disabled must not keep the focus: GTK would
  // then send the dialog's keys, Esc among them, nowhere.
  wxWindow* focus = FindFocus();
  if (focus == nullptr || !focus->IsEnabled() || !focus->IsShown())
    (pressed->IsEnabled() ? pressed : back_)->SetFocus();
  if (closeAfterWait_) EndDialog(wxID_CANCEL);
}

void UpdateWindow::Wait(BackgroundFetch& fetch) {
  const auto quietUntil = std::chrono::steady_clock::now() + kQuietWait;
  while (!fetch.Done() && std::chrono::steady_clock::now() < quietUntil)
    std::this_thread::sleep_for(kQuietStep);
  if (fetch.Done()) return;

  fetch_ = &fetch;
  ShowWaiting(true);
  wxGUIEventLoop loop;
  wxTimer timer;
  timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    if (fetch.Done()) {
      if (loop.IsRunning()) loop.Exit();
      return;
    }
    gauge_->Pulse();
  });
  timer.Start(kPulseMilliseconds);
  loop.Run();
  timer.Stop();
  fetch_ = nullptr;
  ShowWaiting(false);
}

void UpdateWindow::StopWaiting() {
  if (fetch_ == nullptr) return;
  // The fetch is Done from now on; the loop ends at the next tick.
  fetch_->Stop();
  stop_->Disable();
}

void UpdateWindow::ShowWaiting(bool waiting) {
  Freeze();
  for (wxStaticText* line : explanation_) line->Show(!waiting);
  status_->SetLabel(waitingFor_);
  status_->Show(waiting);
  gauge_->Show(waiting);
  back_->Show(!waiting);
  stop_->Enable(waiting);
  stop_->Show(waiting);
  checkVersion_->Enable(!waiting);
  if (waiting) {
    updateWasEnabled_ = update_->IsEnabled();
    update_->Disable();
    stop_->SetFocus();
  } else {
    update_->Enable(updateWasEnabled_);
  }
  Thaw();
}

wxTextCtrl* UpdateWindow::VersionBox(int id, int x, int y) {
  // Wider than the classic 40 units: GTK's entries pad their text more, and
  // a version of eight digits should show whole.
  const wxRect place = DluRect(this, x, y, 50, 14);
  return new wxTextCtrl(this, id, wxString(), place.GetPosition(), place.GetSize(),
                        wxTE_READONLY | wxBORDER_SUNKEN);
}

void UpdateWindow::BuildControls() {
  const wxSize client = ConvertDialogToPixels(wxSize(186, 113));
  SetClientSize(client);

  // The frame comes first so that it lies beneath the boxes it frames; it
  // takes no focus, so Return is still the first tab stop.
  const wxRect framePlace = DluRect(this, 7, 3, 172, 42);
  auto* frame = new wxStaticBox(this, wxID_ANY, _("Shareware Site List:"), framePlace.GetPosition(),
                                framePlace.GetSize());

  auto button = [this](int id, const char* label, int x, int y) {
    const wxRect place = DluRect(this, x, y, 50, 14);
    return new wxButton(this, id, _(label), place.GetPosition(), place.GetSize());
  };
  // Labels take the width their text needs in the screen's font, so no word
  // is cut off; the explanation keeps its four lines.
  int rightmost = 0;
  auto label = [this, &rightmost](const char* text, int x, int y) {
    const wxRect place = DluRect(this, x, y, 0, 9);
    auto* line = new wxStaticText(this, wxID_ANY, _(text), place.GetPosition(),
                                  wxSize(wxDefaultCoord, place.GetHeight()));
    rightmost = std::max(rightmost, line->GetRect().GetRight());
    return line;
  };

  // Tab order is creation order: Return first, so it has the focus at start.
  wxButton* back = button(wxID_OK, N_("Return"), 129, 91);
  back->SetDefault();
  wxTextCtrl* programVersion = VersionBox(kIdProgramVersion, 72, 14);
  wxTextCtrl* serverProgramVersion = VersionBox(kIdServerProgramVersion, 123, 14);
  label(N_("Program Version:"), 14, 17);
  label(N_("Sites Version:"), 14, 31);
  // The two buttons sit a little apart, which GTK's framed buttons need to
  // read as two.
  update_ = button(kIdUpdate, N_("Update"), 92, 47);
  explanation_ = {label(N_("This screen is used to make sure you have the latest"), 7, 63),
                  label(N_("Shareware Site definitions to enable you to submit in"), 7, 72),
                  label(N_("the most effective manner to the best possible number"), 7, 81),
                  label(N_("of Shareware sites."), 7, 90)};
  checkVersion_ = button(kIdCheckVersion, N_("Check Version"), 38, 47);
  wxTextCtrl* sitesVersion = VersionBox(kIdSitesVersion, 72, 28);
  wxTextCtrl* serverSitesVersion = VersionBox(kIdServerSitesVersion, 123, 28);

  // What the dialog shows in place of the explanation and Return while it
  // waits for the update server; hidden until then, and after Return in the
  // tab order.
  const wxRect statusPlace = DluRect(this, 7, 64, 172, 9);
  status_ = new wxStaticText(this, wxID_ANY, wxString(), statusPlace.GetPosition(),
                             statusPlace.GetSize(), wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
  const wxRect gaugePlace = DluRect(this, 7, 76, 172, 8);
  gauge_ = new wxGauge(this, wxID_ANY, 100, gaugePlace.GetPosition(), gaugePlace.GetSize());
  stop_ = button(wxID_STOP, N_("Stop"), 129, 91);
  for (wxWindow* waitingOnly : {static_cast<wxWindow*>(status_), static_cast<wxWindow*>(gauge_),
                                static_cast<wxWindow*>(stop_)})
    waitingOnly->Hide();

  // Where the screen's font sets the explanation wider than the dialog, the
  // dialog grows, and the frame, the waiting line, Return and Stop keep their
  // distance to its edge.
  const int margin = ConvertDialogToPixels(wxSize(7, 0)).x;
  const int extra = rightmost + 1 + margin - client.x;
  if (extra > 0) {
    SetClientSize(client.x + extra, client.y);
    for (wxWindow* wide : {static_cast<wxWindow*>(frame), static_cast<wxWindow*>(status_),
                           static_cast<wxWindow*>(gauge_)})
      wide->SetSize(wide->GetSize() + wxSize(extra, 0));
    for (wxButton* right : {back, stop_}) right->Move(right->GetPosition() + wxPoint(extra, 0));
  }

  programVersion_ = std::make_unique<TextBox>(programVersion);
  serverProgramVersion_ = std::make_unique<TextBox>(serverProgramVersion);
  sitesVersion_ = std::make_unique<TextBox>(sitesVersion);
  serverSitesVersion_ = std::make_unique<TextBox>(serverSitesVersion);
  updateButton_ = std::make_unique<WindowButton>(update_);
  back_ = back;
  back->SetFocus();
}

}  // namespace tesselwick::ui

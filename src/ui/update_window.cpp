#include "ui/update_window.h"

#include <wx/statbox.h>
#include <wx/stattext.h>

#include <algorithm>
#include <utility>

#include "ui/geometry.h"
#include "ui/ids.h"

namespace tesselwick::ui {

UpdateWindow::UpdateWindow(wxWindow* parent, const std::filesystem::path& folder,
                           const std::string& programVersion, const std::string& sitesVersion,
                           std::string serverUrl, FetchLimits limits)
    : wxDialog(parent, wxID_ANY, "Update TesselWick", wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
  BuildControls();
  logic_ = std::make_unique<UpdateDialog>(
      UpdateDialogControls{*programVersion_, *serverProgramVersion_, *sitesVersion_,
                           *serverSitesVersion_, *updateButton_, messages_},
      folder, std::move(serverUrl), limits);
  logic_->ProgramVersion = programVersion;
  logic_->SitesVersion = sitesVersion;
  logic_->Initialise();

  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { logic_->OnCheckVersion(); }, kIdCheckVersion);
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { logic_->OnUpdate(); }, kIdUpdate);
  // Return (wxID_OK), Esc and the close box end the dialog as any dialog's do.
  CentreOnParent();
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
  auto* frame = new wxStaticBox(this, wxID_ANY, "Shareware Site List:", framePlace.GetPosition(),
                                framePlace.GetSize());

  auto button = [this](int id, const char* label, int x, int y) {
    const wxRect place = DluRect(this, x, y, 50, 14);
    return new wxButton(this, id, label, place.GetPosition(), place.GetSize());
  };
  // Labels take the width their text needs in the screen's font, so no word
  // is cut off; the explanation keeps its four lines.
  int rightmost = 0;
  auto label = [this, &rightmost](const char* text, int x, int y) {
    const wxRect place = DluRect(this, x, y, 0, 9);
    auto* line = new wxStaticText(this, wxID_ANY, text, place.GetPosition(),
                                  wxSize(wxDefaultCoord, place.GetHeight()));
    rightmost = std::max(rightmost, line->GetRect().GetRight());
  };

  // Tab order is creation order: Return first, so it has the focus at start.
  wxButton* back = button(wxID_OK, "Return", 129, 91);
  back->SetDefault();
  wxTextCtrl* programVersion = VersionBox(kIdProgramVersion, 72, 14);
  wxTextCtrl* serverProgramVersion = VersionBox(kIdServerProgramVersion, 123, 14);
  label("Program Version:", 14, 17);
  label("Sites Version:", 14, 31);
  // The two buttons sit a little apart, which GTK's framed buttons need to
  // read as two.
  update_ = button(kIdUpdate, "Update", 92, 47);
  label("This screen is used to make sure you have the latest", 7, 63);
  label("Shareware Site definitions to enable you to submit in", 7, 72);
  label("the most effective manner to the best possible number", 7, 81);
  label("of Shareware sites.", 7, 90);
  button(kIdCheckVersion, "Check Version", 38, 47);
  wxTextCtrl* sitesVersion = VersionBox(kIdSitesVersion, 72, 28);
  wxTextCtrl* serverSitesVersion = VersionBox(kIdServerSitesVersion, 123, 28);

  // Where the screen's font sets the explanation wider than the dialog, the
  // dialog grows, and the frame and Return keep their distance to its edge.
  const int margin = ConvertDialogToPixels(wxSize(7, 0)).x;
  const int extra = rightmost + 1 + margin - client.x;
  if (extra > 0) {
    SetClientSize(client.x + extra, client.y);
    frame->SetSize(frame->GetSize() + wxSize(extra, 0));
    back->Move(back->GetPosition() + wxPoint(extra, 0));
  }

  programVersion_ = std::make_unique<TextBox>(programVersion);
  serverProgramVersion_ = std::make_unique<TextBox>(serverProgramVersion);
  sitesVersion_ = std::make_unique<TextBox>(sitesVersion);
  serverSitesVersion_ = std::make_unique<TextBox>(serverSitesVersion);
  updateButton_ = std::make_unique<WindowButton>(update_);
  back->SetFocus();
}

}  // namespace tesselwick::ui

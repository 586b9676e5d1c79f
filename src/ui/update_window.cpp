#include "ui/update_window.h"

#include <wx/statbox.h>
#include <wx/stattext.h>

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

wxTextCtrl* UpdateWindow::VersionBox(int id, int x, int y, int width) {
  const wxRect place = DluRect(this, x, y, width, 14);
  return new wxTextCtrl(this, id, wxString(), place.GetPosition(), place.GetSize(),
                        wxTE_READONLY | wxBORDER_SUNKEN);
}

void UpdateWindow::BuildControls() {
  SetClientSize(ConvertDialogToPixels(wxSize(186, 113)));

  // The frame comes first so that it lies beneath the boxes it frames; it
  // takes no focus, so Return is still the first tab stop.
  const wxRect frame = DluRect(this, 7, 3, 172, 42);
  new wxStaticBox(this, wxID_ANY, "Shareware Site List:", frame.GetPosition(), frame.GetSize());

  auto button = [this](int id, const char* label, int x, int y) {
    const wxRect place = DluRect(this, x, y, 50, 14);
    return new wxButton(this, id, label, place.GetPosition(), place.GetSize());
  };
  auto label = [this](const char* text, int x, int y, int width) {
    const wxRect place = DluRect(this, x, y, width, 9);
    new wxStaticText(this, wxID_ANY, text, place.GetPosition(), place.GetSize(),
                     wxST_NO_AUTORESIZE);
  };

  // Tab order is creation order: Return first, so it has the focus at start.
  wxButton* back = button(wxID_OK, "Return", 129, 91);
  back->SetDefault();
  // The left boxes end where the right ones begin, so no border runs under
  // its neighbour.
  wxTextCtrl* programVersion = VersionBox(kIdProgramVersion, 72, 14, 39);
  wxTextCtrl* serverProgramVersion = VersionBox(kIdServerProgramVersion, 111, 14, 40);
  label("Program Version:", 14, 17, 57);
  label("Sites Version:", 14, 31, 57);
  update_ = button(kIdUpdate, "Update", 90, 47);
  label("This screen is used to make sure you have the latest", 7, 63, 176);
  label("Shareware Site definitions to enable you to submit in", 7, 72, 176);
  label("the most effective manner to the best possible number", 7, 81, 176);
  label("of Shareware sites.", 7, 90, 100);
  button(kIdCheckVersion, "Check Version", 39, 47);
  wxTextCtrl* sitesVersion = VersionBox(kIdSitesVersion, 72, 28, 39);
  wxTextCtrl* serverSitesVersion = VersionBox(kIdServerSitesVersion, 111, 28, 40);

  programVersion_ = std::make_unique<TextBox>(programVersion);
  serverProgramVersion_ = std::make_unique<TextBox>(serverProgramVersion);
  sitesVersion_ = std::make_unique<TextBox>(sitesVersion);
  serverSitesVersion_ = std::make_unique<TextBox>(serverSitesVersion);
  updateButton_ = std::make_unique<WindowButton>(update_);
  back->SetFocus();
}

}  // namespace tesselwick::ui

#include "ui/about_dialog.h"

#include <wx/button.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "core/text/messages.h"
#include "ui/geometry.h"
#include "ui/icon.h"

namespace tesselwick::ui {

AboutDialog::AboutDialog(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, _(texts::kAboutCaption), wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
  SetClientSize(ConvertDialogToPixels(wxSize(235, 55)));
  const wxRect iconPlace = DluRect(this, 11, 17, 20, 20);
  new wxStaticBitmap(this, wxID_ANY, wxBitmap(ProgramIcon(32)), iconPlace.GetPosition(),
                     wxSize(32, 32));
  const wxRect line1 = DluRect(this, 40, 10, 130, 10);
  new wxStaticText(this, wxID_ANY, _(texts::kAboutVersionLine), line1.GetPosition(),
                   line1.GetSize(), wxST_NO_AUTORESIZE);
  const wxRect line2 = DluRect(this, 40, 25, 135, 10);
  new wxStaticText(this, wxID_ANY, _(texts::kAboutSecondLine), line2.GetPosition(), line2.GetSize(),
                   wxST_NO_AUTORESIZE);
  const wxRect ok = DluRect(this, 178, 7, 50, 14);
  auto* okButton = new wxButton(this, wxID_OK, _("OK"), ok.GetPosition(), ok.GetSize());
  okButton->SetDefault();
  okButton->SetFocus();
  CentreOnParent();
}

}  // namespace tesselwick::ui

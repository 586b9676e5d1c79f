#include "ui/adapters.h"

#include <wx/dcclient.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>

#include <algorithm>

#include "ui/text_convert.h"

namespace tesselwick::ui {

// --- PAD-URL box ---

std::string ComboUrlBox::EditText() const {
  const wxString shown = combo_->GetValue();
  if (shown == ToWx(lastSet_)) return lastSet_;
  for (const std::string& entry : entries_)
    if (shown == ToWx(entry)) return entry;
  return FromWx(shown);
}

void ComboUrlBox::SetEditText(const std::string& text) {
  lastSet_ = text;
  combo_->ChangeValue(ToWx(text));
}

void ComboUrlBox::SetEntries(const std::vector<std::string>& entries) {
  // Replacing the list must not disturb what the edit field shows.
  const wxString shown = combo_->GetValue();
  entries_ = entries;
  wxArrayString items;
  items.reserve(entries.size());
  for (const std::string& entry : entries) items.Add(ToWx(entry));
  combo_->Set(items);
  if (combo_->GetValue() != shown) combo_->ChangeValue(shown);
}

void ComboUrlBox::InsertEntry(int index, const std::string& text) {
  // Inserting into the list must not disturb what the edit field shows.
  const wxString shown = combo_->GetValue();
  entries_.insert(entries_.begin() + index, text);
  combo_->Insert(ToWx(text), static_cast<unsigned int>(index));
  if (combo_->GetValue() != shown) combo_->ChangeValue(shown);
}

void ComboUrlBox::SelectEntry(int index) { combo_->SetSelection(index); }

// --- site list ---

SiteListView::SiteListView(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size)
    : wxListCtrl(parent, id, pos, size,
                 wxLC_REPORT | wxLC_VIRTUAL | wxLC_SINGLE_SEL | wxBORDER_SUNKEN) {}

void SiteListView::CreateColumns(const std::vector<std::string>& headings) {
  headings_ = headings;
  for (std::size_t i = 0; i < headings.size(); ++i)
    InsertColumn(static_cast<long>(i), ToWx(headings[i]), wxLIST_FORMAT_LEFT);
}

void SiteListView::ShowSites(const SiteCatalog& sites) {
  sites_ = &sites;
  SetItemCount(static_cast<long>(sites.Count()));
  Refresh();
}

namespace {

// A cell shows at most this many bytes of its text. Site lists come from
// outside; a value of megabytes would take the list minutes to measure and
// draw, and nobody reads past the first screenful anyway. The logic keeps
// the whole text.
constexpr std::size_t kMaxCellBytes = 1024;

const std::string& CellText(const SiteRecord& site, long column) {
  switch (column) {
    case 0:
      return site.Title;
    case 1:
      return site.Url;
    case 2:
      return site.SubmitUrl;
    default:
      return site.RequestTemplate;
  }
}

wxString ShownText(const std::string& text, std::size_t limit = kMaxCellBytes) {
  if (text.size() <= limit) return ToWx(text);
  // Cut before a UTF-8 continuation byte would split a character.
  std::size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return ToWx(text.substr(0, cut)) + wxString::FromUTF8("\xE2\x80\xA6");
}

}  // namespace

wxString SiteListView::OnGetItemText(long item, long column) const {
  if (item < 0 || static_cast<std::size_t>(item) >= Count()) return {};
  return ShownText(CellText(sites_->Row(static_cast<std::size_t>(item)), column));
}

void SiteListView::FitColumns() {
  // A virtual list cannot measure rows it has not drawn, so every column is
  // measured here: the widest of its cells and its heading, plus the margins
  // that the list draws around text.
  wxClientDC dc(this);
  dc.SetFont(GetFont());
  const int cellMargin = FromDIP(12);
  const int headingMargin = FromDIP(24);
  for (int column = 0; column < GetColumnCount(); ++column) {
    int widest = 0;
    if (static_cast<std::size_t>(column) < headings_.size())
      widest =
          dc.GetTextExtent(ToWx(headings_[static_cast<std::size_t>(column)])).x + headingMargin;
    for (std::size_t row = 0; row < Count(); ++row) {
      widest = std::max(
          widest, dc.GetTextExtent(ShownText(CellText(sites_->Row(row), column))).x + cellMargin);
    }
    SetColumnWidth(column, widest);
  }
  Refresh();
}

// --- text boxes, messages, browser ---

std::string TextBox::Text() const { return FromWx(text_->GetValue()); }

void TextBox::SetText(const std::string& text) {
  const wxString value = ToWx(text);
  if (text_->GetValue() != value) text_->ChangeValue(value);
}

namespace {

// A box shows the beginning of a very long text (a whole web page, say):
// GTK would take minutes to lay out megabytes, and the box would not fit on
// the screen anyway. Messages keep their CR LF line breaks in the logic; GTK
// breaks lines on LF alone and would show the CR.
wxString BoxText(std::string_view text) {
  constexpr std::size_t kMaxMessageBytes = 4096;
  wxString message = ShownText(std::string(text.substr(0, kMaxMessageBytes + 1)), kMaxMessageBytes);
  message.Replace("\r\n", "\n");
  return message;
}

}  // namespace

void WindowMessages::ShowMessage(std::string_view text, std::string_view caption) {
  wxMessageDialog box(owner_, BoxText(text), ToWx(std::string(caption)), wxOK | wxICON_NONE);
  box.ShowModal();
}

bool WindowMessages::Ask(std::string_view text, std::string_view caption, std::string_view yes,
                         std::string_view no) {
  wxMessageDialog box(owner_, BoxText(text), ToWx(std::string(caption)),
                      wxYES_NO | wxNO_DEFAULT | wxICON_WARNING);
  box.SetYesNoLabels(ToWx(std::string(yes)), ToWx(std::string(no)));
  return box.ShowModal() == wxID_YES;
}

void OpenInDefaultBrowser(const wxString& url) {
  // The browser's own failure is not the user's business here: no wx error
  // box, no waiting for the browser to start.
  wxLogNull quiet;
  wxLaunchDefaultBrowser(url);
}

wxString BrowserUrlFor(const std::string& target) {
  const wxString text = ToWx(target);
  if (text.StartsWith("http://") || text.StartsWith("https://")) return text;
  return wxFileName::FileNameToURL(wxFileName(wxFileName(text).GetAbsolutePath()));
}

void BrowserShell::Open(const std::string& target) { browser_(BrowserUrlFor(target)); }

}  // namespace tesselwick::ui

#include "ui/adapters.h"

#include <wx/app.h>
#include <wx/dcclient.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/utils.h>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

#include <algorithm>

#include "core/text/messages.h"
#include "core/text/translation.h"
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

namespace {

// A cell shows at most this many bytes of its text. Site lists come from
// outside; a value of megabytes would take the list minutes to measure and
// draw, and nobody reads past the first screenful anyway. The logic keeps
// the whole text.
constexpr std::size_t kMaxCellBytes = 1024;

// Up to this many sites every cell is measured to fit the columns; a longer
// list is fitted to the texts of each column that have the most bytes, so
// that a list of any length shows at once. A text left out that is still
// wider ends in an ellipsis and shows whole in its tooltip.
constexpr std::size_t kMeasureAllRows = 2000;
constexpr std::size_t kMeasuredLongest = 500;

const std::string& CellText(const SiteRecord& site, unsigned column) {
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

// The rows of the list, read from the sites when GTK asks for them.
class SiteListView::Model : public wxDataViewVirtualListModel {
 public:
  const SiteCatalog* sites = nullptr;

  std::size_t Count() const { return sites == nullptr ? 0 : sites->Count(); }
  const std::string& Cell(unsigned row, unsigned column) const {
    return CellText(sites->Row(row), column);
  }

  unsigned int GetColumnCount() const override { return 4; }
  wxString GetColumnType(unsigned int) const override { return "string"; }
  void GetValueByRow(wxVariant& value, unsigned int row, unsigned int column) const override {
    // A row that a reload has just taken away draws empty until the list
    // hears of it.
    value = row < Count() ? ShownText(Cell(row, column)) : wxString();
  }
  bool SetValueByRow(const wxVariant&, unsigned int, unsigned int) override { return false; }
};

SiteListView::SiteListView(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size)
    : wxPanel(parent, wxID_ANY, pos, size, wxTAB_TRAVERSAL | wxBORDER_NONE), model_(new Model) {
  table_ = new wxDataViewCtrl(this, id, wxDefaultPosition, wxDefaultSize,
                              wxDV_SINGLE | wxDV_HORIZ_RULES | wxBORDER_THEME);
  table_->AssociateModel(model_.get());
  table_->SetName(ToWx(Tr(texts::kSiteListName)));
  // While there is no site, a box of the list's colours says how to get
  // some, in the list's place.
  emptyBox_ = new wxPanel(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxBORDER_THEME);
  emptyBox_->SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_LISTBOX));
  empty_ = new wxStaticText(emptyBox_, wxID_ANY, ToWx(Tr(texts::kNoSitesYet)), wxDefaultPosition,
                            wxDefaultSize, wxALIGN_CENTRE_HORIZONTAL);
  empty_->SetForegroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_LISTBOXTEXT));
  auto* emptySizer = new wxBoxSizer(wxVERTICAL);
  emptySizer->AddStretchSpacer();
  emptySizer->Add(empty_, 0, wxALIGN_CENTRE_HORIZONTAL | wxALL, FromDIP(8));
  emptySizer->AddStretchSpacer();
  emptyBox_->SetSizer(emptySizer);
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(table_, 1, wxEXPAND);
  sizer->Add(emptyBox_, 1, wxEXPAND);
  SetSizer(sizer);
  table_->Hide();
  emptyBox_->Hide();
  ShowEmptyText(true);

  // The cap follows the list's width as the window grows and shrinks.
  table_->Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
    event.Skip();
    ApplyColumnWidths();
  });
  table_->GetMainWindow()->Bind(wxEVT_MOTION, [this](wxMouseEvent& event) {
    event.Skip();
    wxPoint at =
        table_->ScreenToClient(table_->GetMainWindow()->ClientToScreen(event.GetPosition()));
#ifdef __WXGTK__
    // GTK tells where the pointer is over the rows' own window, below the
    // headings; HitTest wants the list's coordinates.
    GtkWidget* tree = gtk_bin_get_child(GTK_BIN(table_->GetHandle()));
    if (tree != nullptr && GTK_IS_TREE_VIEW(tree)) {
      gint x = 0;
      gint y = 0;
      gtk_tree_view_convert_bin_window_to_widget_coords(GTK_TREE_VIEW(tree), event.GetX(),
                                                        event.GetY(), &x, &y);
      at = wxPoint(x, y);
    }
#endif
    const wxString tip = ToolTipAt(at);
    if (tip != table_->GetMainWindow()->GetToolTipText()) {
      if (tip.empty())
        table_->GetMainWindow()->UnsetToolTip();
      else
        table_->GetMainWindow()->SetToolTip(tip);
    }
  });
}

void SiteListView::CreateColumns(const std::vector<std::string>& headings) {
  headings_ = headings;
  for (std::size_t i = 0; i < headings.size(); ++i) {
    auto* renderer = new wxDataViewTextRenderer("string", wxDATAVIEW_CELL_INERT);
    renderer->EnableEllipsize(wxELLIPSIZE_END);
    auto* column =
        new wxDataViewColumn(ToWx(Tr(headings[i].c_str())), renderer, static_cast<unsigned>(i),
                             FromDIP(80), wxALIGN_LEFT, wxDATAVIEW_COL_RESIZABLE);
    table_->AppendColumn(column);
  }
  fitted_.assign(headings.size(), FromDIP(80));
}

void SiteListView::ShowSites(const SiteCatalog& sites) {
  model_->sites = &sites;
  model_->Reset(static_cast<unsigned>(sites.Count()));
  ShowEmptyText(sites.Count() == 0);
}

void SiteListView::ShowEmptyText(bool show) {
  if (emptyBox_->IsShown() == show && table_->IsShown() != show) return;
  emptyBox_->Show(show);
  table_->Show(!show);
  Layout();
  if (!show) ApplyColumnWidths();
}

void SiteListView::FitColumns() {
  // The widest of each column's cells and its heading, plus the margins that
  // the list draws around text.
  wxClientDC dc(table_);
  dc.SetFont(table_->GetFont());
  const int cellMargin = FromDIP(12);
  const int headingMargin = FromDIP(24);
  const std::size_t count = model_->Count();
  std::vector<unsigned> rows(count);
  for (std::size_t row = 0; row < count; ++row) rows[row] = static_cast<unsigned>(row);
  for (unsigned column = 0; column < fitted_.size(); ++column) {
    int widest = column < headings_.size()
                     ? dc.GetTextExtent(ToWx(Tr(headings_[column].c_str()))).x + headingMargin
                     : 0;
    std::size_t measured = count;
    if (count > kMeasureAllRows) {
      measured = kMeasuredLongest;
      std::nth_element(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(measured),
                       rows.end(), [this, column](unsigned a, unsigned b) {
                         return model_->Cell(a, column).size() > model_->Cell(b, column).size();
                       });
    }
    for (std::size_t i = 0; i < measured; ++i)
      widest = std::max(widest,
                        dc.GetTextExtent(ShownText(model_->Cell(rows[i], column))).x + cellMargin);
    fitted_[column] = widest;
  }
  ApplyColumnWidths();
}

void SiteListView::DoSetSize(int x, int y, int width, int height, int sizeFlags) {
  wxPanel::DoSetSize(x, y, width, height, sizeFlags);
  if (table_ == nullptr) return;
  // The text in the empty list's place breaks into lines where it is wider.
  empty_->SetLabel(ToWx(Tr(texts::kNoSitesYet)));
  empty_->Wrap(std::max(FromDIP(100), GetClientSize().x - FromDIP(24)));
  Layout();
  ApplyColumnWidths();
}

void SiteListView::ApplyColumnWidths() {
  // The list's own size is known at once; its client size only once GTK
  // has laid it out.
  const int cap = std::max(FromDIP(40), table_->GetSize().x / 2);
  for (unsigned column = 0; column < fitted_.size() && column < table_->GetColumnCount(); ++column)
    table_->GetColumn(column)->SetWidth(std::min(fitted_[column], cap));
}

int SiteListView::GetItemCount() const { return static_cast<int>(model_->Count()); }

wxString SiteListView::GetItemText(long row, int column) const {
  if (row < 0 || static_cast<std::size_t>(row) >= model_->Count() || column < 0) return {};
  wxVariant value;
  model_->GetValueByRow(value, static_cast<unsigned>(row), static_cast<unsigned>(column));
  return value.GetString();
}

int SiteListView::GetColumnCount() const { return static_cast<int>(table_->GetColumnCount()); }

int SiteListView::GetColumnWidth(int column) const {
  return table_->GetColumn(static_cast<unsigned>(column))->GetWidth();
}

wxRect SiteListView::CellRect(int row, int column) const {
  return table_->GetItemRect(model_->GetItem(static_cast<unsigned>(row)),
                             table_->GetColumn(static_cast<unsigned>(column)));
}

wxString SiteListView::ToolTipAt(const wxPoint& point) const {
  wxDataViewItem item;
  wxDataViewColumn* column = nullptr;
  table_->HitTest(point, item, column);
  if (!item.IsOk() || column == nullptr) return {};
  const unsigned row = model_->GetRow(item);
  if (row >= model_->Count()) return {};
  const wxString text = ShownText(model_->Cell(row, column->GetModelColumn()));
  wxClientDC dc(table_);
  dc.SetFont(table_->GetFont());
  if (dc.GetTextExtent(text).x + FromDIP(12) <= column->GetWidth()) return {};
  return text;
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

// Message boxes get the program's texts in English and show them in the
// user's language: a text of texts.h is looked up whole; a text composed of
// several (with a file name, say) was looked up piece by piece by whoever
// composed it and comes through unchanged.
// The catalogue has texts with LF line breaks alone (its tools refuse CR);
// the program's messages break lines with CR LF.
const char* Looked(std::string_view text) {
  std::string key(text);
  for (std::size_t at = key.find("\r\n"); at != std::string::npos; at = key.find("\r\n", at))
    key.erase(at, 1);
  const char* found = Tr(key.c_str());
  if (found == key.c_str()) return nullptr;
  return found;
}

wxString Shown(std::string_view text) {
  const char* found = Looked(text);
  return found != nullptr ? ToWx(found) : ToWx(std::string(text));
}

std::string MessageText(std::string_view text) {
  const char* found = Looked(text);
  return found != nullptr ? std::string(found) : std::string(text);
}

// A message box as wide as its caption needs: GTK sizes it to its text alone,
// and a short text ("12029") left the caption cut to "Error L...".
class WideMessageDialog : public wxMessageDialog {
 public:
  using wxMessageDialog::wxMessageDialog;

  int ShowModal() override {
#ifdef __WXGTK__
    // GTK builds the box inside ShowModal and runs its own loop there; a
    // GLib timer widens it once it shows. The box is looked for by its
    // caption, so nothing is touched when it has gone (or never came, as
    // under the tests' dialog hooks); the timer gives up after a second.
    // One box is looked for at a time: a newer box ends an older search.
    Search& search = CurrentSearch();
    search.caption = GetCaption().utf8_string();
    search.tries = 0;
    ++search.generation;
    g_timeout_add(
        20,
        [](gpointer generation) -> gboolean {
          Search& current = CurrentSearch();
          if (GPOINTER_TO_INT(generation) != current.generation) return G_SOURCE_REMOVE;
          if (WidenForCaption(current.caption) || ++current.tries > 50) {
            ++current.generation;
            return G_SOURCE_REMOVE;
          }
          return G_SOURCE_CONTINUE;
        },
        GINT_TO_POINTER(search.generation));
#endif
    return wxMessageDialog::ShowModal();
  }

 private:
#ifdef __WXGTK__
  struct Search {
    std::string caption;
    int tries = 0;
    int generation = 0;
  };
  static Search& CurrentSearch() {
    static Search search;
    return search;
  }

  // Widens the shown message box of this caption; false while there is none.
  static bool WidenForCaption(const std::string& caption) {
    bool found = false;
    GList* windows = gtk_window_list_toplevels();
    for (GList* at = windows; at != nullptr; at = at->next) {
      auto* window = static_cast<GtkWidget*>(at->data);
      if (!GTK_IS_MESSAGE_DIALOG(window) || !gtk_widget_get_visible(window)) continue;
      const gchar* title = gtk_window_get_title(GTK_WINDOW(window));
      if (title == nullptr || caption != title) continue;
      found = true;
      PangoLayout* layout = gtk_widget_create_pango_layout(window, title);
      int textWidth = 0;
      pango_layout_get_pixel_size(layout, &textWidth, nullptr);
      g_object_unref(layout);
      // The title bar's font is larger and bold, and its buttons take room.
      const int needed = textWidth * 5 / 4 + 120;
      // A message box cannot be resized, but it takes the width it asks for.
      int width = 0;
      gtk_widget_get_size_request(window, &width, nullptr);
      if (width < needed) gtk_widget_set_size_request(window, needed, -1);
    }
    g_list_free(windows);
    return found;
  }
#endif
};

}  // namespace

void WindowMessages::ShowMessage(std::string_view text, std::string_view caption) {
  WideMessageDialog box(owner_, BoxText(MessageText(text)), Shown(caption), wxOK | wxICON_NONE);
  box.ShowModal();
}

bool WindowMessages::Ask(std::string_view text, std::string_view caption, std::string_view yes,
                         std::string_view no) {
  WideMessageDialog box(owner_, BoxText(MessageText(text)), Shown(caption),
                        wxYES_NO | wxNO_DEFAULT | wxICON_WARNING);
  box.SetYesNoLabels(Shown(yes), Shown(no));
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

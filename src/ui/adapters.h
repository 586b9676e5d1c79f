#pragma once

#include <wx/combobox.h>
#include <wx/dataview.h>
#include <wx/panel.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <functional>
#include <utility>
#include <vector>

#include "core/app/controls.h"

namespace tesselwick::ui {

// The PAD-URL box: an unsorted wxComboBox whose order the logic keeps.
// A text that came from the logic is handed back with its own bytes, also
// when they are not UTF-8 and the box shows them converted.
class ComboUrlBox : public UrlBoxControl {
 public:
  explicit ComboUrlBox(wxComboBox* combo) : combo_(combo) {}
  std::string EditText() const override;
  void SetEditText(const std::string& text) override;
  void InsertEntry(int index, const std::string& text) override;
  void SetEntries(const std::vector<std::string>& entries) override;
  void SelectEntry(int index) override;

 private:
  wxComboBox* combo_;
  // The entries' bytes in list order, and the last edit text set.
  std::vector<std::string> entries_;
  std::string lastSet_;
};

// The site list: GTK's own list (a data view) over a virtual model that reads
// its rows from the site list's sites when it draws them, so that a list of
// hundreds of thousands of sites shows at once and screen readers see a table
// of rows and cells. No column grows past half the list's width: a longer
// cell ends in an ellipsis and shows whole in its tooltip. An empty list says
// how to get sites in place of an empty white box.
class SiteListView : public wxPanel, public SiteTableControl {
 public:
  SiteListView(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size);

  void CreateColumns(const std::vector<std::string>& headings) override;
  void ShowSites(const SiteCatalog& sites) override;
  void FitColumns() override;

  // What the list shows, as a report-view list would answer it.
  int GetItemCount() const;
  wxString GetItemText(long row, int column = 0) const;
  int GetColumnCount() const;
  int GetColumnWidth(int column) const;
  // The list itself, and the box with a text shown in its place while it is
  // empty.
  wxDataViewCtrl* Table() const { return table_; }
  wxPanel* EmptyBox() const { return emptyBox_; }
  wxStaticText* EmptyText() const { return empty_; }
  // Where a cell is drawn, in the list's coordinates.
  wxRect CellRect(int row, int column) const;
  // The whole text of the cell at `point` (in the list's coordinates), when
  // the cell shows only its beginning; empty otherwise.
  wxString ToolTipAt(const wxPoint& point) const;

 private:
  class Model;
  // Lays the list out at once when the window places it, and caps the
  // columns to its new width (GTK sends its size event only later).
  void DoSetSize(int x, int y, int width, int height, int sizeFlags) override;
  // Gives every column its fitted width, but at most half the list's width.
  void ApplyColumnWidths();
  void ShowEmptyText(bool show);

  wxDataViewCtrl* table_ = nullptr;
  wxPanel* emptyBox_ = nullptr;
  wxStaticText* empty_ = nullptr;
  wxObjectDataPtr<Model> model_;
  std::vector<std::string> headings_;
  // Each column's width fitted to its contents, before the cap.
  std::vector<int> fitted_;
};

class TextBox : public TextControl {
 public:
  explicit TextBox(wxTextCtrl* text) : text_(text) {}
  std::string Text() const override;
  void SetText(const std::string& text) override;

 private:
  wxTextCtrl* text_;
};

// Message boxes owned by a window: OK only, no icon; a question is a
// warning box with two buttons of its own words.
class WindowMessages : public MessageSink {
 public:
  explicit WindowMessages(wxWindow* owner) : owner_(owner) {}
  void ShowMessage(std::string_view text, std::string_view caption) override;
  bool Ask(std::string_view text, std::string_view caption, std::string_view yes,
           std::string_view no) override;

 private:
  wxWindow* owner_;
};

// What takes a page's URL to a browser. Tests give their own, to see what
// would have been opened.
using BrowserFunction = std::function<void(const wxString& url)>;
// Opens `url` in the default browser; the browser's own failure is not shown.
void OpenInDefaultBrowser(const wxString& url);

// Hands a page or file to a window's browser function.
class BrowserShell : public ShellOpener {
 public:
  explicit BrowserShell(BrowserFunction browser) : browser_(std::move(browser)) {}
  void Open(const std::string& target) override;

 private:
  BrowserFunction browser_;
};

// A local file (relative names are taken from the current folder) becomes a
// file:// URL; an http(s) address is passed on as it is.
wxString BrowserUrlFor(const std::string& target);

}  // namespace tesselwick::ui

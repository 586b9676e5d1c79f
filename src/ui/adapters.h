#pragma once

#include <wx/combobox.h>
#include <wx/listctrl.h>
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

// The site list: a virtual report-view list that reads its rows from the
// site list's sites when it draws them, so that thousands of sites load and
// scroll without delay.
class SiteListView : public wxListCtrl, public SiteTableControl {
 public:
  SiteListView(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size);

  void CreateColumns(const std::vector<std::string>& headings) override;
  void ShowSites(const SiteCatalog& sites) override;
  void FitColumns() override;

 private:
  wxString OnGetItemText(long item, long column) const override;
  std::size_t Count() const { return sites_ == nullptr ? 0 : sites_->Count(); }

  const SiteCatalog* sites_ = nullptr;
  std::vector<std::string> headings_;
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

#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/sites/site_catalog.h"
#include "core/sites/site_record.h"

namespace tesselwick {

// The small interfaces through which the logic drives its window's controls.
// The wx layer implements them; the tests fake them.

// The PAD-URL box: an editable drop-down whose list order the logic keeps.
class UrlBoxControl {
 public:
  virtual ~UrlBoxControl() = default;
  virtual std::string EditText() const = 0;
  virtual void SetEditText(const std::string& text) = 0;
  virtual void InsertEntry(int index, const std::string& text) = 0;
  // Replaces the whole list.
  virtual void SetEntries(const std::vector<std::string>& entries) = 0;
  virtual void SelectEntry(int index) = 0;
};

// The four-column site table.
class SiteTableControl {
 public:
  virtual ~SiteTableControl() = default;
  virtual void CreateColumns(const std::vector<std::string>& headings) = 0;
  // Shows the sites of `sites`, row 0 at the top. The table reads them from
  // there when it draws, until the next call; it keeps no sites of its own.
  virtual void ShowSites(const SiteCatalog& sites) = 0;
  // Fits every column to the larger of its contents and its heading.
  virtual void FitColumns() = 0;
};

// A read-only or editable single-line text box.
class TextControl {
 public:
  virtual ~TextControl() = default;
  virtual std::string Text() const = 0;
  virtual void SetText(const std::string& text) = 0;
};

// Message boxes owned by the window: OK only, no icon; and a question with
// two buttons of its own words.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void ShowMessage(std::string_view text, std::string_view caption) = 0;
  // A warning box with the buttons `yes` and `no`; true when the user chose
  // `yes`, false for `no` or when the box was closed.
  virtual bool Ask(std::string_view text, std::string_view caption, std::string_view yes,
                   std::string_view no) = 0;
};

// Hands a page or file to the desktop's default browser; never blocks, never
// reports.
class ShellOpener {
 public:
  virtual ~ShellOpener() = default;
  virtual void Open(const std::string& target) = 0;
};

}  // namespace tesselwick

#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/app/controls.h"

namespace tesselwick::cli {

// The windows' controls without a window: the command-line tool drives the
// same logic as the windows through these, so it submits, judges, reports and
// remembers exactly as the Submit and Update buttons do.

// The PAD-URL box: an edit text and the list of remembered URLs.
class MemoryUrlBox : public UrlBoxControl {
 public:
  std::string EditText() const override { return edit_; }
  void SetEditText(const std::string& text) override { edit_ = text; }
  void InsertEntry(int index, const std::string& text) override {
    entries_.insert(entries_.begin() + index, text);
  }
  void SetEntries(const std::vector<std::string>& all) override { entries_ = all; }
  void SelectEntry(int index) override { edit_ = entries_.at(static_cast<std::size_t>(index)); }

 private:
  std::string edit_;
  std::vector<std::string> entries_;
};

// The site list: the tool prints no table.
class MemorySiteTable : public SiteTableControl {
 public:
  void CreateColumns(const std::vector<std::string>&) override {}
  void ShowSites(const SiteCatalog&) override {}
  void FitColumns() override {}
};

class MemoryText : public TextControl {
 public:
  std::string Text() const override { return text_; }
  void SetText(const std::string& text) override { text_ = text; }

 private:
  std::string text_;
};


}  // namespace tesselwick::cli

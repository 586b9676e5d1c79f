#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/app/controls.h"
#include "core/app/main_dialog.h"

namespace tesselwick::test {

// Stand-ins for the main window's controls, recording what the logic did.
class FakeUrlBox : public UrlBoxControl {
 public:
  std::string EditText() const override { return edit; }
  void SetEditText(const std::string& text) override { edit = text; }
  void InsertEntry(int index, const std::string& text) override {
    entries.insert(entries.begin() + index, text);
  }
  void SetEntries(const std::vector<std::string>& all) override { entries = all; }
  void SelectEntry(int index) override { edit = entries.at(static_cast<std::size_t>(index)); }

  std::string edit;
  std::vector<std::string> entries;
};

class FakeSiteTable : public SiteTableControl {
 public:
  void CreateColumns(const std::vector<std::string>& names) override { headings = names; }
  void ShowSites(const SiteCatalog& sites) override { shown = &sites; }
  void FitColumns() override { ++fits; }

  // What the table shows.
  int RowCount() const { return shown == nullptr ? 0 : static_cast<int>(shown->Count()); }
  const SiteRecord& Row(int index) const { return shown->Row(static_cast<std::size_t>(index)); }

  std::vector<std::string> headings;
  const SiteCatalog* shown = nullptr;
  int fits = 0;
};

class FakeText : public TextControl {
 public:
  std::string Text() const override { return text; }
  void SetText(const std::string& value) override { text = value; }
  std::string text;
};

class FakeMessages : public MessageSink {
 public:
  void ShowMessage(std::string_view text, std::string_view caption) override {
    shown.emplace_back(std::string(text), std::string(caption));
  }
  // Records the question's text and caption and gives `answer`.
  bool Ask(std::string_view text, std::string_view caption, std::string_view,
           std::string_view) override {
    asked.emplace_back(std::string(text), std::string(caption));
    return answer;
  }
  std::vector<std::pair<std::string, std::string>> shown;
  std::vector<std::pair<std::string, std::string>> asked;
  bool answer = true;
};

class FakeShell : public ShellOpener {
 public:
  void Open(const std::string& target) override { opened.push_back(target); }
  std::vector<std::string> opened;
};

// A MainDialog wired to fakes, working in the given folder.
struct FakeMainWindow {
  explicit FakeMainWindow(const std::filesystem::path& folder)
      : dialog(MainDialogControls{urlBox, siteList, siteCount, messages, shell}, folder) {}

  FakeUrlBox urlBox;
  FakeSiteTable siteList;
  FakeText siteCount;
  FakeMessages messages;
  FakeShell shell;
  MainDialog dialog;
};

}  // namespace tesselwick::test

#pragma once

#include <string>
#include <vector>

#include "gui/gui_testing.h"
#include "support/temp_folder.h"
#include "ui/adapters.h"
#include "ui/main_window.h"

namespace tesselwick::ui {

// A main window over a temporary working folder; pages for the browser are
// recorded instead of opened.
class MainWindowFixture : public ::testing::Test {
 protected:
  ~MainWindowFixture() override {
    if (window) window->Destroy();
  }
  // The browser of the fixture's windows: it records what it is given.
  BrowserFunction Browser() {
    return [this](const wxString& url) { opened.push_back(url.ToStdString()); };
  }
  MainWindow& Open() {
    window = new MainWindow(folder.Path(), Browser());
    window->Show();
    return *window;
  }
  // Clicks a button of the main window, as the user would.
  void Click(int id) {
    wxCommandEvent click(wxEVT_BUTTON, id);
    click.SetEventObject(window->FindWindow(id));
    window->ProcessWindowEvent(click);
  }

  test::TempFolder folder;
  MainWindow* window = nullptr;
  std::vector<std::string> opened;
};

}  // namespace tesselwick::ui

#pragma once

#include <wx/button.h>
#include <wx/combobox.h>
#include <wx/dialog.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <vector>

#include "core/app/main_dialog.h"
#include "ui/adapters.h"
#include "ui/progress_window.h"

namespace tesselwick::ui {

// The main window: the PAD-URL box, the site list, the site count and the
// Submit, Update, Help and Quit buttons. Its state and commands are the
// logic's MainDialog; this class only builds the controls and routes events.
class MainWindow : public wxDialog {
 public:
  // Files are kept in `folder`; pages and the report go to `browser`. The
  // window's size is remembered in `sizeFile` (nothing is remembered when it
  // is empty).
  explicit MainWindow(const std::filesystem::path& folder = ".",
                      BrowserFunction browser = OpenInDefaultBrowser,
                      std::filesystem::path sizeFile = {});

  // Runs the window modally, then saves the history while the controls exist.
  int RunModal();

  // Once `signal` is set (to the number of a signal that asked the program
  // to end), the window closes down as Quit does: a run under way is
  // stopped and its report written, every window in front of this one is
  // closed as its close box would close it, and then this one, so that
  // RunModal saves the history. A timer looks at the flag, since a signal
  // handler may only set it.
  void CloseDownWhenSet(const std::atomic<int>& signal);

  MainDialog& Logic() { return *logic_; }
  // The progress window of the submission run under way, or nullptr.
  ProgressWindow* Progress() const { return runProgress_.Active(); }
  wxComboBox* PadUrlBox() const { return padUrl_; }
  SiteListView* SiteList() const { return siteList_; }
  wxTextCtrl* SiteCountBox() const { return siteCount_; }

 private:
  void BuildControls();
  void BindEvents();
  void ShowAbout();
  void Quit();
  // What CloseDownWhenSet's timer does once the flag is set.
  void CloseDownAsAsked();
  // Keeps the list growing with the window and the buttons at its right edge.
  void PlaceControls();
  // Gives screen readers the names of the boxes and the list.
  void NameControls(wxWindow* urlLabel, wxWindow* countLabel);

  // Every control's place at the template's size; the window grows from there.
  struct Placed {
    wxWindow* control;
    wxRect place;
    // Follows the right edge; grows with the width; grows with the height.
    bool right;
    bool wide;
    bool tall;
  };
  std::vector<Placed> placed_;
  wxSize templateSize_;

  wxComboBox* padUrl_ = nullptr;
  SiteListView* siteList_ = nullptr;
  wxTextCtrl* siteCount_ = nullptr;
  std::unique_ptr<ComboUrlBox> urlBox_;
  std::unique_ptr<TextBox> countBox_;
  WindowMessages messages_{this};
  BrowserShell shell_;
  WindowRunProgress runProgress_{this};
  std::unique_ptr<MainDialog> logic_;
  // The working folder: pad.dat, the history and the report live here.
  std::filesystem::path folder_;
  // Where the window's size is remembered; empty for nowhere.
  std::filesystem::path sizeFile_;
  // The flag of CloseDownWhenSet, and the timer that looks at it.
  const std::atomic<int>* closeDownSignal_ = nullptr;
  wxTimer closeDownTimer_{this};
  // How many commands are under way (Submit, Update, the context menu): the
  // window only ends its modal run when none is, as each may run a loop of
  // its own.
  int commandsUnderWay_ = 0;
};

}  // namespace tesselwick::ui

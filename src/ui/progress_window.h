#pragma once

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/gauge.h>
#include <wx/listbox.h>
#include <wx/stattext.h>
#include <wx/timer.h>

#include <cstddef>
#include <vector>

#include "core/app/controls.h"
#include "core/net/site_requests.h"
#include "core/sites/site_record.h"

namespace tesselwick::ui {

// The window shown while a submission run requests its sites: how many sites
// are done of how many, the sites being waited for, the Pass and Fail counts
// so far, and a Stop button. It is modal over the main window, so the main
// window takes no input while the run works but keeps repainting. A timer
// takes the answers as they arrive; the window closes itself when the run is
// done, also after Stop once the requests under way have been abandoned.
class ProgressWindow : public wxDialog {
 public:
  // What the window waits for: the sites of a run, or the PAD file before them.
  enum class Waiting { Sites, PadFile };

  ProgressWindow(wxWindow* parent, SiteRequests& requests, const std::vector<SiteRecord>& sites,
                 Waiting waiting = Waiting::Sites);
  ~ProgressWindow() override;

  wxStaticText* DoneText() const { return done_; }
  wxListBox* WaitingList() const { return waiting_; }
  wxStaticText* TallyText() const { return tally_; }
  wxButton* StopButton() const { return stop_; }
  wxGauge* Gauge() const { return gauge_; }
  int PassCount() const { return passes_; }
  int FailCount() const { return fails_; }

  // The window of the run under way, or nullptr; for tests.
  static ProgressWindow* Current();

 private:
  void BuildControls();
  // Takes the answers that arrived, shows the new state, and ends the dialog
  // once the run is done.
  void TakeAnswers();
  void Stop();

  SiteRequests& requests_;
  const std::vector<SiteRecord>& sites_;
  const Waiting waitingFor_;
  wxTimer timer_;
  int passes_ = 0;
  int fails_ = 0;
  bool ended_ = false;
  std::vector<std::size_t> shownWaiting_;

  wxStaticText* done_ = nullptr;
  wxGauge* gauge_ = nullptr;
  wxListBox* waiting_ = nullptr;
  wxStaticText* tally_ = nullptr;
  wxButton* stop_ = nullptr;
};

// How the main window waits for a submission run: the progress window over
// `owner` while the sites are requested.
class WindowRunProgress : public RunProgress {
 public:
  explicit WindowRunProgress(wxWindow* owner) : owner_(owner) {}
  // Most PAD files arrive at once; a slow one is waited for in the progress
  // window, whose Stop gives up on it.
  void WaitForPadFile(SiteRequests& requests, const std::string& padUrl) override;
  void WaitForSites(SiteRequests& requests, const std::vector<SiteRecord>& sites) override;

 private:
  wxWindow* owner_;
};

}  // namespace tesselwick::ui

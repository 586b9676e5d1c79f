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

// The window shown while a submission run works: while the PAD file is
// fetched, a moving bar; while the sites are requested, how many sites are
// done of how many, the sites being waited for, the Pass and Fail counts so
// far, and a Stop button. It is modal over the main window, so the main
// window takes no input while the run works but keeps repainting. A timer
// steps the run, which tells the window what happened; the window closes
// itself when the run is done, also after Stop.
class ProgressWindow : public wxDialog, public SubmissionObserver {
 public:
  // Follows the sites' requests.
  ProgressWindow(wxWindow* parent, SiteRun& run);
  // Waits for the PAD file.
  ProgressWindow(wxWindow* parent, BackgroundFetch& padFile);
  ~ProgressWindow() override;

  wxStaticText* DoneText() const { return done_; }
  wxListBox* WaitingList() const { return waiting_; }
  wxStaticText* TallyText() const { return tally_; }
  wxButton* StopButton() const { return stop_; }
  wxGauge* Gauge() const { return gauge_; }
  int PassCount() const { return passes_; }
  int FailCount() const { return fails_; }

  // What the run tells.
  void SiteFinished(std::size_t index, const FetchResult& answer,
                    const Judgement& judgement) override;
  void Awaiting(const std::vector<std::size_t>& indices) override;
  bool StopRequested() override { return stopRequested_; }

 private:
  ProgressWindow(wxWindow* parent, SiteRun* run, BackgroundFetch* padFile);
  void BuildControls();
  // Steps the run (or looks at the PAD file), shows the new state, and ends
  // the dialog once it is done.
  void Tick();
  void Stop();

  SiteRun* run_;
  BackgroundFetch* padFile_;
  wxTimer timer_;
  int passes_ = 0;
  int fails_ = 0;
  bool stopRequested_ = false;
  bool ended_ = false;
  std::vector<std::size_t> shownWaiting_;

  wxStaticText* done_ = nullptr;
  wxGauge* gauge_ = nullptr;
  wxListBox* waiting_ = nullptr;
  wxStaticText* tally_ = nullptr;
  wxButton* stop_ = nullptr;
};

// How the main window waits for a submission run: the progress window over
// `owner`.
class WindowRunProgress : public RunProgress {
 public:
  explicit WindowRunProgress(wxWindow* owner) : owner_(owner) {}
  // Most PAD files arrive at once; a slow one is waited for in the progress
  // window, whose Stop gives up on it.
  void Wait(BackgroundFetch& padFile) override;
  void FollowSites(SiteRun& run) override;
  // The progress window while a run works, or nullptr.
  ProgressWindow* Active() const { return active_; }

 private:
  // Shows `window` modally and keeps it as the active one meanwhile.
  void ShowModal(ProgressWindow& window);

  wxWindow* owner_;
  ProgressWindow* active_ = nullptr;
};

}  // namespace tesselwick::ui

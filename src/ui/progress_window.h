#pragma once

#include <wx/button.h>
#include <wx/dataview.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/gauge.h>
#include <wx/listbox.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/timer.h>

#include <cstddef>
#include <memory>
#include <vector>

#include "core/submit/run_progress.h"
#include "core/submit/run_results.h"
#include "core/submit/site_run.h"

namespace tesselwick::ui {

class ResultsModel;

// The window shown while a submission run works, which then becomes its
// results. While the PAD file is fetched, a moving bar; while the sites are
// requested, how many sites are done of how many, the sites being waited for,
// the Pass and Fail counts so far, and a Stop button. Once the report is
// written, the run's results: "N passed, M failed", a list of every site
// with its status, reason and time (the failed ones first, sortable by any
// column), and Retry Failed, Open Report and Close.
//
// It is modal over the main window, so the main window takes no input while
// the run works but keeps repainting. A timer steps the run at a steady rate,
// taking whatever answers arrived since the last step; what it does per step
// depends on the answers and the sites awaited, never on the number of sites.
// The window ends its modal run when the sites are done, also after Stop, and
// is shown again with the results.
class ProgressWindow : public wxDialog, public SubmissionObserver {
 public:
  // Follows the sites' requests.
  ProgressWindow(wxWindow* parent, SiteRun& run);
  // Waits for the PAD file.
  ProgressWindow(wxWindow* parent, BackgroundFetch& padFile);
  // Follows nothing: for the results of a run that had no site to ask (every
  // site skipped), shown with ShowResults.
  explicit ProgressWindow(wxWindow* parent);
  ~ProgressWindow() override;

  // Shows `results` in place of the progress; the buttons call `actions`.
  void ShowResults(const RunResults& results, RunResultsActions& actions);
  // Follows a run that asks the failed sites again, while the results show,
  // until it is done; then shows the changed results.
  void FollowAgain(SiteRun& run);
  bool ShowingResults() const { return results_ != nullptr; }

  wxStaticText* DoneText() const { return done_; }
  wxListBox* WaitingList() const { return waiting_; }
  wxStaticText* TallyText() const { return tally_; }
  wxButton* StopButton() const { return stop_; }
  wxGauge* Gauge() const { return gauge_; }
  std::size_t PassCount() const { return passes_; }
  std::size_t FailCount() const { return fails_; }

  wxStaticText* SummaryText() const { return summary_; }
  wxDataViewCtrl* ResultsList() const { return list_; }
  wxButton* RetryButton() const { return retry_; }
  wxButton* OpenReportButton() const { return openReport_; }
  wxButton* CloseButton() const { return close_; }
  // The text of a cell of the results: row is the site's list index, column
  // 0 to 3 (Status, Site, Reason, Time).
  wxString CellText(std::size_t row, unsigned column) const;

  // What the run tells.
  void SiteFinished(std::size_t index, const FetchResult& answer,
                    const Judgement& judgement) override;
  void Awaiting(const std::vector<std::size_t>& indices) override;
  bool StopRequested() override { return stopRequested_; }

 private:
  ProgressWindow(wxWindow* parent, SiteRun* run, BackgroundFetch* padFile);
  void BuildControls();
  wxSizer* BuildResults();
  // Steps the run (or looks at the PAD file), shows the new state, and ends
  // the dialog (or the retry) once it is done.
  void Tick();
  void Stop();
  void Retry();
  // Shows the results' counts and rows anew, and which buttons apply.
  void RefreshResults();
  void SetLabelIfChanged(wxStaticText* text, const wxString& label);

  SiteRun* run_;
  BackgroundFetch* padFile_;
  wxTimer timer_;
  std::size_t passes_ = 0;
  std::size_t fails_ = 0;
  bool stopRequested_ = false;
  bool ended_ = false;
  std::vector<std::size_t> shownWaiting_;

  const RunResults* results_ = nullptr;
  RunResultsActions* actions_ = nullptr;
  // The model the results list reads; owned by the list.
  ResultsModel* model_ = nullptr;
  // Set while the failed sites are asked again.
  std::unique_ptr<wxGUIEventLoop> retryLoop_;

  wxBoxSizer* column_ = nullptr;
  wxSizer* progressPart_ = nullptr;
  wxSizer* resultsPart_ = nullptr;
  wxStaticText* done_ = nullptr;
  wxGauge* gauge_ = nullptr;
  wxListBox* waiting_ = nullptr;
  wxStaticText* tally_ = nullptr;
  wxButton* stop_ = nullptr;
  wxStaticText* summary_ = nullptr;
  wxDataViewCtrl* list_ = nullptr;
  wxButton* retry_ = nullptr;
  wxButton* openReport_ = nullptr;
  wxButton* close_ = nullptr;
};

// How the main window waits for a submission run: the progress window over
// `owner`, which then shows the run's results.
class WindowRunProgress : public RunProgress {
 public:
  explicit WindowRunProgress(wxWindow* owner) : owner_(owner) {}
  ~WindowRunProgress() override;
  // Most PAD files arrive at once; a slow one is waited for in the progress
  // window, whose Stop gives up on it.
  void Wait(BackgroundFetch& padFile) override;
  void FollowSites(SiteRun& run) override;
  void ShowResults(const RunResults& results, RunResultsActions& actions) override;
  // The progress window while a run works or its results show, or nullptr.
  ProgressWindow* Active() const { return active_; }

 private:
  // Shows `window` modally and keeps it as the active one meanwhile.
  void ShowModal(ProgressWindow& window);

  wxWindow* owner_;
  ProgressWindow* active_ = nullptr;
  // The window of the last run's sites, kept hidden until it shows their
  // results.
  std::unique_ptr<ProgressWindow> window_;
};

}  // namespace tesselwick::ui

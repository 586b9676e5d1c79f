#include "ui/progress_window.h"

#include <wx/app.h>
#include <wx/sizer.h>
#include <wx/utils.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "core/net/judgement.h"
#include "ui/text_convert.h"

namespace tesselwick::ui {

namespace {
// Often enough that the counts move smoothly, rarely enough to cost nothing.
constexpr int kRefreshMilliseconds = 50;
// How long a PAD file may take before the progress window shows, and how
// often the wait looks for it until then.
constexpr std::chrono::milliseconds kQuietWait{250};
constexpr std::chrono::milliseconds kYieldEvery{20};

wxString DoneLabel(std::size_t done, std::size_t count) {
  return wxString::Format("%zu of %zu sites done", done, count);
}

wxString TallyLabel(int passes, int fails) {
  return wxString::Format("Pass: %d    Fail: %d", passes, fails);
}
}  // namespace

ProgressWindow::ProgressWindow(wxWindow* parent, SiteRun& run)
    : ProgressWindow(parent, &run, nullptr) {}

ProgressWindow::ProgressWindow(wxWindow* parent, BackgroundFetch& padFile)
    : ProgressWindow(parent, nullptr, &padFile) {}

ProgressWindow::ProgressWindow(wxWindow* parent, SiteRun* run, BackgroundFetch* padFile)
    : wxDialog(parent, wxID_ANY, "Submitting Your PAD File", wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      run_(run),
      padFile_(padFile),
      timer_(this) {
  BuildControls();
  // The Stop button has the Cancel identifier, so Esc stops the run too; the
  // close box does the same instead of leaving the run behind.
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { Stop(); }, wxID_CANCEL);
  Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& event) {
    if (event.CanVeto()) event.Veto();
    Stop();
  });
  Bind(wxEVT_TIMER, [this](wxTimerEvent&) { Tick(); });
  timer_.Start(kRefreshMilliseconds);
  CentreOnParent();
}

ProgressWindow::~ProgressWindow() = default;

void ProgressWindow::BuildControls() {
  const int gap = ConvertDialogToPixels(wxSize(4, 0)).x;
  const int margin = ConvertDialogToPixels(wxSize(7, 0)).x;
  auto* column = new wxBoxSizer(wxVERTICAL);

  const std::size_t count = run_ != nullptr ? run_->Sites().size() : 0;
  done_ = new wxStaticText(
      this, wxID_ANY,
      run_ == nullptr ? wxString("Fetching your PAD file...") : DoneLabel(0, count));
  column->Add(done_, wxSizerFlags().Expand());
  column->AddSpacer(gap);
  gauge_ = new wxGauge(this, wxID_ANY, static_cast<int>(std::max<std::size_t>(count, 1)),
                       wxDefaultPosition, ConvertDialogToPixels(wxSize(220, 10)));
  column->Add(gauge_, wxSizerFlags().Expand());
  column->AddSpacer(2 * gap);

  column->Add(new wxStaticText(this, wxID_ANY, "Waiting for:"));
  column->AddSpacer(gap);
  waiting_ = new wxListBox(this, wxID_ANY, wxDefaultPosition,
                           ConvertDialogToPixels(wxSize(220, 90)), 0, nullptr, wxLB_SINGLE);
  // The list only shows; it takes no focus from the Stop button.
  waiting_->DisableFocusFromKeyboard();
  column->Add(waiting_, wxSizerFlags(1).Expand());
  column->AddSpacer(2 * gap);

  auto* bottom = new wxBoxSizer(wxHORIZONTAL);
  tally_ = new wxStaticText(this, wxID_ANY, TallyLabel(0, 0));
  bottom->Add(tally_, wxSizerFlags(1).CentreVertical());
  stop_ = new wxButton(this, wxID_CANCEL, "Stop", wxDefaultPosition,
                       ConvertDialogToPixels(wxSize(50, 14)));
  bottom->Add(stop_, wxSizerFlags().CentreVertical());
  column->Add(bottom, wxSizerFlags().Expand());

  auto* frame = new wxBoxSizer(wxVERTICAL);
  frame->Add(column, wxSizerFlags(1).Expand().Border(wxALL, margin));
  SetSizerAndFit(frame);
  // Nothing is tallied while the PAD file is awaited; Stop stays on the right.
  if (run_ == nullptr) tally_->SetLabel(wxString());
  stop_->SetFocus();
}

void ProgressWindow::SiteFinished(std::size_t, const FetchResult&, const Judgement& judgement) {
  if (judgement.passed) {
    ++passes_;
  } else {
    ++fails_;
  }
}

void ProgressWindow::Awaiting(const std::vector<std::size_t>& indices) {
  // The list is rebuilt only when it changed, so it doesn't flicker or lose
  // its scroll position between answers.
  if (indices == shownWaiting_) return;
  wxArrayString titles;
  for (std::size_t index : indices) titles.Add(ToWx(run_->Sites()[index].Title));
  waiting_->Set(titles);
  shownWaiting_ = indices;
}

void ProgressWindow::Tick() {
  if (ended_) return;
  bool done = false;
  if (run_ != nullptr) {
    done = !run_->Step(std::chrono::milliseconds(0), *this);
    const std::size_t finished = run_->Finished();
    done_->SetLabel(DoneLabel(finished, run_->Sites().size()));
    gauge_->SetValue(static_cast<int>(finished));
    tally_->SetLabel(TallyLabel(passes_, fails_));
  } else {
    done = padFile_->Done();
    gauge_->Pulse();
  }
  if (done) {
    ended_ = true;
    timer_.Stop();
    EndModal(stopRequested_ ? wxID_CANCEL : wxID_OK);
  }
}

void ProgressWindow::Stop() {
  if (ended_) return;
  stopRequested_ = true;
  if (padFile_ != nullptr) padFile_->Stop();
  stop_->Disable();
  stop_->SetLabel("Stopping");
  // Shown at once, not at the next tick.
  Tick();
}

void WindowRunProgress::Wait(BackgroundFetch& padFile) {
  const auto until = std::chrono::steady_clock::now() + kQuietWait;
  while (!padFile.Done() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(kYieldEvery);
  if (padFile.Done()) return;
  ProgressWindow window(owner_, padFile);
  ShowModal(window);
}

void WindowRunProgress::FollowSites(SiteRun& run) {
  // A run without sites has nothing to show.
  if (run.Sites().empty()) return;
  ProgressWindow window(owner_, run);
  ShowModal(window);
}

void WindowRunProgress::ShowModal(ProgressWindow& window) {
  active_ = &window;
  window.ShowModal();
  active_ = nullptr;
}

}  // namespace tesselwick::ui

#include "ui/progress_window.h"

#include <wx/app.h>
#include <wx/settings.h>
#include <wx/utils.h>

#include <algorithm>
#include <chrono>
#include <initializer_list>
#include <optional>
#include <string>
#include <thread>

#include "core/net/judgement.h"
#include "core/text/messages.h"
#include "core/text/translation.h"
#include "ui/accessibility.h"
#include "ui/text_convert.h"

namespace tesselwick::ui {

namespace {
// Often enough that the counts move smoothly, rarely enough to cost nothing
// however fast the answers come.
constexpr int kRefreshMilliseconds = 50;
// How long a PAD file may take before the progress window shows, and how
// often the wait looks for it until then.
constexpr std::chrono::milliseconds kQuietWait{250};
constexpr std::chrono::milliseconds kYieldEvery{20};

enum Column : unsigned { kStatus, kSite, kReason, kLastAccepted, kTime, kColumns };

wxString Counted(const char* format, std::size_t first, std::size_t second) {
  return wxString::Format(_(format), first, second);
}

wxString SummaryLabel(const RunResults& results) {
  wxString label = Counted(texts::kRunSummary, results.Passed(), results.Failed());
  if (results.Skipped() > 0) label += wxString::Format(_(texts::kRunSkipped), results.Skipped());
  if (results.Stopped()) label += Counted(texts::kRunStopped, results.Finished(), results.Count());
  return label;
}

// The order of the Status column: failed, not answered (a stopped run),
// passed, skipped.
int StatusRank(const SiteResult& result) {
  if (result.Skipped()) return 3;
  if (result.Passed()) return 2;
  return result.Finished() ? 0 : 1;
}

// Letters compared without regard to case, for sorting by title or reason.
int CompareText(const wxString& a, const wxString& b) { return a.CmpNoCase(b); }

}  // namespace

// The results as the list shows them: row i is the site with list index i;
// the list sorts the rows itself through Compare.
class ResultsModel : public wxDataViewIndexListModel {
 public:
  explicit ResultsModel(const RunResults& results)
      : wxDataViewIndexListModel(static_cast<unsigned>(results.Count())), results_(results) {}

  unsigned GetColumnCount() const override { return kColumns; }
  wxString GetColumnType(unsigned) const override { return "string"; }

  wxString Text(unsigned row, unsigned column) const {
    const SiteResult& result = results_.Sites()[row];
    switch (column) {
      case kStatus:
        return _(result.Word());
      case kSite:
        return ToWx(result.site.Title.str());
      case kReason:
        if (result.skippedFor)
          return ToWx(SkippedReason(*result.skippedFor, Tr(reasons::kAccepted)));
        return wxGetTranslation(ToWx(result.Reason()));
      case kLastAccepted: {
        const std::optional<Acceptance> accepted = results_.LastAccepted(row);
        return accepted ? ToWx(AcceptedText(*accepted)) : wxString();
      }
      case kTime:
        return result.seconds ? wxString::Format(_(texts::kSeconds), *result.seconds) : wxString();
      default:
        return {};
    }
  }

  void GetValueByRow(wxVariant& value, unsigned row, unsigned column) const override {
    value = Text(row, column);
  }
  bool SetValueByRow(const wxVariant&, unsigned, unsigned) override { return false; }

  // A failure stands out in red, a pass in green, both readable on a light
  // or a dark theme; a site the stopped run never heard from is grey.
  bool GetAttrByRow(unsigned row, unsigned column, wxDataViewItemAttr& attr) const override {
    if (column != kStatus) return false;
    const SiteResult& result = results_.Sites()[row];
    // A skipped site is grey too: nothing was asked of it.
    const bool failed = !result.Passed() && result.Finished() && !result.Skipped();
    attr.SetBold(failed);
    attr.SetColour(result.Passed() ? wxColour(0x2e, 0x8b, 0x3e)
                   : failed        ? wxColour(0xc0, 0x26, 0x26)
                                   : wxColour(0x80, 0x80, 0x80));
    return true;
  }

  // Failed before not answered before passed, then list order; the other
  // columns by their text (the time by its seconds, sites never answered
  // last), ties in list order.
  int Compare(const wxDataViewItem& a, const wxDataViewItem& b, unsigned column,
              bool ascending) const override {
    const unsigned rowA = GetRow(a);
    const unsigned rowB = GetRow(b);
    const SiteResult& x = results_.Sites()[rowA];
    const SiteResult& y = results_.Sites()[rowB];
    int order = 0;
    switch (column) {
      case kStatus:
        order = StatusRank(x) - StatusRank(y);
        break;
      case kTime: {
        const double never = 1e300;
        const double sx = x.seconds.value_or(never);
        const double sy = y.seconds.value_or(never);
        order = sx < sy ? -1 : (sx > sy ? 1 : 0);
        break;
      }
      default:
        order = CompareText(Text(rowA, column), Text(rowB, column));
    }
    if (order == 0) order = rowA < rowB ? -1 : (rowA > rowB ? 1 : 0);
    return ascending ? order : -order;
  }

 private:
  const RunResults& results_;
};

ProgressWindow::ProgressWindow(wxWindow* parent, SiteRun& run)
    : ProgressWindow(parent, &run, nullptr) {}

ProgressWindow::ProgressWindow(wxWindow* parent, BackgroundFetch& padFile)
    : ProgressWindow(parent, nullptr, &padFile) {}

ProgressWindow::ProgressWindow(wxWindow* parent) : ProgressWindow(parent, nullptr, nullptr) {}

ProgressWindow::ProgressWindow(wxWindow* parent, SiteRun* run, BackgroundFetch* padFile)
    : wxDialog(parent, wxID_ANY, _(texts::kProgressCaption), wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxRESIZE_BORDER),
      run_(run),
      padFile_(padFile),
      timer_(this) {
  BuildControls();
  // The Stop button has the Cancel identifier, so Esc stops the run too; the
  // close box does the same instead of leaving the run behind. Once the
  // results show, Esc and the close box close the window, or stop a retry.
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { Stop(); }, wxID_CANCEL);
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { Close(); }, wxID_CLOSE);
  Bind(
      wxEVT_BUTTON, [this](wxCommandEvent&) { Retry(); }, retry_->GetId());
  Bind(
      wxEVT_BUTTON,
      [this](wxCommandEvent&) {
        if (actions_ != nullptr) actions_->OpenReport();
      },
      openReport_->GetId());
  Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& event) {
    if (ShowingResults() && !retryLoop_) {
      EndModal(wxID_CLOSE);
      return;
    }
    if (event.CanVeto()) event.Veto();
    Stop();
  });
  Bind(wxEVT_TIMER, [this](wxTimerEvent&) { Tick(); });
  if (run_ != nullptr || padFile_ != nullptr) timer_.Start(kRefreshMilliseconds);
  CentreOnParent();
}

ProgressWindow::~ProgressWindow() = default;

void ProgressWindow::BuildControls() {
  const int gap = ConvertDialogToPixels(wxSize(4, 0)).x;
  const int margin = ConvertDialogToPixels(wxSize(7, 0)).x;
  column_ = new wxBoxSizer(wxVERTICAL);

  auto* progress = new wxBoxSizer(wxVERTICAL);
  const std::size_t count = run_ != nullptr ? run_->Sites().size() : 0;
  done_ = new wxStaticText(
      this, wxID_ANY,
      run_ == nullptr ? _(texts::kFetchingPadFile) : Counted(texts::kSitesDone, 0, count));
  progress->Add(done_, wxSizerFlags().Expand());
  progress->AddSpacer(gap);
  gauge_ = new wxGauge(this, wxID_ANY, static_cast<int>(std::max<std::size_t>(count, 1)),
                       wxDefaultPosition, ConvertDialogToPixels(wxSize(220, 10)));
  progress->Add(gauge_, wxSizerFlags().Expand());
  progress->AddSpacer(2 * gap);

  progress->Add(new wxStaticText(this, wxID_ANY, _(texts::kWaitingFor)));
  progress->AddSpacer(gap);
  waiting_ = new wxListBox(this, wxID_ANY, wxDefaultPosition,
                           ConvertDialogToPixels(wxSize(220, 90)), 0, nullptr, wxLB_SINGLE);
  waiting_->SetName(_(texts::kWaitingListName));
  NameForScreenReaders(waiting_, waiting_->GetName());
  // The list only shows; it takes no focus from the Stop button.
  waiting_->DisableFocusFromKeyboard();
  progress->Add(waiting_, wxSizerFlags(1).Expand());
  progress->AddSpacer(2 * gap);

  auto* bottom = new wxBoxSizer(wxHORIZONTAL);
  tally_ = new wxStaticText(this, wxID_ANY, Counted(texts::kTally, 0, 0));
  bottom->Add(tally_, wxSizerFlags(1).CentreVertical());
  stop_ = new wxButton(this, wxID_CANCEL, _(texts::kStop), wxDefaultPosition,
                       ConvertDialogToPixels(wxSize(50, 14)));
  bottom->Add(stop_, wxSizerFlags().CentreVertical());
  progress->Add(bottom, wxSizerFlags().Expand());
  progressPart_ = progress;
  column_->Add(progress, wxSizerFlags(1).Expand());

  resultsPart_ = BuildResults();
  column_->Add(resultsPart_, wxSizerFlags(1).Expand());
  column_->Hide(resultsPart_);

  auto* frame = new wxBoxSizer(wxVERTICAL);
  frame->Add(column_, wxSizerFlags(1).Expand().Border(wxALL, margin));
  SetSizerAndFit(frame);
  // Nothing is tallied while the PAD file is awaited; Stop stays on the right.
  if (run_ == nullptr) tally_->SetLabel(wxString());
  stop_->SetFocus();
}

wxSizer* ProgressWindow::BuildResults() {
  const int gap = ConvertDialogToPixels(wxSize(4, 0)).x;
  auto* part = new wxBoxSizer(wxVERTICAL);
  summary_ = new wxStaticText(this, wxID_ANY, wxString());
  summary_->SetFont(summary_->GetFont().Bold().Larger());
  part->Add(summary_, wxSizerFlags().Expand());
  part->AddSpacer(2 * gap);

  list_ = new wxDataViewCtrl(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                             wxDV_SINGLE | wxDV_ROW_LINES | wxDV_HORIZ_RULES);
  list_->SetName(_(texts::kResultsListName));
  NameForScreenReaders(list_, list_->GetName());
  // A column is never narrower than its heading with room for the sort arrow,
  // nor than the `words` it shows, in any language and however the system
  // draws headings.
  auto addColumn = [this](const char* heading, unsigned column, int widthDlu, wxAlignment align,
                          std::initializer_list<const char*> words = {}) {
    const wxString title = _(heading);
    int width = std::max(ConvertDialogToPixels(wxSize(widthDlu, 0)).x,
                         list_->GetTextExtent(title).x + FromDIP(36));
    // Bold, as a failure shows, with the cell's margins.
    const wxFont bold = list_->GetFont().Bold();
    for (const char* word : words) {
      int wordWidth = 0;
      list_->GetTextExtent(_(word), &wordWidth, nullptr, nullptr, nullptr, &bold);
      width = std::max(width, wordWidth + FromDIP(16));
    }
    list_->AppendTextColumn(title, column, wxDATAVIEW_CELL_INERT, width, align,
                            wxDATAVIEW_COL_SORTABLE | wxDATAVIEW_COL_RESIZABLE);
  };
  addColumn(texts::kStatusHeading, kStatus, 34, wxALIGN_LEFT, {"Pass", "Fail", "Skipped"});
  addColumn(texts::kSiteHeading, kSite, 100, wxALIGN_LEFT);
  addColumn(texts::kReasonHeading, kReason, 120, wxALIGN_LEFT);
  // A date and a version: "2026-12-08 2.4.1".
  addColumn(texts::kLastAcceptedHeading, kLastAccepted, 70, wxALIGN_LEFT);
  addColumn(texts::kTimeHeading, kTime, 40, wxALIGN_RIGHT);
#ifndef __WXGTK__
  // GTK's list gives the room left to its last column itself; the generic
  // one (Windows) does not, and would push the Time column out of sight. There
  // the Reason column takes what the others leave of the list's width.
  list_->Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
    event.Skip();
    // After the list has taken its new size.
    CallAfter([this] {
      int others = 0;
      for (unsigned column : {kStatus, kSite, kLastAccepted, kTime})
        others += list_->GetColumn(column)->GetWidth();
      const int minimum = ConvertDialogToPixels(wxSize(80, 0)).x;
      const int rest =
          list_->GetClientSize().x - others - wxSystemSettings::GetMetric(wxSYS_VSCROLL_X);
      list_->GetColumn(kReason)->SetWidth(std::max(minimum, rest));
    });
  });
#endif
  part->Add(list_, wxSizerFlags(1).Expand());
  part->AddSpacer(2 * gap);

  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  const wxSize buttonSize = ConvertDialogToPixels(wxSize(60, 14));
  retry_ = new wxButton(this, wxID_ANY, _(texts::kRetryFailed), wxDefaultPosition, buttonSize);
  openReport_ = new wxButton(this, wxID_ANY, _(texts::kOpenReport), wxDefaultPosition, buttonSize);
  close_ = new wxButton(this, wxID_CLOSE, _(texts::kClose), wxDefaultPosition, buttonSize);
  buttons->Add(retry_);
  buttons->AddSpacer(gap);
  buttons->Add(openReport_);
  buttons->AddStretchSpacer();
  buttons->Add(close_);
  part->Add(buttons, wxSizerFlags().Expand());
  return part;
}

void ProgressWindow::SetLabelIfChanged(wxStaticText* text, const wxString& label) {
  // Setting a label lays the window out again; an unchanged one is left be.
  if (text->GetLabel() != label) text->SetLabel(label);
}

void ProgressWindow::SiteFinished(std::size_t, const FetchResult&, const Judgement& judgement) {
  if (judgement.Passed()) {
    ++passes_;
  } else {
    ++fails_;
  }
}

void ProgressWindow::Awaiting(const std::vector<std::size_t>& indices) {
  // The list is rebuilt only when it changed, so it doesn't flicker or lose
  // its scroll position between answers.
  if (ShowingResults() || indices == shownWaiting_) return;
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
    const std::size_t count = run_->Sites().size();
    if (ShowingResults()) {
      SetLabelIfChanged(summary_, Counted(texts::kRetryingSites, count, finished));
    } else {
      SetLabelIfChanged(done_, Counted(texts::kSitesDone, finished, count));
      if (gauge_->GetValue() != static_cast<int>(finished))
        gauge_->SetValue(static_cast<int>(finished));
      SetLabelIfChanged(tally_, Counted(texts::kTally, passes_, fails_));
    }
  } else if (padFile_ != nullptr) {
    done = padFile_->Done();
    gauge_->Pulse();
  } else {
    return;
  }
  if (!done) return;
  ended_ = true;
  timer_.Stop();
  if (retryLoop_) {
    retryLoop_->Exit();
  } else {
    EndModal(stopRequested_ ? wxID_CANCEL : wxID_OK);
  }
}

void ProgressWindow::Stop() {
  if (ended_) return;
  stopRequested_ = true;
  if (padFile_ != nullptr) padFile_->Stop();
  stop_->Disable();
  stop_->SetLabel(_(texts::kStopping));
  // Shown at once, not at the next tick.
  Tick();
}

void ProgressWindow::ShowResults(const RunResults& results, RunResultsActions& actions) {
  run_ = nullptr;
  padFile_ = nullptr;
  timer_.Stop();
  results_ = &results;
  actions_ = &actions;
  SetTitle(_(texts::kResultsCaption));
  column_->Hide(progressPart_);
  column_->Show(resultsPart_);
  model_ = new ResultsModel(results);
  list_->AssociateModel(model_);
  model_->DecRef();  // the list holds it now
  // Failed sites first, until the user sorts by another column.
  list_->GetColumn(kStatus)->SetSortOrder(true);
  RefreshResults();
  SetEscapeId(wxID_CLOSE);
  // Room for the list; the user may make it larger still.
  const wxSize room = ConvertDialogToPixels(wxSize(440, 240));
  SetMinSize(ConvertDialogToPixels(wxSize(260, 160)));
  SetSize(wxSize(std::max(room.x, GetSize().x), std::max(room.y, GetSize().y)));
  Layout();
  CentreOnParent();
  list_->SetFocus();
}

void ProgressWindow::RefreshResults() {
  if (results_ == nullptr) return;
  summary_->SetLabel(SummaryLabel(*results_));
  model_->Reset(static_cast<unsigned>(results_->Count()));
  model_->Resort();
  retry_->Enable(results_->Failed() > 0 && !retryLoop_);
  openReport_->Enable(!retryLoop_);
  close_->Enable(!retryLoop_);
  Layout();
}

wxString ProgressWindow::CellText(std::size_t row, unsigned column) const {
  return model_ == nullptr ? wxString() : model_->Text(static_cast<unsigned>(row), column);
}

void ProgressWindow::Retry() {
  if (actions_ == nullptr || retryLoop_ || results_ == nullptr || results_->Failed() == 0) return;
  actions_->RetryFailed();
  RefreshResults();
}

void ProgressWindow::FollowAgain(SiteRun& run) {
  run_ = &run;
  passes_ = 0;
  fails_ = 0;
  stopRequested_ = false;
  ended_ = false;
  retryLoop_ = std::make_unique<wxGUIEventLoop>();
  retry_->Disable();
  openReport_->Disable();
  close_->Disable();
  // Esc and the close box stop the retry; the window stays.
  SetEscapeId(wxID_CANCEL);
  SetLabelIfChanged(summary_, Counted(texts::kRetryingSites, run.Sites().size(), 0));
  timer_.Start(kRefreshMilliseconds);
  retryLoop_->Run();
  retryLoop_.reset();
  run_ = nullptr;
  SetEscapeId(wxID_CLOSE);
  RefreshResults();
}

WindowRunProgress::~WindowRunProgress() = default;

void WindowRunProgress::Wait(BackgroundFetch& padFile) {
  const auto until = std::chrono::steady_clock::now() + kQuietWait;
  while (!padFile.Done() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(kYieldEvery);
  if (padFile.Done()) return;
  ProgressWindow window(owner_, padFile);
  ShowModal(window);
}

void WindowRunProgress::FollowSites(SiteRun& run) {
  // Asking the failed sites again happens in the results window.
  if (active_ != nullptr && active_->ShowingResults()) {
    active_->FollowAgain(run);
    return;
  }
  // A run without sites has nothing to show.
  if (run.Sites().empty()) return;
  window_ = std::make_unique<ProgressWindow>(owner_, run);
  ShowModal(*window_);
}

void WindowRunProgress::ShowResults(const RunResults& results, RunResultsActions& actions) {
  // A run whose every site was skipped asked none: its results have a
  // window of their own.
  if (!window_ && results.Count() > 0) window_ = std::make_unique<ProgressWindow>(owner_);
  if (!window_) return;
  std::unique_ptr<ProgressWindow> window = std::move(window_);
  window->ShowResults(results, actions);
  ShowModal(*window);
}

void WindowRunProgress::ShowModal(ProgressWindow& window) {
  active_ = &window;
  window.ShowModal();
  active_ = nullptr;
}

}  // namespace tesselwick::ui

// The Submit command as the main window shows it: the road itself is
// SubmitPadFile's; the window draws its notices as message boxes and keeps
// what came of it as its state.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/app/main_dialog.h"
#include "core/platform/system.h"
#include "core/submit/pad_check_output.h"
#include "core/submit/submit_flow.h"
#include "core/text/messages.h"
#include "core/text/translation.h"

namespace tesselwick {
namespace {

// The text of the box that lists the PAD file's problems, one a line.
std::string PadProblemsText(const std::vector<PadProblem>& problems) {
  return std::string(Tr(texts::kPadProblemsIntro)) + "\r\n\r\n" + PadProblemsBoxList(problems) +
         "\r\n\r\n" + Tr(texts::kPadProblemsQuestion);
}

// A run without a front end to show it: nothing is shown, nothing stops it.
class Unobserved : public SubmissionObserver {
 public:
  void SiteFinished(std::size_t, const FetchResult&, const Judgement&) override {}
  void Awaiting(const std::vector<std::size_t>&) override {}
  bool StopRequested() override { return false; }
};

}  // namespace

// The window's side of a Submit: each notice as its message box, in the
// order they come; the waits and the sites' progress in the progress window,
// when there is one. A failed request also says so on standard error, as
// every failed retrieval does.
class MainDialog::WindowSubmit : public SubmitObserver {
 public:
  explicit WindowSubmit(MainDialog& dialog) : dialog_(dialog) {}

  void Wait(BackgroundFetch& fetch) override {
    if (dialog_.runProgress != nullptr) dialog_.runProgress->Wait(fetch);
  }
  void FollowSites(SiteRun& run) override {
    if (dialog_.runProgress != nullptr) {
      dialog_.runProgress->FollowSites(run);
    } else {
      Unobserved nobody;
      run.RunToEnd(nobody);
    }
  }
  void PadUrlRefused() override { Show(texts::kPadUrlControlCharacters, texts::kPadFileCaption); }
  void Remembered(std::size_t index) override {
    dialog_.controls_.urlBox.InsertEntry(static_cast<int>(index), dialog_.PadUrl);
  }
  void Unreachable(const FetchResult& failed) override {
    std::string number;
    ReportFetchFailure(failed.error, number);
  }
  void PadFileFailed(const PadFile& pad) override {
    // ErrorText keeps the number alone; the box adds what decided the
    // failure when a limit or a refused address did.
    dialog_.ErrorText = pad.FailureText();
    Show(pad.FailureShown(), texts::kPadFileCaption);
  }
  void NoCategory() override { Show(texts::kNoCategory, texts::kPadFileCaption); }
  // A file without errors goes straight on, whatever it warns of; Cancel
  // ends the run there, as a PAD file without a category does.
  bool GoOn(const std::vector<PadProblem>& problems) override {
    return !HasPadErrors(problems) ||
           dialog_.controls_.messages.Ask(PadProblemsText(problems), texts::kPadProblemsCaption,
                                          texts::kSubmitAnyway, texts::kCancel);
  }
  // "Skip Them" is the default: sites treat a second submission of one
  // version as spam.
  bool AskAgain(const AlreadyAccepted& accepted) override {
    const std::string text =
        FormatText(Tr(texts::kAlreadyAccepted), {std::to_string(accepted.sites), accepted.program,
                                                 accepted.version, LoggedDay(accepted.last)});
    return dialog_.controls_.messages.Ask(text, texts::kAlreadyAcceptedCaption, texts::kAskAgain,
                                          texts::kSkipThem);
  }
  void ReportTemplateUnreadable() override {
    Show(texts::kTemplateUnreadable, texts::kTemplateUnreadableCaption);
  }
  void ReportNotWritten() override {
    Show(texts::kReportUnwritable, texts::kReportUnwritableCaption);
  }
  void ReportReady(const std::filesystem::path& file) override {
    dialog_.controls_.shell.Open(platform::Utf8FromPath(file));
  }
  void RunLogFault(const RunLogProblem& problem) override {
    Show(RunLogFaultText(problem), texts::kRunLogCaption);
  }

 private:
  void Show(std::string_view text, std::string_view caption) {
    dialog_.controls_.messages.ShowMessage(text, caption);
  }

  MainDialog& dialog_;
};

SubmitRequest MainDialog::Request() {
  SubmitRequest request;
  request.folder = folder_;
  request.padUrl = PadUrl;
  request.limits = fetchLimits;
  request.maxConcurrent = maxConcurrentRequests;
  request.sites = &sites_;
  request.history = &history_;
  // Saved when the window goes away (CloseDown).
  request.saveHistory = false;
  return request;
}

void MainDialog::ExtractCategory(std::string category) {
  Pull();
  PadCategory = std::move(category);
  Push();
}

void MainDialog::SubmissionRun() {
  Pull();
  WindowSubmit window(*this);
  SubmitOutcome outcome = SubmitPadFile(Request(), window);
  if (outcome.refused) return;
  lastRun_ = std::move(outcome.results);

  // The state the run leaves behind: the PAD file's answer, then the last
  // site in list order that finished, with the URL it was requested with and
  // the head of its answer, and the number of the last one that failed.
  ResponseText.clear();
  ResponseStatus = 0;
  if (outcome.pad.outcome == PadFile::Outcome::Fetched) {
    ResponseStatus = outcome.pad.answer.status;
    ResponseText = std::move(outcome.pad.answer.body);
    ExtractCategory(std::move(outcome.category));
  } else {
    // The report must not show the category of an earlier run's PAD file.
    PadCategory.clear();
  }
  if (outcome.lastSite) {
    CurrentSite = std::move(*outcome.lastSite);
    ResponseText = outcome.lastAnswer.ok() ? std::move(outcome.lastAnswer.body) : std::string();
    ResponseStatus = outcome.lastAnswer.ok() ? outcome.lastAnswer.status : 0;
    if (outcome.lastFailure) ErrorText = ErrorNumber(*outcome.lastFailure);
  }
  Push();
  // Then the run's results, for as long as the user looks at them.
  if (lastRun_ && lastRun_->Count() > 0 && runProgress != nullptr)
    runProgress->ShowResults(*lastRun_, *this);
}

void MainDialog::RetryFailed() {
  if (!lastRun_) return;
  WindowSubmit window(*this);
  RetryFailedSites(*lastRun_, Request(), window);
}

void MainDialog::OpenReport() {
  // The path as the report writer names it, so that a folder whose name is
  // not ASCII opens the same file on every system.
  controls_.shell.Open(platform::Utf8FromPath(FilePath(program::kReportFile)));
}

void MainDialog::WriteReport(const std::string& rows) {
  WriteReport([&rows](const ReportSink& out) { out(rows); });
}

void MainDialog::WriteReport(const ReportRows& rows, const ReportCounts& counts) {
  Pull();
  WindowSubmit window(*this);
  WriteSubmitReport(folder_, PadUrl, PadCategory, rows, counts, window);
}

}  // namespace tesselwick

// The Submit command: fetch the PAD file, take its category, request every
// site's filled-in template, judge each answer and write the report.

#include <chrono>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "core/app/main_dialog.h"
#include "core/history/url_history.h"
#include "core/platform/date.h"
#include "core/platform/system.h"
#include "core/submit/pad_check.h"
#include "core/submit/pad_check_output.h"
#include "core/submit/report.h"
#include "core/submit/run_results.h"
#include "core/submit/site_run.h"
#include "core/submit/submission.h"
#include "core/text/messages.h"
#include "core/text/translation.h"

namespace tesselwick {
namespace {

// The text of the box that lists the PAD file's problems, one a line.
std::string PadProblemsText(const std::vector<PadProblem>& problems) {
  return std::string(Tr(texts::kPadProblemsIntro)) + "\r\n\r\n" + PadProblemsBoxList(problems) +
         "\r\n\r\n" + Tr(texts::kPadProblemsQuestion);
}

}  // namespace

void MainDialog::ExtractCategory(std::string category) {
  Pull();
  PadCategory = std::move(category);
  Push();
}

namespace {

// A run without a front end to show it: nothing is shown, nothing stops it.
class Unobserved : public SubmissionObserver {
 public:
  void SiteFinished(std::size_t, const FetchResult&, const Judgement&) override {}
  void Awaiting(const std::vector<std::size_t>&) override {}
  bool StopRequested() override { return false; }
};

// Follows a run of site requests with the window's progress, or without
// one; a site that could not be reached says so on standard error at once,
// as every failed retrieval does. Gives the last site in list order that
// failed to be reached.
std::optional<std::size_t> FollowRun(MainDialog& dialog, SiteRun& run) {
  std::optional<std::size_t> lastFailed;
  run.OnEachAnswer([&lastFailed](std::size_t index, const FetchResult& answer) {
    if (answer.ok()) return;
    std::string number;
    ReportFetchFailure(answer.error, number);
    if (!lastFailed || index > *lastFailed) lastFailed = index;
  });
  if (dialog.runProgress != nullptr) {
    dialog.runProgress->FollowSites(run);
  } else {
    Unobserved nobody;
    run.RunToEnd(nobody);
  }
  return lastFailed;
}

// Requests every site of the list and gives what came of each.
std::unique_ptr<RunResults> RequestSites(MainDialog& dialog, const std::string& runDate) {
  // The rows are read first, then requested side by side; the list keeps its
  // templates with their placeholders for the next run.
  const int count = static_cast<int>(dialog.Sites().Count());
  std::vector<SiteRecord> sites;
  sites.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    dialog.ReadSiteRow(i);
    sites.push_back(dialog.CurrentSite);
  }
  auto results = std::make_unique<RunResults>(sites, dialog.PadUrl, dialog.PadCategory, runDate);
  SiteRun run(std::move(sites), dialog.PadCategory, dialog.PadUrl, dialog.fetchLimits,
              dialog.maxConcurrentRequests);
  const std::optional<std::size_t> lastFailed = FollowRun(dialog, run);

  // The fields the run leaves behind follow the list: CurrentSite is the
  // last site in list order that finished, with the URL it was requested
  // with, ResponseText the head of its answer, and ErrorText the number of
  // the last site in list order that failed.
  std::optional<std::size_t> last;
  for (std::size_t i = 0; i < run.Sites().size(); ++i)
    if (run.Outcomes()[i]) last = i;
  if (last) {
    dialog.CurrentSite = run.Sites()[*last];
    if (std::optional<std::string> url = run.RequestUrl(*last)) {
      dialog.CurrentSite.RequestTemplate = std::move(*url);
    }
    const FetchResult& answer = *run.Answer(*last);
    dialog.ResponseText = answer.ok() ? answer.body : std::string();
    dialog.ResponseStatus = answer.ok() ? answer.status : 0;
    if (lastFailed) dialog.ErrorText = ErrorNumber(run.Answer(*lastFailed)->error);
    dialog.Push();
  }
  results->Take(run);
  return results;
}

}  // namespace

void MainDialog::SubmissionRun() {
  Pull();
  // A URL with a line break in it can be neither requested nor kept in the
  // history file, whose lines it would split: nothing is remembered or
  // fetched, and the user is told why.
  if (HasControlCharacter(PadUrl)) {
    controls_.messages.ShowMessage(texts::kPadUrlControlCharacters, texts::kPadFileCaption);
    return;
  }
  // The URL is remembered before anything is fetched, so a PAD file that
  // fails to load doesn't cost the user the typed URL.
  RememberPadUrl();
  lastRun_.reset();
  // Every row of the run carries the date at which the run began.
  const std::string runDate = Today();

  // The PAD file is fetched on a thread of its own, so the window keeps
  // repainting while a slow server is waited for; the user may give it up.
  PadFile pad = FetchPadFile(PadUrl, fetchLimits, runProgress);
  ResponseText.clear();
  ResponseStatus = 0;
  if (pad.outcome != PadFile::Outcome::Fetched) {
    // The report must not show the category of an earlier run's PAD file.
    PadCategory.clear();
    // A PAD file the user gave up on is no error of the network's.
    if (pad.outcome == PadFile::Outcome::Failed) {
      // The box shows the error number, and what decided the failure when a
      // limit or a refused address did; ErrorText keeps the number alone.
      std::string told;
      if (pad.answer.ok()) {
        ErrorText = pad.FailureText();
        told = ErrorText;
      } else {
        ReportFetchFailure(pad.answer.error, ErrorText);
        told = FailureNumber(pad.answer);
      }
      controls_.messages.ShowMessage(told, texts::kPadFileCaption);
    }
  } else {
    ResponseStatus = pad.answer.status;
    Push();
    ResponseText = std::move(pad.answer.body);
    // FetchPadFile has taken the category out of the file already.
    ExtractCategory(std::move(pad.category));
    if (PadCategory.empty()) {
      controls_.messages.ShowMessage(texts::kNoCategory, texts::kPadFileCaption);
    } else {
      // What download sites would reject is shown before any of them is
      // asked; Cancel ends the run there, as a PAD file without a category
      // does. A file without errors goes straight on, whatever it warns of.
      const std::vector<PadProblem> problems = CheckPadFields(ResponseText, PadUrl);
      if (!HasPadErrors(problems) ||
          controls_.messages.Ask(PadProblemsText(problems), texts::kPadProblemsCaption,
                                 texts::kSubmitAnyway, texts::kCancel)) {
        lastRun_ = RequestSites(*this, runDate);
      }
    }
  }

  // The report is written and shown on every path, with no rows when the PAD
  // file stopped the run. Each row is made as it is written.
  if (lastRun_) {
    WriteReport(lastRun_->Rows(), lastRun_->Counts());
  } else {
    WriteReport([](const ReportSink&) {});
  }
  Push();
  // Then the run's results, for as long as the user looks at them.
  if (lastRun_ && lastRun_->Count() > 0 && runProgress != nullptr)
    runProgress->ShowResults(*lastRun_, *this);
}

void MainDialog::RetryFailed() {
  if (!lastRun_) return;
  std::unique_ptr<SiteRun> retry = lastRun_->RetryRun(fetchLimits, maxConcurrentRequests);
  if (!retry) return;
  // The report's rows carry the date of the latest asking.
  lastRun_->SetDate(Today());
  FollowRun(*this, *retry);
  lastRun_->TakeRetry(*retry);
  WriteReport(lastRun_->Rows(), lastRun_->Counts());
}

void MainDialog::OpenReport() { controls_.shell.Open(FilePath(program::kReportFile).string()); }

void MainDialog::WriteReport(const std::string& rows) {
  WriteReport([&rows](const ReportSink& out) { out(rows); });
}

void MainDialog::WriteReport(const ReportRows& rows, const ReportCounts& counts) {
  Pull();
  const ReportWritten report = WriteReportFile(folder_, PadUrl, PadCategory, rows, counts);
  // A template that can be neither opened nor created gives the built-in
  // layout, after a word; a report that can't be written leaves whatever
  // page was there, which is shown all the same.
  if (report.templateUnreadable)
    controls_.messages.ShowMessage(texts::kTemplateUnreadable, texts::kTemplateUnreadableCaption);
  if (!report.written)
    controls_.messages.ShowMessage(texts::kReportUnwritable, texts::kReportUnwritableCaption);
  controls_.shell.Open(platform::Utf8FromPath(report.file));
}

}  // namespace tesselwick

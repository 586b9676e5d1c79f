// The Submit command: fetch the PAD file, take its category, request every
// site's filled-in template, judge each answer and write the report.

#include <chrono>
#include <optional>
#include <utility>
#include <vector>

#include "core/app/main_dialog.h"
#include "core/app/texts.h"
#include "core/net/background_fetch.h"
#include "core/net/judgement.h"
#include "core/platform/date.h"
#include "core/platform/text_file.h"
#include "core/submit/category.h"
#include "core/submit/report.h"
#include "core/submit/site_request.h"
#include "core/submit/site_run.h"
#include "core/text/replace.h"

namespace tesselwick {
namespace {

constexpr const char* kPadFileCaption = "Error Loading Your PAD File.";
constexpr const char* kNoCategory = "Your PAD File Needs to Contain a Category";

// Takes one block-mode answer into the dialog's fields, exactly as a
// retrieval of its own would leave them.
bool TakeBlocksAnswer(MainDialog& dialog, FetchResult result) {
  dialog.ResponseText.clear();
  dialog.ResponseStatus = result.status;
  if (!result.ok) {
    // A failure while reading counts like a failed open: nothing of the body
    // is kept.
    dialog.ResponseStatus = 0;
    ReportFetchFailure(result.error, dialog.ErrorText);
    return false;
  }
  dialog.Push();
  dialog.ResponseText = std::move(result.body);
  return true;
}

}  // namespace

void MainDialog::ExtractCategory() {
  Pull();
  PadCategory = ExtractCategoryText(ResponseText);
  Push();
}

namespace {

enum class PadFile { Fetched, Failed, Stopped };

// The PAD URL as its file is requested: with its spaces as "%20", as a
// browser sends them.
std::string PadFileRequestUrl(const std::string& padUrl) { return ReplaceAll(padUrl, " ", "%20"); }

// Fetches the PAD file like FetchBlocks, on a thread of its own, so that the
// window keeps repainting while a slow server is waited for. The user may
// give up on it with Stop.
PadFile FetchPadFile(MainDialog& dialog) {
  BackgroundFetch fetch(PadFileRequestUrl(dialog.PadUrl), FetchMode::Blocks, dialog.fetchLimits);
  if (dialog.runProgress != nullptr) dialog.runProgress->Wait(fetch);
  const FetchResult answer = fetch.Result();
  if (answer.cancelled) {
    dialog.ResponseText.clear();
    dialog.ResponseStatus = 0;
    return PadFile::Stopped;
  }
  if (answer.ok && answer.status >= 400) {
    // A missing or refused PAD file is no file without a category: it fails
    // like one that could not be fetched, and its box names the status.
    dialog.ResponseText.clear();
    dialog.ResponseStatus = 0;
    dialog.ErrorText = "HTTP " + std::to_string(answer.status);
    return PadFile::Failed;
  }
  return TakeBlocksAnswer(dialog, answer) ? PadFile::Fetched : PadFile::Failed;
}

// A run without a front end to show it: nothing is shown, nothing stops it.
class Unobserved : public SubmissionObserver {
 public:
  void SiteFinished(std::size_t, const FetchResult&, const Judgement&) override {}
  void Awaiting(const std::vector<std::size_t>&) override {}
  bool StopRequested() override { return false; }
};

// The sites of a run that answered, in list order, with their status words.
using Verdicts = std::vector<std::pair<SiteRecord, const char*>>;

// Requests every site of the list and gives the verdicts for the report's rows.
Verdicts RequestSites(MainDialog& dialog) {
  // The rows are read first, then requested side by side; the list keeps its
  // templates with their placeholders for the next run.
  const int count = static_cast<int>(dialog.Sites().Count());
  std::vector<SiteRecord> sites;
  sites.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    dialog.ReadSiteRow(i);
    sites.push_back(dialog.CurrentSite);
  }
  SiteRun run(std::move(sites), dialog.PadCategory, dialog.PadUrl, dialog.fetchLimits,
              dialog.maxConcurrentRequests);
  // A site that could not be reached says so on standard error at once, as
  // every failed retrieval does.
  std::optional<std::size_t> lastFailed;
  run.OnEachAnswer([&lastFailed](std::size_t index, const FetchResult& answer) {
    if (answer.ok) return;
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

  // The rows are in list order; a stopped run lists only the sites that
  // finished. The fields the run leaves behind follow the list too:
  // CurrentSite is the last site in list order that finished, with the URL
  // it was requested with, ResponseText the head of its answer, and
  // ErrorText the number of the last site in list order that failed.
  Verdicts verdicts;
  std::optional<std::size_t> last;
  for (std::size_t i = 0; i < run.Sites().size(); ++i) {
    if (!run.Outcomes()[i]) continue;
    verdicts.emplace_back(run.Sites()[i], run.Outcomes()[i]->Word());
    last = i;
  }
  if (last) {
    dialog.CurrentSite = run.Sites()[*last];
    if (std::optional<std::string> url = run.RequestUrl(*last)) {
      dialog.CurrentSite.RequestTemplate = std::move(*url);
    }
    const FetchResult& answer = *run.Answer(*last);
    dialog.ResponseText = answer.ok ? answer.body : std::string();
    dialog.ResponseStatus = answer.ok ? answer.status : 0;
    if (lastFailed) dialog.ErrorText = ErrorNumber(run.Answer(*lastFailed)->error);
    dialog.Push();
  }
  return verdicts;
}

}  // namespace

void MainDialog::SubmissionRun() {
  Pull();
  // The URL is remembered before anything is fetched, so a PAD file that
  // fails to load doesn't cost the user the typed URL.
  RememberPadUrl();
  Verdicts verdicts;
  // Every row of the run carries the date at which the run began.
  const std::string runDate = Today();

  const PadFile pad = FetchPadFile(*this);
  if (pad != PadFile::Fetched) {
    // The report must not show the category of an earlier run's PAD file.
    PadCategory.clear();
    // A PAD file the user gave up on is no error of the network's.
    if (pad == PadFile::Failed) controls_.messages.ShowMessage(ErrorText, kPadFileCaption);
  } else {
    ExtractCategory();
    if (PadCategory.empty()) {
      controls_.messages.ShowMessage(kNoCategory, kPadFileCaption);
    } else {
      verdicts = RequestSites(*this);
    }
  }

  // The report is written and shown on every path, with no rows when the PAD
  // file stopped the run. Each row is made as it is written.
  WriteReport([&verdicts, &runDate](const ReportSink& out) {
    for (const auto& [site, status] : verdicts) out(ReportRow(site, status, runDate));
  });
  Push();
}

std::string MainDialog::ReadTextFile(const std::string& name) {
  Pull();
  // A missing file is created empty; one that can be neither opened nor
  // created (a folder of that name, no permission) reads as empty, after a word.
  std::optional<std::string> text = ReadTextFileContents(FilePath(name.c_str()));
  if (!text) {
    controls_.messages.ShowMessage("Error loading file", "Error");
    return {};
  }
  return std::move(*text);
}

void MainDialog::WriteReport(const std::string& rows) {
  WriteReport([&rows](const ReportSink& out) { out(rows); });
}

void MainDialog::WriteReport(const ReportRows& rows) {
  // The report's own date, which differs from the rows' run date when the run
  // crossed midnight.
  const std::string date = Today();
  std::string layout = ReadTextFile(texts::kReportTemplateFile);
  if (layout.empty()) layout = BuiltInReportLayout();
  // The page goes to disk as it is made, and replaces the old one only when
  // it was written whole; when it can't be, the user is told and whatever
  // page was there is shown.
  const std::filesystem::path report = FilePath(texts::kReportFile);
  FileReplacement page(report);
  FillReport(layout, PadUrl, date, PadCategory, rows,
             [&page](std::string_view piece) { page.WriteText(piece); });
  page.WriteText("\n");
  if (!page.Commit()) controls_.messages.ShowMessage("Could not write to report file", "Error Log");
  controls_.shell.Open(report.string());
}

}  // namespace tesselwick

// The Submit command: fetch the PAD file, take its category, request every
// site's filled-in template, judge each answer and write the report.

#include <chrono>
#include <optional>
#include <utility>
#include <vector>

#include "core/app/main_dialog.h"
#include "core/app/texts.h"
#include "core/net/judgement.h"
#include "core/net/site_requests.h"
#include "core/platform/date.h"
#include "core/platform/text_file.h"
#include "core/submit/category.h"
#include "core/submit/report.h"
#include "core/submit/site_request.h"
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

// Without a window, the run simply waits for its sites.
void WaitWithoutProgress(SiteRequests& requests) {
  while (!requests.Done()) requests.Wait(std::chrono::milliseconds(200));
}

}  // namespace

bool MainDialog::FetchBlocks(const std::string& url) {
  return TakeBlocksAnswer(*this, HttpFetch(url, FetchMode::Blocks, fetchLimits));
}

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

// Fetches the PAD file like FetchBlocks, on a worker thread, so that the
// window keeps repainting while a slow server is waited for. The user may
// give up on it with Stop.
PadFile FetchPadFile(MainDialog& dialog) {
  SiteRequests request({PadFileRequestUrl(dialog.PadUrl)}, dialog.fetchLimits, 1,
                       BodyKeeping::Whole);
  if (dialog.runProgress != nullptr) dialog.runProgress->WaitForPadFile(request, dialog.PadUrl);
  WaitWithoutProgress(request);
  const std::optional<FetchResult>& answer = request.Answer(0);
  if (!answer) {
    dialog.ResponseText.clear();
    dialog.ResponseStatus = 0;
    return PadFile::Stopped;
  }
  if (answer->ok && answer->status >= 400) {
    // A missing or refused PAD file is no file without a category: it fails
    // like one that could not be fetched, and its box names the status.
    dialog.ResponseText.clear();
    dialog.ResponseStatus = 0;
    dialog.ErrorText = "HTTP " + std::to_string(answer->status);
    return PadFile::Failed;
  }
  return TakeBlocksAnswer(dialog, *answer) ? PadFile::Fetched : PadFile::Failed;
}

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

  // Each site's URL is filled in by the worker that requests it, from the
  // run's own copies of the values, and dropped when its request ends: however
  // long the category, only the requests under way hold a URL.
  const std::string category = dialog.PadCategory;
  const std::string padUrl = dialog.PadUrl;
  auto makeUrl = [&sites, &category, &padUrl](std::size_t index) {
    const std::string& requestTemplate = sites[index].RequestTemplate;
    return SiteRequestUrl(requestTemplate, category, padUrl);
  };
  SiteRequests requests(sites.size(), makeUrl, dialog.fetchLimits, dialog.maxConcurrentRequests);
  if (dialog.runProgress != nullptr) {
    dialog.runProgress->WaitForSites(requests, sites);
  }
  WaitWithoutProgress(requests);

  // The answers are taken in list order, whatever order they arrived in, so
  // the rows and the fields the run leaves behind are those of a run that
  // requested the sites one after another: after the run, CurrentSite,
  // ResponseText (the head of the answer) and ErrorText belong to the last
  // site in list order that finished. A stopped run lists only the sites that
  // finished.
  Verdicts verdicts;
  std::optional<std::size_t> last;
  for (std::size_t i = 0; i < sites.size(); ++i) {
    const std::optional<FetchResult>& answer = requests.Answer(i);
    if (!answer) continue;
    dialog.CurrentSite = sites[i];
    TakeBlocksAnswer(dialog, *answer);
    verdicts.emplace_back(sites[i], JudgeAnswer(*answer).Word());
    dialog.Push();
    last = i;
  }
  // The working copy holds the URL its site was requested with (its template
  // still, when that URL was too long to be made).
  if (last) {
    if (std::optional<std::string> url = makeUrl(*last)) {
      dialog.CurrentSite.RequestTemplate = std::move(*url);
    }
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

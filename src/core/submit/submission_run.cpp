// The Submit command: fetch the PAD file, take its category, request every
// site's filled-in template, judge each answer and write the report.

#include <chrono>
#include <optional>
#include <utility>
#include <vector>

#include "core/app/main_dialog.h"
#include "core/platform/date.h"
#include "core/submit/category.h"
#include "core/submit/report.h"
#include "core/submit/site_request.h"
#include "core/submit/site_requests.h"

namespace tesselwick {

namespace {
constexpr const char* kPadFileCaption = "Error Loading Your PAD File.";
constexpr const char* kNoCategory = "Your PAD File Needs to Contain a Category";
}  // namespace

std::string SiteRequestUrl(std::string_view requestTemplate, std::string_view category,
                           std::string_view padUrl) {
  std::string url = ReplaceAll(std::string(requestTemplate), "\n", "");
  url = ReplaceAll(std::move(url), "%CATEGORY%", category);
  return ReplaceAll(std::move(url), "%PADURL%", padUrl);
}

const char* JudgeAnswer(bool fetched, long httpStatus, std::string_view body) {
  // An error page is a failure wherever its word stands, also at the very
  // start of the answer, and so is any answer with an error status.
  const bool failed = !fetched || httpStatus >= 400 ||
                      body.find("Error") != std::string_view::npos ||
                      body.find("404") != std::string_view::npos;
  return failed ? "Fail" : "Pass";
}

namespace {

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

// Fetches the PAD file like FetchBlocks, on a worker thread, so that the
// window keeps repainting while a slow server is waited for. The user may
// give up on it with Stop.
PadFile FetchPadFile(MainDialog& dialog) {
  SiteRequests request({dialog.PadUrl}, dialog.fetchLimits, 1);
  if (dialog.runProgress != nullptr) dialog.runProgress->WaitForPadFile(request);
  WaitWithoutProgress(request);
  const std::optional<FetchResult>& answer = request.Answer(0);
  if (!answer) {
    dialog.ResponseText.clear();
    dialog.ResponseStatus = 0;
    return PadFile::Stopped;
  }
  return TakeBlocksAnswer(dialog, *answer) ? PadFile::Fetched : PadFile::Failed;
}

// Requests every site of the list and gives the report's rows, in list order.
std::string RequestSites(MainDialog& dialog, const std::string& runDate) {
  // The rows are read first, then requested side by side; only the working
  // copies are filled in, the list keeps its templates with their
  // placeholders for the next run.
  const int count = dialog.Controls().siteList.RowCount();
  std::vector<SiteRecord> sites;
  std::vector<std::string> urls;
  sites.reserve(static_cast<std::size_t>(count));
  urls.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    dialog.ReadSiteRow(i);
    dialog.CurrentSite.RequestTemplate =
        SiteRequestUrl(dialog.CurrentSite.RequestTemplate, dialog.PadCategory, dialog.PadUrl);
    urls.push_back(dialog.CurrentSite.RequestTemplate);
    sites.push_back(dialog.CurrentSite);
  }

  SiteRequests requests(std::move(urls), dialog.fetchLimits, dialog.maxConcurrentRequests);
  if (dialog.runProgress != nullptr) {
    dialog.runProgress->WaitForSites(requests, sites);
  }
  WaitWithoutProgress(requests);

  // The answers are taken in list order, whatever order they arrived in, so
  // the rows and the fields the run leaves behind are those of a run that
  // requested the sites one after another: after the run, CurrentSite,
  // ResponseText and ErrorText belong to the last site in list order that
  // finished. A stopped run lists only the sites that finished.
  std::string rows;
  for (std::size_t i = 0; i < sites.size(); ++i) {
    const std::optional<FetchResult>& answer = requests.Answer(i);
    if (!answer) continue;
    dialog.CurrentSite = sites[i];
    const bool fetched = TakeBlocksAnswer(dialog, *answer);
    rows += ReportRow(dialog.CurrentSite,
                      JudgeAnswer(fetched, dialog.ResponseStatus, dialog.ResponseText), runDate);
    dialog.Push();
  }
  return rows;
}

}  // namespace

void MainDialog::SubmissionRun() {
  Pull();
  // The URL is remembered before anything is fetched, so a PAD file that
  // fails to load doesn't cost the user the typed URL.
  RememberPadUrl();
  std::string rows;
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
      rows = RequestSites(*this, runDate);
    }
  }

  // The report is written and shown on every path, with no rows when the PAD
  // file stopped the run.
  WriteReport(rows);
  Push();
}

}  // namespace tesselwick

// The Submit command: fetch the PAD file, take its category, request every
// site's filled-in template, judge each answer and write the report.

#include "core/app/main_dialog.h"
#include "core/platform/date.h"
#include "core/submit/category.h"
#include "core/submit/report.h"
#include "core/submit/site_request.h"

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

bool MainDialog::FetchBlocks(const std::string& url) {
  ResponseText.clear();
  FetchResult result = HttpFetch(url, FetchMode::Blocks, fetchLimits);
  ResponseStatus = result.status;
  if (!result.ok) {
    // A failure while reading counts like a failed open: nothing of the body
    // is kept.
    ResponseStatus = 0;
    ReportFetchFailure(result.error, ErrorText);
    return false;
  }
  Push();
  ResponseText = std::move(result.body);
  return true;
}

void MainDialog::ExtractCategory() {
  Pull();
  PadCategory = ExtractCategoryText(ResponseText);
  Push();
}

void MainDialog::SubmissionRun() {
  Pull();
  // The URL is remembered before anything is fetched, so a PAD file that
  // fails to load doesn't cost the user the typed URL.
  RememberPadUrl();
  std::string rows;
  // Every row of the run carries the date at which the run began.
  const std::string runDate = Today();

  if (!FetchBlocks(PadUrl)) {
    // The report must not show the category of an earlier run's PAD file.
    PadCategory.clear();
    controls_.messages.ShowMessage(ErrorText, kPadFileCaption);
  } else {
    ExtractCategory();
    if (PadCategory.empty()) {
      controls_.messages.ShowMessage(kNoCategory, kPadFileCaption);
    } else {
      const int count = controls_.siteList.RowCount();
      for (int i = 0; i < count; ++i) {
        ReadSiteRow(i);
        // Only the working copy is filled in; the list keeps the template with
        // its placeholders for the next run.
        CurrentSite.RequestTemplate =
            SiteRequestUrl(CurrentSite.RequestTemplate, PadCategory, PadUrl);
        const bool fetched = FetchBlocks(CurrentSite.RequestTemplate);
        rows += ReportRow(CurrentSite, JudgeAnswer(fetched, ResponseStatus, ResponseText), runDate);
        Push();
      }
    }
  }

  // The report is written and shown on every path, with no rows when the PAD
  // file stopped the run.
  WriteReport(rows);
  Push();
}

}  // namespace tesselwick

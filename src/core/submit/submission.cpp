#include "core/submit/submission.h"

#include <utility>

#include "core/net/judgement.h"
#include "core/platform/date.h"
#include "core/platform/text_file.h"
#include "core/submit/category.h"
#include "core/text/program.h"
#include "core/text/replace.h"

namespace tesselwick {

PadFile FetchPadFile(const std::string& padUrl, const FetchLimits& limits, FetchWaiter* waiter) {
  BackgroundFetch fetch(ReplaceAll(padUrl, " ", "%20"), FetchMode::Blocks, limits);
  if (waiter != nullptr) waiter->Wait(fetch);
  PadFile pad;
  pad.answer = fetch.Result();
  if (pad.answer.cancelled) {
    pad.outcome = PadFile::Outcome::Stopped;
  } else if (!pad.answer.ok()) {
    pad.failure = PadFile::Failure::RequestFailed;
  } else if (pad.answer.status >= 400) {
    // A missing or refused PAD file is no file without a category: it fails
    // like one that could not be fetched, and names the status.
    pad.failure = PadFile::Failure::ErrorStatus;
  } else {
    pad.outcome = PadFile::Outcome::Fetched;
    pad.category = ExtractCategoryText(pad.answer.body);
  }
  return pad;
}

std::string PadFile::FailureShown() const {
  if (failure == Failure::ErrorStatus) return StatusReason(answer.status);
  return FailureNumber(answer);
}

std::string PadFile::FailureText() const {
  if (failure == Failure::ErrorStatus) return StatusReason(answer.status);
  return ErrorNumber(answer.error);
}

ReportWritten WriteReportFile(const std::filesystem::path& folder, const std::string& padUrl,
                              const std::string& category, const ReportRows& rows,
                              const ReportCounts& counts) {
  ReportWritten result;
  // The report's own date, which differs from the rows' run date when the run
  // crossed midnight.
  const std::string date = Today();
  // A missing template is created empty; one that can be neither opened nor
  // created reads as empty.
  std::optional<std::string> layout = ReadTextFileContents(folder / program::kReportTemplateFile);
  result.templateUnreadable = !layout;
  if (!layout || layout->empty()) layout = BuiltInReportLayout(counts);
  result.file = folder / program::kReportFile;
  FileReplacement page(result.file);
  FillReport(
      *layout, padUrl, date, category, rows,
      [&page](std::string_view piece) { page.WriteText(piece); }, counts);
  page.WriteText("\n");
  result.written = page.Commit();
  return result;
}

}  // namespace tesselwick

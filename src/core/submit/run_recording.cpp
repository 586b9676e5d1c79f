#include "core/submit/run_recording.h"

#include <utility>

namespace tesselwick {

LoggedSite LoggedSiteOf(const SiteResult& result, std::size_t position, std::string requestUrl) {
  LoggedSite row;
  row.position = position;
  row.title = result.site.Title;
  row.url = result.site.Url;
  row.submitUrl = result.site.SubmitUrl;
  row.requestUrl = std::move(requestUrl);
  row.outcome = result.Skipped()  ? SiteOutcome::Skipped
                : result.Passed() ? SiteOutcome::Pass
                                  : SiteOutcome::Fail;
  row.reason = result.Reason();
  row.httpStatus = result.HttpStatus();
  row.error = result.Error();
  row.seconds = result.seconds;
  return row;
}

RunRecorder::RunRecorder(const SiteRun& run, RunLog& log, std::vector<std::size_t> listIndices)
    : run_(run), log_(log), listIndices_(std::move(listIndices)) {}

void RunRecorder::Judged(std::size_t index, const FetchResult& answer, const Judgement& judgement) {
  SiteResult result;
  result.site = run_.Sites()[index];
  TakeAnswer(result, answer, judgement);
  const std::size_t position = listIndices_.empty() ? index : listIndices_[index];
  log_.Record(LoggedSiteOf(result, position, run_.RequestUrl(index).value_or("")));
}

}  // namespace tesselwick

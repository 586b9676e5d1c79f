#include "core/net/judgement.h"

namespace tesselwick {

std::string StatusReason(long status) { return "HTTP " + std::to_string(status); }

std::string ReasonText(const Judgement& judgement) {
  using Cause = Judgement::Cause;
  switch (judgement.cause) {
    case Cause::Passed:
    case Cause::ErrorStatus:
      return StatusReason(judgement.status);
    case Cause::RequestFailed:
      return "error " + DescribeFetchError(judgement.error, judgement.limit);
    case Cause::SaysError:
      return reasons::kSaysError;
    case Cause::Says404:
      return reasons::kSays404;
    case Cause::NoTemplate:
      return reasons::kNoTemplate;
    case Cause::NotSent:
      return reasons::kNotSent;
    case Cause::NoAnswer:
      return reasons::kNoAnswer;
  }
  return {};
}

Judgement Judgement::FailedRequest(FetchError number, FetchCause decided) {
  Judgement failed(Cause::RequestFailed);
  failed.error = number;
  failed.limit = decided;
  return failed;
}

Judgement JudgeAnswer(const FetchResult& answer) {
  using Cause = Judgement::Cause;
  if (!answer.ok()) return Judgement::FailedRequest(answer.error, answer.cause);
  // An error page is a failure wherever its word stands, also at the very
  // start of the answer, and so is any answer with an error status.
  const Cause cause = answer.status >= 400 ? Cause::ErrorStatus
                      : answer.saysError   ? Cause::SaysError
                      : answer.says404     ? Cause::Says404
                                           : Cause::Passed;
  return Judgement(cause, answer.status);
}

}  // namespace tesselwick

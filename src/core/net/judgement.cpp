#include "core/net/judgement.h"

namespace tesselwick {

std::string StatusReason(long status) { return "HTTP " + std::to_string(status); }

Judgement JudgeAnswer(const FetchResult& answer) {
  // An error page is a failure wherever its word stands, also at the very
  // start of the answer, and so is any answer with an error status.
  if (!answer.ok) return {false, "error " + DescribeFetchError(answer)};
  if (answer.status >= 400) return {false, StatusReason(answer.status)};
  if (answer.saysError) return {false, reasons::kSaysError};
  if (answer.says404) return {false, reasons::kSays404};
  return {true, {}};
}

}  // namespace tesselwick

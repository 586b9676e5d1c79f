#pragma once

#include <string>

#include "core/net/http_fetch.h"
#include "core/text/translation.h"

namespace tesselwick {

// The words of a site's reason that are not an error number or a status.
// Marked for translation: the results window shows them in the user's
// language, while the report and --json keep them as they are.
namespace reasons {
inline constexpr const char* kSaysError = N_("answer contains \"Error\"");
inline constexpr const char* kSays404 = N_("answer contains \"404\"");
// A site of the list without a request template of its own: nothing to ask.
inline constexpr const char* kNoTemplate = N_("no request template");
// The user stopped the run before the site was asked, or before it answered.
inline constexpr const char* kNotSent = N_("not sent: the run was stopped");
inline constexpr const char* kNoAnswer = N_("no answer: the run was stopped");
}  // namespace reasons

// How a site's answer was judged, and why it failed.
struct Judgement {
  bool passed = false;
  // Empty for a pass; otherwise "error 12029: cannot connect" (or what
  // decided the failure: "error 12004: the answer is larger than 16 MiB"), "HTTP 500",
  // "answer contains \"Error\"" or "answer contains \"404\"".
  std::string reason;

  // The status word of the report: "Pass" or "Fail".
  const char* Word() const { return passed ? N_("Pass") : N_("Fail"); }
};

// How an HTTP status is named in a reason: "HTTP 404".
std::string StatusReason(long status);

// The one rule for a site's answer: it fails when the request failed, when
// its HTTP status is 400 or higher, or when "Error" or "404" occurred anywhere
// in the body (exact, case-sensitive); it passes otherwise. The reason names
// the first of these that holds, in that order.
Judgement JudgeAnswer(const FetchResult& answer);

}  // namespace tesselwick

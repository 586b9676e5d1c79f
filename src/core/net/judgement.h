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
// A site not asked because it had accepted this version of the program
// before: the version, then the date of its newest such Pass.
inline constexpr const char* kAccepted = N_("accepted %1$s on %2$s");
}  // namespace reasons

// How a site fared, and why: the one fact that its status word, its reason
// and what the results keep of its answer are made from.
struct Judgement {
  enum class Cause {
    // Answered with a status under 400 and neither "Error" nor "404".
    Passed,
    // The request failed: `error`, and `limit` when one decided it.
    RequestFailed,
    // Answered with a status of 400 or higher.
    ErrorStatus,
    // The answer contains "Error" (reasons::kSaysError).
    SaysError,
    // The answer contains "404" (reasons::kSays404).
    Says404,
    // The site has no request template of its own: it was never asked.
    NoTemplate,
    // The user stopped the run before the site was asked.
    NotSent,
    // The user stopped the run while the site's answer was awaited.
    NoAnswer,
  };
  Judgement() = default;
  explicit Judgement(Cause what, long answerStatus = 0) : cause(what), status(answerStatus) {}
  // A failed request, with what decided it when a limit or a refused address did.
  static Judgement FailedRequest(FetchError number, FetchCause decided = {});

  Cause cause = Cause::NotSent;
  // The final answer's HTTP status, when there was an answer (Passed,
  // ErrorStatus, SaysError, Says404); 0 otherwise.
  long status = 0;
  // RequestFailed: the error number, and what decided it when a limit or a
  // refused address did.
  FetchError error = FetchError::None;
  FetchCause limit;

  bool Passed() const { return cause == Cause::Passed; }
  // The site's request was sent and ended, with an answer or an error.
  bool Asked() const {
    return cause != Cause::NoTemplate && cause != Cause::NotSent && cause != Cause::NoAnswer;
  }
  // The site is done with: asked and ended, or never meant to be asked;
  // false when a stopped run left it.
  bool Finished() const { return cause != Cause::NotSent && cause != Cause::NoAnswer; }
  // An answer came, with the HTTP status `status`.
  bool Answered() const {
    return cause == Cause::Passed || cause == Cause::ErrorStatus || cause == Cause::SaysError ||
           cause == Cause::Says404;
  }

  // The status word of the report: "Pass" or "Fail".
  const char* Word() const { return Passed() ? N_("Pass") : N_("Fail"); }

  friend bool operator==(const Judgement&, const Judgement&) = default;
};

// The reason that the results, the report, --json, the console and the run
// log give for a site: "HTTP 200" for a pass; for a failure "error 12029:
// cannot connect" (or what decided it: "error 12004: the answer is larger
// than 16 MiB"), "HTTP 500", or one of the reasons:: texts.
std::string ReasonText(const Judgement& judgement);

// How an HTTP status is named in a reason: "HTTP 404".
std::string StatusReason(long status);

// The one rule for a site's answer: it fails when the request failed, when
// its HTTP status is 400 or higher, or when "Error" or "404" occurred anywhere
// in the body (exact, case-sensitive); it passes otherwise. The cause is the
// first of these that holds, in that order.
Judgement JudgeAnswer(const FetchResult& answer);

}  // namespace tesselwick

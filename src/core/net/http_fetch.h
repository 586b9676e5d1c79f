#pragma once

#include <atomic>
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace tesselwick {

// The two ways the program reads an HTTP answer.
enum class FetchMode {
  // For the update server: user agent "TesselWick 1.0 Agent", no extra header;
  // carriage returns dropped and every line followed by one line feed.
  Lines,
  // For PAD files and download sites: user agent "Tesselwick 1.0 Agent",
  // "Accept: */*", never a cached copy; the body kept byte for byte.
  Blocks,
};

// Why a retrieval failed. Each value is the error number the program shows
// for it.
enum class FetchError : int {
  None = 0,
  TimedOut = 12002,
  Internal = 12004,
  InvalidUrl = 12005,
  UnrecognizedScheme = 12006,
  NameNotResolved = 12007,
  CannotConnect = 12029,
  ConnectionAborted = 12030,
  InvalidServerResponse = 12152,
  RedirectFailed = 12156,
  SecureFailure = 12157,
};

// Writes the error number, for logs and test failures.
inline std::ostream& operator<<(std::ostream& out, FetchError error) {
  return out << static_cast<int>(error);
}

// The error number as the program shows it: "12029".
std::string ErrorNumber(FetchError error);
// The number with a few words on what it means: "12029: cannot connect".
std::string DescribeFetchError(FetchError error);

// What a retrieval keeps of an answer's body.
enum class BodyKeeping {
  // All of it: the PAD file, the update server's answers.
  Whole,
  // Only its first kAnswerHeadBytes bytes: a site's answer is judged as it
  // arrives (FetchResult::saysError, says404), so that a run's memory does not
  // grow with what the sites answer.
  Head,
};

inline constexpr std::size_t kAnswerHeadBytes = 1024;

// The longest URL that is requested. libcurl builds no request head over
// 1 MiB, so a longer URL could never be sent: it fails with kInternal, as it
// would inside libcurl, but before anything is made or sent for it.
inline constexpr std::size_t kMaxUrlBytes = std::size_t{1024} * 1024;

// Fixed by the program; tests shorten the time-outs.
struct FetchLimits {
  long connectTimeoutSeconds = 60;
  // A transfer that receives no byte for this long (counted from its start or
  // from the last byte that came) fails with kTimedOut.
  long stallTimeoutSeconds = 60;
  // Whatever the server sends, a retrieval that has not ended after this long
  // fails with kTimedOut, so that a server trickling its answer cannot hold a
  // run or a window for ever.
  long totalTimeoutSeconds = 120;
  long maxRedirects = 10;
  // A longer body fails with kInternal.
  std::size_t maxBodyBytes = std::size_t{16} * 1024 * 1024;
  // When set and it becomes true, the transfer is abandoned (kConnectionAborted);
  // when it is already true, nothing is requested.
  const std::atomic<bool>* cancel = nullptr;
};

// What decided a failure when one of the program's limits or a refused
// address did, rather than what the error number alone says, with the figure
// it names where it has one.
struct FetchCause {
  enum class Kind {
    None,
    // The body grew over FetchLimits::maxBodyBytes (the figure).
    AnswerTooLarge,
    // The URL is longer than kMaxUrlBytes.
    RequestTooLong,
    // More redirects than FetchLimits::maxRedirects (the figure).
    TooManyRedirects,
    // A redirect to an address that cannot be read.
    RedirectToInvalidAddress,
    // A redirect to a scheme other than http and https.
    RedirectToOtherScheme,
    // A host name outside ASCII that is no valid international name.
    InvalidInternationalName,
    // libcurl's request engine gave up on the requests under way (the
    // figure is its CURLMcode).
    RequestEngineFailed,
  };
  Kind kind = Kind::None;
  long long figure = 0;

  explicit operator bool() const { return kind != Kind::None; }
  friend bool operator==(const FetchCause&, const FetchCause&) = default;
};

// The words of a cause, which stand in for the error number's own: "the
// answer is larger than 16 MiB". Empty for Kind::None.
std::string CauseWords(const FetchCause& cause);
// Writes the words, for logs and test failures.
inline std::ostream& operator<<(std::ostream& out, const FetchCause& cause) {
  return out << CauseWords(cause);
}

// The causes of the limits that the program keeps.
FetchCause AnswerTooLarge(std::size_t maxBodyBytes);
FetchCause RequestTooLong();

struct FetchResult {
  // The body as the mode reads it and as much as BodyKeeping keeps; empty
  // when !ok().
  std::string body;
  // HTTP status of the final answer (after redirects); 0 when there was none.
  long status = 0;
  // The failure's number; None for an answer.
  FetchError error = FetchError::None;
  // True when FetchLimits::cancel ended the transfer, the user's giving it
  // up; the error is then ConnectionAborted.
  bool cancelled = false;
  // Whether "Error" and "404" occur anywhere in the whole body (exact,
  // case-sensitive), however much of it was kept; false when !ok().
  bool saysError = false;
  bool says404 = false;
  // How long the request took, from its start to its end, in seconds.
  double seconds = 0;
  // When a limit of the program or a refused address decided the failure,
  // which it was. None otherwise.
  FetchCause cause;

  // An answer came (whatever its HTTP status): no error.
  bool ok() const { return error == FetchError::None; }
};

// A failed retrieval with the given number, and what decided it when that
// was more than the number says.
FetchResult FailedFetch(FetchError error, FetchCause cause = {});

// The number of a failed retrieval with what decided it: "12004: the answer
// is larger than 16 MiB", or "12029: cannot connect" when the number says it all.
std::string DescribeFetchError(FetchError error, const FetchCause& cause);
std::string DescribeFetchError(const FetchResult& failed);
// What the PAD file's box shows for a failed retrieval: the number alone,
// followed by what decided it when a limit or a refused address did.
std::string FailureNumber(const FetchResult& failed);

// A byte count in the largest unit it is a whole number of: "16 MiB", "1000 bytes".
std::string SizeWords(std::size_t bytes);

// Collects an answer's body piece by piece as it arrives, the way its mode
// reads it, and looks for the words of an error page in it, also where a word
// is split between two pieces. Works on bytes alone, so the same reading
// applies whatever delivered them.
class BodyReader {
 public:
  BodyReader(FetchMode mode, std::size_t maxBodyBytes, BodyKeeping keeping = BodyKeeping::Whole)
      : mode_(mode), keeping_(keeping), maxBodyBytes_(maxBodyBytes) {}

  // Takes the next piece of the body. False, keeping nothing of the piece,
  // when the body would grow over maxBodyBytes.
  bool Take(std::string_view piece);
  // Whether "Error" and "404" occurred in the bytes taken so far.
  bool SaysError() const { return saysError_; }
  bool Says404() const { return says404_; }
  // The body read so far (its head only with BodyKeeping::Head). Block mode
  // keeps every byte; line mode drops carriage returns, and a last line
  // without its line feed still gets one.
  std::string Finish() &&;

 private:
  void Keep(std::string_view piece);
  void LookForWords(std::string_view piece);

  FetchMode mode_;
  BodyKeeping keeping_;
  std::size_t maxBodyBytes_;
  std::string body_;
  std::size_t receivedBytes_ = 0;
  char lastByte_ = '\0';
  // The last bytes taken, as many as a word may have begun in.
  std::string tail_;
  bool saysError_ = false;
  bool says404_ = false;
};

// Starts the network layer once for the whole program; false when it cannot.
// Also keeps a peer that hangs up from ending the program (SIGPIPE is ignored).
// Safe to call from several threads; HttpFetch calls it too.
bool InitNetwork();

// One HTTP GET of url, following redirects, http and https only, without any
// proxy. An answer with an error status is still an answer: ok(), with its body.
// A failure while reading the body is a failed retrieval like a failed open.
// A URL that does not begin with "http://" or "https://" (letter case
// ignored) fails with kUnrecognizedScheme before anything is sent; an empty
// one with kInvalidUrl.
FetchResult HttpFetch(const std::string& url, FetchMode mode, const FetchLimits& limits = {},
                      BodyKeeping keeping = BodyKeeping::Whole);

// The line that tells of a failed retrieval on standard error (or the
// command-line tool's error stream): "OpenUrl failed: 12029", without its
// line feed.
std::string OpenUrlFailedLine(FetchError error);

// What an owner of a retrieval does with a failure: ErrorText becomes the
// number in decimal, and one flushed OpenUrlFailedLine goes to standard
// error.
void ReportFetchFailure(FetchError error, std::string& errorText);

}  // namespace tesselwick

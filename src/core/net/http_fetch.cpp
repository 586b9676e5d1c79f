#include "core/net/http_fetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string_view>
#include <utility>

#include "core/net/curl_transfer.h"
#include "core/platform/system.h"

namespace tesselwick {
namespace {

constexpr std::string_view kErrorWord = "Error";
constexpr std::string_view kNotFoundWord = "404";
constexpr std::size_t kLongestWord = std::max(kErrorWord.size(), kNotFoundWord.size());

}  // namespace

FetchResult FailedFetch(FetchError error, FetchCause cause) {
  FetchResult result;
  result.error = error;
  result.cause = cause;
  return result;
}

std::string SizeWords(std::size_t bytes) {
  constexpr std::size_t kKiB = 1024;
  constexpr std::size_t kMiB = kKiB * kKiB;
  if (bytes >= kMiB && bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
  if (bytes >= kKiB && bytes % kKiB == 0) return std::to_string(bytes / kKiB) + " KiB";
  return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

FetchCause AnswerTooLarge(std::size_t maxBodyBytes) {
  return {FetchCause::Kind::AnswerTooLarge, static_cast<long long>(maxBodyBytes)};
}

FetchCause RequestTooLong() { return {FetchCause::Kind::RequestTooLong}; }

std::string CauseWords(const FetchCause& cause) {
  using Kind = FetchCause::Kind;
  switch (cause.kind) {
    case Kind::None:
      return {};
    case Kind::AnswerTooLarge:
      return "the answer is larger than " + SizeWords(static_cast<std::size_t>(cause.figure));
    case Kind::RequestTooLong:
      return "the request is longer than " + SizeWords(kMaxUrlBytes);
    case Kind::TooManyRedirects:
      return "more than " + std::to_string(cause.figure) + " redirects";
    case Kind::RedirectToInvalidAddress:
      return "the redirect leads to an invalid address";
    case Kind::RedirectToOtherScheme:
      return "the redirect leads to an address that is not http or https";
    case Kind::InvalidInternationalName:
      return "the host name is not a valid international name";
    case Kind::RequestEngineFailed:
      return std::string("libcurl could not go on with the requests (") +
             curl_multi_strerror(static_cast<CURLMcode>(cause.figure)) + ")";
  }
  return {};
}

bool BodyReader::Take(std::string_view piece) {
  if (piece.size() > maxBodyBytes_ - receivedBytes_) return false;
  receivedBytes_ += piece.size();
  if (piece.empty()) return true;
  lastByte_ = piece.back();
  LookForWords(piece);
  Keep(piece);
  return true;
}

void BodyReader::LookForWords(std::string_view piece) {
  if (saysError_ && says404_) return;
  // A word split between pieces: the end of what came before, joined to the
  // beginning of this piece.
  std::string seam = tail_;
  seam.append(piece.substr(0, kLongestWord - 1));
  for (const std::string_view text : {std::string_view(seam), piece}) {
    saysError_ = saysError_ || text.find(kErrorWord) != std::string_view::npos;
    says404_ = says404_ || text.find(kNotFoundWord) != std::string_view::npos;
  }
  const std::size_t kept = kLongestWord - 1;
  if (piece.size() >= kept) {
    tail_.assign(piece.substr(piece.size() - kept));
  } else {
    tail_.append(piece);
    if (tail_.size() > kept) tail_.erase(0, tail_.size() - kept);
  }
}

void BodyReader::Keep(std::string_view piece) {
  if (keeping_ == BodyKeeping::Head) {
    if (body_.size() >= kAnswerHeadBytes) return;
    piece = piece.substr(0, kAnswerHeadBytes - body_.size());
  }
  if (mode_ == FetchMode::Blocks) {
    body_.append(piece);
  } else {
    // Line mode keeps every byte except carriage returns; line feeds end lines.
    for (const char c : piece) {
      if (c != '\r') body_.push_back(c);
    }
  }
}

std::string BodyReader::Finish() && {
  // A last line without its line feed is still a line.
  if (mode_ == FetchMode::Lines && receivedBytes_ > 0 && lastByte_ != '\n') body_.push_back('\n');
  return std::move(body_);
}

bool InitNetwork() {
  static const bool started = [] {
#ifdef SIGPIPE
    // A peer that closes its end must not end the program while it writes.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  }();
  return started;
}

FetchResult HttpFetch(const std::string& url, FetchMode mode, const FetchLimits& limits,
                      BodyKeeping keeping) {
  CurlTransfer transfer(url, mode, limits, keeping);
  if (transfer.Refused()) return *transfer.Refused();
  // libcurl reads international host names in the thread's character set.
  const platform::Utf8Text utf8;
  transfer.Starting();
  return transfer.Finish(curl_easy_perform(transfer.Handle()));
}

std::string ErrorNumber(FetchError error) { return std::to_string(static_cast<int>(error)); }

std::string DescribeFetchError(FetchError error) {
  // What each number means, in a few words of the program's own.
  static constexpr std::pair<FetchError, const char*> kWords[] = {
      {FetchError::TimedOut, "timed out"},
      {FetchError::Internal, "other failure"},
      {FetchError::InvalidUrl, "invalid URL"},
      {FetchError::UnrecognizedScheme, "not an http or https address"},
      {FetchError::NameNotResolved, "host not found"},
      {FetchError::CannotConnect, "cannot connect"},
      {FetchError::ConnectionAborted, "connection aborted"},
      {FetchError::InvalidServerResponse, "not a valid HTTP answer"},
      {FetchError::RedirectFailed, "redirect failed"},
      {FetchError::SecureFailure, "secure channel error"},
  };
  std::string text = ErrorNumber(error);
  for (const auto& [known, words] : kWords)
    if (known == error) text += std::string(": ") + words;
  return text;
}

std::string DescribeFetchError(FetchError error, const FetchCause& cause) {
  if (!cause) return DescribeFetchError(error);
  return ErrorNumber(error) + ": " + CauseWords(cause);
}

std::string DescribeFetchError(const FetchResult& failed) {
  return DescribeFetchError(failed.error, failed.cause);
}

std::string FailureNumber(const FetchResult& failed) {
  return failed.cause ? DescribeFetchError(failed) : ErrorNumber(failed.error);
}

std::string OpenUrlFailedLine(FetchError error) { return "OpenUrl failed: " + ErrorNumber(error); }

void ReportFetchFailure(FetchError error, std::string& errorText) {
  errorText = ErrorNumber(error);
  std::fprintf(stderr, "%s\n", OpenUrlFailedLine(error).c_str());
  std::fflush(stderr);
}

}  // namespace tesselwick

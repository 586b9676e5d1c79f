#include "core/net/curl_transfer.h"

#include <chrono>
#include <string_view>
#include <utility>

namespace tesselwick {
namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

// What the callbacks of one transfer share.
struct CurlTransfer::Shared {
  const std::atomic<bool>* cancel = nullptr;
  BodyReader body{FetchMode::Blocks, 0};
  // When the last byte came (headers or body), or when the transfer began.
  Clock::time_point lastByte = Clock::now();
  // Zero: no limit.
  Clock::duration stallLimit{};
  // The limits that a failure may name.
  std::size_t maxBodyBytes = 0;
  long maxRedirects = 0;
  bool tooLarge = false;
  bool cancelled = false;
  bool stalled = false;
};

namespace {

using Transfer = CurlTransfer::Shared;

bool CancelRequested(Transfer& transfer) {
  if (transfer.cancel != nullptr && transfer.cancel->load()) transfer.cancelled = true;
  return transfer.cancelled;
}

size_t OnHeaderBytes(char*, size_t size, size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  const size_t length = size * count;
  if (length > 0) transfer.lastByte = Clock::now();
  return length;
}

size_t OnBodyBytes(char* data, size_t size, size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  const size_t length = size * count;
  if (CancelRequested(transfer)) return 0;
  if (length > 0) transfer.lastByte = Clock::now();
  if (!transfer.body.Take(std::string_view(data, length))) {
    transfer.tooLarge = true;
    return 0;
  }
  return length;
}

// libcurl calls this at least about once a second, also while nothing arrives.
int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto& transfer = *static_cast<Transfer*>(user);
  if (CancelRequested(transfer)) return 1;
  if (transfer.stallLimit > Clock::duration::zero() &&
      Clock::now() - transfer.lastByte >= transfer.stallLimit) {
    transfer.stalled = true;
    return 1;
  }
  return 0;
}

// True when url starts with a scheme the program reads (letter case ignored).
bool IsWebAddress(std::string_view text) {
  auto startsWith = [text](std::string_view scheme) {
    if (text.size() < scheme.size()) return false;
    for (std::size_t i = 0; i < scheme.size(); ++i) {
      const char c = text[i];
      const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
      if (lower != scheme[i]) return false;
    }
    return true;
  };
  return startsWith("http://") || startsWith("https://");
}

// The error number that the program reports for a transfer that libcurl
// ended with `code`, where the code alone decides it.
FetchError ErrorOf(CURLcode code) {
  switch (code) {
    case CURLE_URL_MALFORMAT:
      return FetchError::InvalidUrl;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return FetchError::UnrecognizedScheme;
    case CURLE_TOO_MANY_REDIRECTS:
      return FetchError::RedirectFailed;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return FetchError::NameNotResolved;
    case CURLE_COULDNT_CONNECT:
      return FetchError::CannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
      return FetchError::TimedOut;
    case CURLE_ABORTED_BY_CALLBACK:
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
      return FetchError::ConnectionAborted;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_RANGE_ERROR:
      return FetchError::InvalidServerResponse;
    case CURLE_FILESIZE_EXCEEDED:
      return FetchError::Internal;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
      return FetchError::SecureFailure;
    default:
      return FetchError::Internal;
  }
}

// True when the host of `url` holds a byte outside ASCII: an international
// name, which libcurl converts before it looks the name up.
bool HasInternationalHost(const char* url) {
  CURLU* parts = url != nullptr ? curl_url() : nullptr;
  if (parts == nullptr) return false;
  char* host = nullptr;
  bool international = false;
  if (curl_url_set(parts, CURLUPART_URL, url, 0) == CURLUE_OK &&
      curl_url_get(parts, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
    for (const char* c = host; *c != '\0'; ++c)
      international = international || static_cast<unsigned char>(*c) >= 0x80;
  }
  curl_free(host);
  curl_url_cleanup(parts);
  return international;
}

// What a failed redirect was refused for.
FetchCause RedirectToOtherScheme() { return {FetchCause::Kind::RedirectToOtherScheme}; }

// The failure that the program reports for a transfer that libcurl ended
// with `code`. `status` is the last answer's HTTP status (0 when none came)
// and `lastUrl` the address libcurl was at when it failed (a redirect's
// target after a redirect).
FetchResult FailureOf(CURLcode code, const Transfer& transfer, long status, const char* lastUrl) {
  if (transfer.cancelled) return FailedFetch(FetchError::ConnectionAborted);
  if (transfer.tooLarge) {
    return FailedFetch(FetchError::Internal, AnswerTooLarge(transfer.maxBodyBytes));
  }
  if (transfer.stalled) return FailedFetch(FetchError::TimedOut);
  const bool redirected = status >= 300 && status < 400;
  switch (code) {
    case CURLE_URL_MALFORMAT:
      if (redirected) {
        return FailedFetch(FetchError::RedirectFailed,
                           {FetchCause::Kind::RedirectToInvalidAddress});
      }
      if (HasInternationalHost(lastUrl)) {
        return FailedFetch(FetchError::InvalidUrl, {FetchCause::Kind::InvalidInternationalName});
      }
      return FailedFetch(FetchError::InvalidUrl);
    case CURLE_UNSUPPORTED_PROTOCOL:
      // A redirect to a scheme other than http and https: libcurl leaves the
      // address as it was when it cannot read the target at all (data:,
      // javascript:), and moves to it when it only refuses its scheme (file:).
      if (redirected) return FailedFetch(FetchError::RedirectFailed, RedirectToOtherScheme());
      // libcurl also gives this when a web server answers with bytes that are
      // no HTTP at all; that is an invalid answer, not a refused scheme.
      if (lastUrl != nullptr && IsWebAddress(lastUrl)) {
        return FailedFetch(FetchError::InvalidServerResponse);
      }
      // After an answer, the refused scheme was a redirect's target.
      return status != 0 ? FailedFetch(FetchError::RedirectFailed, RedirectToOtherScheme())
                         : FailedFetch(FetchError::UnrecognizedScheme);
    case CURLE_TOO_MANY_REDIRECTS:
      return FailedFetch(FetchError::RedirectFailed,
                         {FetchCause::Kind::TooManyRedirects, transfer.maxRedirects});
    case CURLE_FILESIZE_EXCEEDED:
      return FailedFetch(FetchError::Internal, AnswerTooLarge(transfer.maxBodyBytes));
    default:
      return FailedFetch(ErrorOf(code));
  }
}

// Every setting of a retrieval in one place; false when libcurl refused one.
bool Configure(CURL* curl, const std::string& url, FetchMode mode, const FetchLimits& limits,
               curl_slist* headers, Transfer& transfer) {
  const bool lines = mode == FetchMode::Lines;
  const CURLcode codes[] = {
      curl_easy_setopt(curl, CURLOPT_URL, url.c_str()),
      curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L),
      // Retrievals run on threads of their own: no signals for time-outs.
      curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L),
      curl_easy_setopt(curl, CURLOPT_USERAGENT,
                       lines ? "TesselWick 1.0 Agent" : "Tesselwick 1.0 Agent"),
      curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers),
      // Always a direct connection, whatever the environment's proxy variables say.
      curl_easy_setopt(curl, CURLOPT_PROXY, ""),
      curl_easy_setopt(curl, CURLOPT_NOPROXY, "*"),
      // Web addresses only: libcurl would otherwise also read local files and more.
      curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https"),
      curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"),
      curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L),
      curl_easy_setopt(curl, CURLOPT_MAXREDIRS, limits.maxRedirects),
      curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, limits.connectTimeoutSeconds),
      // The whole retrieval, redirects included; the stall time is watched by
      // OnProgress, as libcurl's own rule only knows average speeds.
      curl_easy_setopt(curl, CURLOPT_TIMEOUT, limits.totalTimeoutSeconds),
      // A body announced as too large fails before it is read.
      curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE,
                       static_cast<curl_off_t>(limits.maxBodyBytes)),
      curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeaderBytes),
      curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer),
      curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBodyBytes),
      curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer),
      curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L),
      curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress),
      curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer),
      // A cancelled transfer ends at once instead of waiting for a host-name
      // lookup still under way.
      curl_easy_setopt(curl, CURLOPT_QUICK_EXIT, 1L),
      // A host name is looked up for each new connection. libcurl's own cache
      // of names would cost time in proportion to all the names it holds at
      // every lookup, which adds up over thousands of hosts; the system keeps
      // a cache of its own where it has one.
      curl_easy_setopt(curl, CURLOPT_DNS_CACHE_TIMEOUT, 0L),
  };
  for (CURLcode code : codes) {
    if (code != CURLE_OK) return false;
  }
  return true;
}

// Appends one header line; false when libcurl could not take it.
bool AddHeader(curl_slist*& list, const char* line) {
  curl_slist* grown = curl_slist_append(list, line);
  if (grown == nullptr) return false;
  list = grown;
  return true;
}

FetchResult Cancelled() {
  FetchResult cancelled = FailedFetch(FetchError::ConnectionAborted);
  cancelled.cancelled = true;
  return cancelled;
}

}  // namespace

std::optional<FetchResult> CurlTransfer::RefusalOf(const std::string& url,
                                                   const FetchLimits& limits) {
  if (url.empty()) return FailedFetch(FetchError::InvalidUrl);
  // libcurl would guess a scheme for an address without one, and read
  // local files and more besides.
  if (!IsWebAddress(url)) return FailedFetch(FetchError::UnrecognizedScheme);
  if (url.size() > kMaxUrlBytes) return FailedFetch(FetchError::Internal, RequestTooLong());
  if (limits.cancel != nullptr && limits.cancel->load()) return Cancelled();
  return std::nullopt;
}

CurlTransfer::CurlTransfer(const std::string& url, FetchMode mode, const FetchLimits& limits,
                           BodyKeeping keeping)
    : refused_(RefusalOf(url, limits)), shared_(std::make_unique<Shared>()) {
  if (refused_) return;
  if (!InitNetwork()) {
    refused_ = FailedFetch(FetchError::Internal);
    return;
  }
  // Line mode sends no extra header, so libcurl's own "Accept: */*" is taken out.
  // Block mode asks for the origin's current copy, never a cached one.
  const bool headersMade = mode == FetchMode::Lines
                               ? AddHeader(headers_, "Accept:")
                               : AddHeader(headers_, "Accept: */*") &&
                                     AddHeader(headers_, "Cache-Control: no-cache") &&
                                     AddHeader(headers_, "Pragma: no-cache");
  handle_ = headersMade ? curl_easy_init() : nullptr;
  Shared& transfer = *shared_;
  transfer.body = BodyReader(mode, limits.maxBodyBytes, keeping);
  transfer.cancel = limits.cancel;
  transfer.maxBodyBytes = limits.maxBodyBytes;
  transfer.maxRedirects = limits.maxRedirects;
  if (limits.stallTimeoutSeconds > 0)
    transfer.stallLimit = std::chrono::seconds(limits.stallTimeoutSeconds);
  if (handle_ == nullptr || !Configure(handle_, url, mode, limits, headers_, transfer)) {
    refused_ = FailedFetch(FetchError::Internal);
    if (handle_ != nullptr) curl_easy_cleanup(handle_);
    handle_ = nullptr;
  }
}

CurlTransfer::~CurlTransfer() {
  if (handle_ != nullptr) curl_easy_cleanup(handle_);
  curl_slist_free_all(headers_);
}

void CurlTransfer::KeepConnection(bool keep) {
  if (handle_ != nullptr) curl_easy_setopt(handle_, CURLOPT_FORBID_REUSE, keep ? 0L : 1L);
}

void CurlTransfer::Starting() { shared_->lastByte = Clock::now(); }

FetchResult CurlTransfer::Finish(CURLcode code) {
  Shared& transfer = *shared_;
  long status = 0;
  curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &status);
  curl_off_t micros = 0;
  if (curl_easy_getinfo(handle_, CURLINFO_TOTAL_TIME_T, &micros) != CURLE_OK) micros = 0;
  const double seconds = static_cast<double>(micros) / 1e6;
  if (code != CURLE_OK) {
    char* lastUrl = nullptr;
    if (curl_easy_getinfo(handle_, CURLINFO_EFFECTIVE_URL, &lastUrl) != CURLE_OK) {
      lastUrl = nullptr;
    }
    FetchResult failed = FailureOf(code, transfer, status, lastUrl);
    failed.status = status;
    failed.cancelled = transfer.cancelled;
    failed.seconds = seconds;
    return failed;
  }

  FetchResult result;
  result.status = status;
  result.saysError = transfer.body.SaysError();
  result.says404 = transfer.body.Says404();
  result.body = std::move(transfer.body).Finish();
  result.seconds = seconds;
  return result;
}

}  // namespace tesselwick

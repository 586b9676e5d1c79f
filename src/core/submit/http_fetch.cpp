#include "core/submit/http_fetch.h"

#include <curl/curl.h>

namespace tesselwick {
bool InitNetwork() { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }
FetchResult HttpFetch(const std::string&, FetchMode, const FetchLimits&) { return {}; }
void ReportFetchFailure(int, std::string&) {}
}  // namespace tesselwick

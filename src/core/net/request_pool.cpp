#include "core/net/request_pool.h"

#include <curl/curl.h>

#include <algorithm>
#include <deque>
#include <set>
#include <unordered_map>
#include <utility>

#include "core/net/curl_transfer.h"
#include "core/platform/system.h"

namespace tesselwick {
namespace {

// How many sites whose host was busy may wait for their turn; only the list
// index and the host of each is kept. Beyond that, no further site is looked
// at until one of them has gone.
constexpr std::size_t kMostWaitingForHost = 1024;
// The longest the run's thread sleeps without looking at its requests:
// each look checks how long a request has gone without a byte.
constexpr int kLongestSleepMs = 1000;
// Open files a request may need at once (its connection, and a pair for its
// host-name lookup), and those the rest of the program may need besides.
constexpr std::size_t kFilesPerRequest = 3;
constexpr std::size_t kFilesBesides = 256;
// How long the run's thread lets answers gather before it looks at its
// requests, for each request under way: 2.56 ms with 256 under way.
constexpr std::chrono::microseconds kPausePerRequest{10};

// "name:port" of a URL's host, the name in lower case; empty when libcurl
// cannot read the URL (its request then fails at once).
std::string HostOf(const std::string& url) {
  CURLU* parts = curl_url();
  if (parts == nullptr) return {};
  std::string key;
  char* host = nullptr;
  char* port = nullptr;
  if (curl_url_set(parts, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
      curl_url_get(parts, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
      curl_url_get(parts, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
    key = host;
    for (char& c : key)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    key += ':';
    key += port;
  }
  curl_free(host);
  curl_free(port);
  curl_url_cleanup(parts);
  return key;
}

}  // namespace

// What the run's thread keeps; nobody else touches it, but for Stop waking
// the multi handle.
struct RequestPool::Engine {
  struct Request {
    std::size_t index = 0;
    std::string host;
    std::size_t urlBytes = 0;
    std::unique_ptr<CurlTransfer> transfer;
  };
  // A site taken from the list, with its URL made.
  struct Site {
    std::size_t index = 0;
    std::optional<std::string> url;
    std::string host;
  };

  Engine() : multi(curl_multi_init()) {}
  ~Engine() {
    if (multi != nullptr) curl_multi_cleanup(multi);
  }
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  bool HostBusy(const std::string& host, int perHost) const {
    const auto found = underWayTo.find(host);
    return found != underWayTo.end() && found->second >= perHost;
  }

  // Puts a site whose host is busy in its host's queue.
  void Wait(std::size_t index, std::string host) {
    waiting[host].push_back(index);
    ++waitingCount;
  }
  // A host that has room again: the first site waiting for it may go.
  void HostHasRoom(const std::string& host) {
    const auto found = waiting.find(host);
    if (found != waiting.end()) ready.emplace(found->second.front(), host);
  }
  // Takes the first site of the list that waits for a host with room.
  std::optional<Site> TakeReady(int perHost) {
    while (!ready.empty()) {
      auto [index, host] = *ready.begin();
      ready.erase(ready.begin());
      const auto queue = waiting.find(host);
      if (queue == waiting.end() || queue->second.front() != index) continue;
      // Filled again by a site of the list that went first.
      if (HostBusy(host, perHost)) continue;
      queue->second.pop_front();
      --waitingCount;
      if (queue->second.empty()) {
        waiting.erase(queue);
      } else {
        ready.emplace(queue->second.front(), host);
      }
      return Site{index, std::nullopt, std::move(host)};
    }
    return std::nullopt;
  }

  // Whether the connection of a request to `host` is kept for a later
  // request. libcurl's cache of idle connections costs time in proportion to
  // the hosts it ever held, so a connection is only kept where another site
  // of its host is under way or waiting, or the site before it in the list
  // went to the same host, as sites of one host tend to stand together.
  bool KeepConnection(const std::string& host) const {
    return underWayTo.count(host) > 0 || waiting.count(host) > 0 || host == lastHost;
  }

  CURLM* multi;
  std::unordered_map<CURL*, Request> underWay;
  // Requests under way per host.
  std::unordered_map<std::string, int> underWayTo;
  // Sites whose host was busy when their turn came, per host in list order,
  // and the first of those whose host has room again, in list order.
  std::unordered_map<std::string, std::deque<std::size_t>> waiting;
  std::set<std::pair<std::size_t, std::string>> ready;
  std::size_t waitingCount = 0;
  // A site whose URL waits for the other requests' URLs to make room.
  std::optional<Site> held;
  // The next site of the list not yet looked at.
  std::size_t next = 0;
  std::size_t urlBytesUnderWay = 0;
  // The host of the request started last.
  std::string lastHost;
};

RequestPool::RequestPool(const std::vector<std::string>& urls, FetchLimits limits,
                         int maxConcurrent, int perHost)
    : RequestPool(
          urls.size(), [urls](std::size_t index) { return std::optional(urls[index]); }, limits,
          maxConcurrent, perHost) {}

RequestPool::RequestPool(std::size_t count, UrlMaker makeUrl, FetchLimits limits, int maxConcurrent,
                         int perHost)
    : count_(count),
      makeUrl_(std::move(makeUrl)),
      limits_(limits),
      maxConcurrent_(static_cast<std::size_t>(std::max(maxConcurrent, 1))),
      perHost_(std::max(perHost, 1)),
      answers_(count) {
  limits_.cancel = &stop_;
  InitNetwork();
  platform::RaiseOpenFileLimit(kFilesBesides + kFilesPerRequest * maxConcurrent_);
  engine_ = std::make_unique<Engine>();
  if (engine_->multi != nullptr) {
    // libcurl keeps to the same limit of one host's connections, also for
    // the targets of redirects; its cache of idle connections stays as small
    // as the run.
    curl_multi_setopt(engine_->multi, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(perHost_));
    curl_multi_setopt(engine_->multi, CURLMOPT_MAXCONNECTS, static_cast<long>(maxConcurrent_));
  }
  thread_ = std::thread([this] { Run(); });
}

RequestPool::~RequestPool() {
  Stop();
  if (thread_.joinable()) thread_.join();
}

void RequestPool::Run() {
  Engine& e = *engine_;
  // libcurl reads international host names in the thread's character set.
  const platform::Utf8Text utf8;
  CURLMcode failure = e.multi == nullptr ? CURLM_OUT_OF_MEMORY : CURLM_OK;
  while (failure == CURLM_OK && !stop_.load()) {
    Fill(e);
    if (stop_.load()) break;
    // With nothing under way, Fill has started or ended every site it could
    // see, and every host had room: the list is through.
    if (e.underWay.empty()) break;
    int running = 0;
    failure = curl_multi_perform(e.multi, &running);
    if (failure != CURLM_OK) break;
    // A request that ended leaves room for the next at once; otherwise the
    // thread sleeps until a request has something to do.
    const bool someEnded = TakeEnded(e);
    if (stop_.load() || someEnded) continue;
    failure = curl_multi_poll(e.multi, nullptr, 0, kLongestSleepMs, nullptr);
    // Each look at the requests costs time for every request under way, so
    // with many under way the thread lets what is coming gather for a moment
    // before it looks: a few milliseconds at most, and time in proportion to
    // the sites instead of to the sites times the requests under way.
    if (failure == CURLM_OK && !stop_.load())
      std::this_thread::sleep_for(kPausePerRequest * e.underWay.size());
  }
  if (failure != CURLM_OK) {
    FailUnfinished(e, {FetchCause::Kind::RequestEngineFailed, failure});
  }
  // After Stop: the requests still under way are abandoned, unanswered.
  for (auto& [handle, request] : e.underWay) curl_multi_remove_handle(e.multi, handle);
  e.underWay.clear();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    underWay_.clear();
    running_ = false;
  }
  arrived_.notify_all();
}

void RequestPool::FailUnfinished(Engine& e, FetchCause cause) {
  const FetchResult failed = FailedFetch(FetchError::Internal, cause);
  std::vector<std::size_t> unfinished;
  for (auto& [handle, request] : e.underWay) {
    if (e.multi != nullptr) curl_multi_remove_handle(e.multi, handle);
    unfinished.push_back(request.index);
  }
  e.underWay.clear();
  if (e.held) unfinished.push_back(e.held->index);
  e.held.reset();
  for (const auto& [host, queue] : e.waiting)
    unfinished.insert(unfinished.end(), queue.begin(), queue.end());
  e.waiting.clear();
  e.ready.clear();
  e.waitingCount = 0;
  std::sort(unfinished.begin(), unfinished.end());
  for (; e.next < count_; ++e.next) unfinished.push_back(e.next);
  for (const std::size_t index : unfinished) Ended(index, failed);
}

void RequestPool::Fill(Engine& e) {
  while (!stop_.load() && e.underWay.size() < maxConcurrent_) {
    Engine::Site site;
    if (e.held) {
      if (e.urlBytesUnderWay > 0 && e.urlBytesUnderWay + e.held->url->size() > kUrlBytesUnderWay)
        return;
      site = std::move(*e.held);
      e.held.reset();
    } else if (std::optional<Engine::Site> turn = e.TakeReady(perHost_)) {
      // The URL is made from the same site as before: its host is the same.
      site = std::move(*turn);
      site.url = makeUrl_(site.index);
    } else if (e.next < count_ && e.waitingCount < kMostWaitingForHost) {
      site.index = e.next++;
      site.url = makeUrl_(site.index);
      if (site.url) site.host = HostOf(*site.url);
    } else {
      return;
    }
    if (!site.url) {
      Ended(site.index, FailedFetch(FetchError::Internal, RequestTooLong()));
      continue;
    }
    // What would never be sent needs no turn.
    if (std::optional<FetchResult> refused = CurlTransfer::RefusalOf(*site.url, limits_)) {
      Ended(site.index, std::move(*refused));
      continue;
    }
    // A site that waits for its host keeps no handle: its transfer is made
    // when its turn comes.
    if (e.HostBusy(site.host, perHost_)) {
      e.Wait(site.index, std::move(site.host));
      continue;
    }
    // libcurl keeps several copies of a URL while its request is under way:
    // very long ones take turns, so that they can't add up. One request may
    // always go.
    const std::size_t urlBytes = site.url->size();
    if (e.urlBytesUnderWay > 0 && e.urlBytesUnderWay + urlBytes > kUrlBytesUnderWay) {
      e.held = std::move(site);
      return;
    }
    auto transfer =
        std::make_unique<CurlTransfer>(*site.url, FetchMode::Blocks, limits_, BodyKeeping::Head);
    if (transfer->Refused()) {
      Ended(site.index, *transfer->Refused());
      continue;
    }
    {
      // Under the lock, so that nothing starts once Stop has returned.
      std::lock_guard<std::mutex> lock(mutex_);
      if (stop_.load()) return;
      underWay_.insert(site.index);
    }
    CURL* handle = transfer->Handle();
    transfer->KeepConnection(e.KeepConnection(site.host));
    e.lastHost = site.host;
    transfer->Starting();
    if (curl_multi_add_handle(e.multi, handle) != CURLM_OK) {
      Ended(site.index, FailedFetch(FetchError::Internal));
      continue;
    }
    ++e.underWayTo[site.host];
    e.urlBytesUnderWay += urlBytes;
    e.underWay.emplace(
        handle, Engine::Request{site.index, std::move(site.host), urlBytes, std::move(transfer)});
  }
}

bool RequestPool::TakeEnded(Engine& e) {
  bool someEnded = false;
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(e.multi, &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    CURL* const handle = message->easy_handle;
    const CURLcode code = message->data.result;
    const auto found = e.underWay.find(handle);
    if (found == e.underWay.end()) continue;
    curl_multi_remove_handle(e.multi, handle);
    Engine::Request& request = found->second;
    FetchResult result = request.transfer->Finish(code);
    if (--e.underWayTo[request.host] == 0) e.underWayTo.erase(request.host);
    e.HostHasRoom(request.host);
    e.urlBytesUnderWay -= request.urlBytes;
    const std::size_t index = request.index;
    e.underWay.erase(found);
    Ended(index, std::move(result));
    someEnded = true;
  }
  return someEnded;
}

void RequestPool::Ended(std::size_t index, FetchResult result) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    underWay_.erase(index);
    // A request that Stop cut short never finished; one that ended on its own
    // counts, even when Stop came just after.
    if (!result.cancelled) queue_.emplace_back(index, std::move(result));
  }
  arrived_.notify_all();
}

std::vector<std::size_t> RequestPool::Poll() { return Wait(std::chrono::milliseconds(0)); }

std::vector<std::size_t> RequestPool::Wait(std::chrono::milliseconds timeout) {
  std::vector<std::pair<std::size_t, FetchResult>> taken;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (timeout.count() > 0) {
      arrived_.wait_for(lock, timeout, [this] { return !queue_.empty() || !running_; });
    }
    taken.swap(queue_);
  }
  std::vector<std::size_t> indices;
  indices.reserve(taken.size());
  for (auto& [index, result] : taken) {
    answers_[index] = std::move(result);
    indices.push_back(index);
  }
  finished_ += indices.size();
  return indices;
}

void RequestPool::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stop_.exchange(true)) return;
  }
  if (engine_ && engine_->multi != nullptr) curl_multi_wakeup(engine_->multi);
}

bool RequestPool::Done() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !running_ && queue_.empty();
}

std::vector<std::size_t> RequestPool::InFlight() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::vector<std::size_t>(underWay_.begin(), underWay_.end());
}

}  // namespace tesselwick

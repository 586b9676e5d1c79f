#include "http_front.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tesselwick::site {
namespace {

using Clock = FrontClock;
using std::chrono::milliseconds;

// How often the deadlines of waiting connections are looked at: a deadline
// takes effect at most this much late.
constexpr int kSweepMs = 50;
// Connections taken from the queue of new ones before the waiting ones are
// looked at again.
constexpr int kAcceptsPerRound = 256;
// Out of file descriptors, new connections wait in the system's queue this long.
constexpr milliseconds kAcceptPause{100};

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// A character of a token: a method or a header name.
bool IsTokenChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (std::isalnum(u) != 0 && u < 0x80) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), IsTokenChar);
}

// A request target: visible characters only, so no space, no control
// character and nothing that a reader could take for the end of the line.
bool IsTarget(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u > 0x20 && u != 0x7f;
  });
}

// A header value: visible characters, spaces, tabs and bytes over 0x7f.
bool IsFieldValue(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u == '\t' || (u >= 0x20 && u != 0x7f);
  });
}

// The status that refuses `line` as a request line, 0 when it is one that the
// site answers: "METHOD TARGET HTTP/1.x", one space between the parts, the
// method GET or HEAD.
int RequestLineStatus(std::string_view line) {
  const std::size_t first = line.find(' ');
  if (first == std::string_view::npos) return 400;
  const std::size_t second = line.find(' ', first + 1);
  if (second == std::string_view::npos) return 400;
  const std::string_view method = line.substr(0, first);
  const std::string_view target = line.substr(first + 1, second - first - 1);
  const std::string_view version = line.substr(second + 1);
  if (!IsToken(method) || !IsTarget(target) || (version != "HTTP/1.1" && version != "HTTP/1.0"))
    return 400;
  return method == "GET" || method == "HEAD" ? 0 : 405;
}

// Sends a short answer if the socket takes it now; a client that does not
// read goes without.
void SendIfTaken(int fd, const std::string& answer) {
  ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

void CloseSocket(int fd) {
  ::shutdown(fd, SHUT_RDWR);
  ::close(fd);
}

// The client's address as text; an IPv4 client of an IPv6 socket as IPv4.
std::string AddressText(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto& in = reinterpret_cast<const sockaddr_in&>(address);
    ::inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
  } else if (address.ss_family == AF_INET6) {
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
    ::inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text);
  }
  std::string_view shown = text;
  if (shown.rfind("::ffff:", 0) == 0 && shown.find('.') != std::string_view::npos) {
    shown.remove_prefix(7);
  }
  return std::string(shown);
}

}  // namespace

RequestCheck CheckRequest(std::string_view bytes, std::size_t maxBytes) {
  const RequestCheck wait{RequestCheck::kIncomplete, 0};
  const auto refuse = [](int status) { return RequestCheck{RequestCheck::kRefused, status}; };
  // Every line that has come whole is looked at at once, so a request is
  // refused on its first bad line, however much of it is still to come.
  bool haveLength = false;
  std::uint64_t length = 0;
  std::size_t at = 0;
  for (;;) {
    const std::size_t end = bytes.substr(0, maxBytes).find('\n', at);
    if (end == std::string_view::npos) {
      if (bytes.size() < maxBytes) return wait;
      return refuse(at == 0 ? 414 : 431);
    }
    // Every line ends with CR LF, and no CR stands anywhere else in the head.
    if (end == at || bytes[end - 1] != '\r') return refuse(400);
    const std::string_view line = bytes.substr(at, end - 1 - at);
    if (line.find('\r') != std::string_view::npos) return refuse(400);
    const bool first = at == 0;
    at = end + 1;
    if (first) {
      if (const int status = RequestLineStatus(line); status != 0) return refuse(status);
      continue;
    }
    if (line.empty()) break;  // the end of the head
    // "name: value", the name a token right before the colon; a line that
    // begins with a space or tab (a folded value) has no name.
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) return refuse(400);
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = Trimmed(line.substr(colon + 1));
    if (!IsFieldValue(value)) return refuse(400);
    // The site takes no request body but one of a plain length: a coded body
    // (chunked or any other) is refused, as is a second or unreadable length,
    // so that no two readers could ever see a different end of the request.
    if (SameLetters(name, "Transfer-Encoding")) return refuse(400);
    if (SameLetters(name, "Content-Length")) {
      if (haveLength || value.empty() ||
          !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return refuse(400);
      haveLength = true;
      const auto [stop, ec] = std::from_chars(value.data(), value.data() + value.size(), length);
      if (ec != std::errc{}) return refuse(413);  // more digits than any size
    }
  }
  const std::size_t bodyStart = at;
  if (length > maxBytes - bodyStart) return refuse(413);
  if (bytes.size() - bodyStart < length) return wait;
  return {RequestCheck::kComplete, 0, bodyStart + static_cast<std::size_t>(length)};
}

std::string RefusalAnswer(int status) {
  const char* reason = status == 400   ? "Bad Request"
                       : status == 405 ? "Method Not Allowed"
                       : status == 408 ? "Request Timeout"
                       : status == 413 ? "Payload Too Large"
                       : status == 414 ? "URI Too Long"
                       : status == 431 ? "Request Header Fields Too Large"
                       : status == 503 ? "Service Unavailable"
                                       : "Error";
  std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
  // Too many connections from one address: they may try again in a moment.
  if (status == 503) answer += "Retry-After: 1\r\n";
  if (status == 405) answer += "Allow: GET, HEAD\r\n";
  answer += "Connection: close\r\nContent-Length: 0\r\n\r\n";
  return answer;
}

// A connection in the front's hands: waiting for a request, waiting its turn,
// or being answered.
struct FrontConnection {
  ClientConnection c;
  bool reading = false;          // part of a request has come
  bool watched = false;          // its socket is in the front's epoll set
  Clock::time_point deadline{};  // idle: closed then; reading: refused (408) then
};
using ConnectionPtr = std::unique_ptr<FrontConnection>;

struct HttpFront::Impl {
  FrontLimits limits;
  RequestHandler handler;
  int listenFd = -1;
  int epollFd = -1;
  int wakeFd = -1;
  int port = 0;
  bool started = false;
  std::atomic<bool> stopping{false};
  std::thread waiter;
  std::vector<std::thread> answerers;

  // Requests that have come whole, for the answering threads.
  std::mutex jobsMutex;
  std::condition_variable jobsReady;
  std::deque<ConnectionPtr> jobs;
  bool jobsEnd = false;
  // Connections back from the answering threads: to keep (true) or to close.
  std::mutex returnsMutex;
  std::vector<std::pair<ConnectionPtr, bool>> returns;

  // The waiting thread's own.
  struct Client {
    int active = 0;  // connections being read or answered
    std::deque<ConnectionPtr> waiting;
  };
  std::unordered_map<int, ConnectionPtr> polled;  // by socket: waiting for a request
  std::unordered_map<std::string, Client> clients;
  bool acceptPaused = false;
  Clock::time_point acceptResumes{};

  void Wait();
  void AcceptAll(Clock::time_point now);
  void Admit(int fd, std::string client, Clock::time_point now);
  void Await(ConnectionPtr conn, Clock::time_point now);
  void Read(int fd, Clock::time_point now);
  void Proceed(ConnectionPtr conn, Clock::time_point now);
  void Close(ConnectionPtr conn, Clock::time_point now);
  void Sweep(Clock::time_point now);
  void TakeReturns(Clock::time_point now);
  void Answer();
  void Watch(int fd, std::uint32_t events, int op) const {
    epoll_event event{};
    event.events = events;
    event.data.fd = fd;
    ::epoll_ctl(epollFd, op, fd, &event);
  }
};

void HttpFront::Impl::Wait() {
  std::vector<epoll_event> events(256);
  auto nextSweep = Clock::now();
  while (!stopping) {
    const int n = ::epoll_wait(epollFd, events.data(), static_cast<int>(events.size()), kSweepMs);
    if (n < 0 && errno != EINTR) break;
    auto now = Clock::now();
    for (int i = 0; i < n; ++i) {
      const int fd = events[static_cast<std::size_t>(i)].data.fd;
      if (fd == listenFd) {
        AcceptAll(now);
      } else if (fd == wakeFd) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = ::read(wakeFd, &count, sizeof count);
        TakeReturns(now);
      } else {
        Read(fd, now);
      }
    }
    now = Clock::now();
    if (now >= nextSweep) {
      Sweep(now);
      nextSweep = now + milliseconds(kSweepMs);
    }
  }
  ::close(listenFd);
  listenFd = -1;
  for (auto& [fd, conn] : polled) CloseSocket(fd);
  polled.clear();
  for (auto& [address, client] : clients) {
    for (const ConnectionPtr& conn : client.waiting) CloseSocket(conn->c.fd);
  }
  clients.clear();
}

void HttpFront::Impl::AcceptAll(Clock::time_point now) {
  for (int i = 0; i < kAcceptsPerRound; ++i) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    const int fd = ::accept4(listenFd, reinterpret_cast<sockaddr*>(&address), &length,
                             SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) {
      // An answer goes out in several writes: without this, the second waits
      // for the client's delayed acknowledgement of the first on a connection
      // kept for the next request, some 40 ms each time.
      const int yes = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
      Admit(fd, AddressText(address), now);
      continue;
    }
    if (errno == EINTR || errno == ECONNABORTED) continue;
    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
      // The listening socket would stay readable: stop looking at it a while.
      Watch(listenFd, 0, EPOLL_CTL_MOD);
      acceptPaused = true;
      acceptResumes = now + kAcceptPause;
    }
    return;
  }
}

void HttpFront::Impl::Admit(int fd, std::string client, Clock::time_point now) {
  Client& own = clients[client];
  auto conn = std::make_unique<FrontConnection>();
  conn->c.fd = fd;
  conn->c.client = std::move(client);
  if (own.active < limits.perClient) {
    ++own.active;
    Await(std::move(conn), now);
  } else if (own.waiting.size() < static_cast<std::size_t>(limits.waitingPerClient)) {
    own.waiting.push_back(std::move(conn));
  } else {
    SendIfTaken(fd, RefusalAnswer(503));
    CloseSocket(fd);
  }
}

// A connection that may get its next request: watched until it has come, or
// handed on at once when it is there already.
void HttpFront::Impl::Await(ConnectionPtr conn, Clock::time_point now) {
  conn->reading = !conn->c.received.empty();
  conn->deadline = now + (conn->reading ? limits.requestTimeout : limits.idleTimeout);
  Proceed(std::move(conn), now);
}

void HttpFront::Impl::Read(int fd, Clock::time_point now) {
  const auto found = polled.find(fd);
  if (found == polled.end()) return;
  FrontConnection& conn = *found->second;
  std::string& received = conn.c.received;
  static thread_local char buffer[16384];
  const std::size_t room =
      limits.maxRequestBytes - std::min(received.size(), limits.maxRequestBytes);
  const ssize_t n = ::recv(fd, buffer, std::min(room, sizeof buffer), 0);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
  ConnectionPtr owned = std::move(found->second);
  polled.erase(found);
  if (n < 0) {
    Close(std::move(owned), now);
    return;
  }
  if (n == 0 && room > 0) conn.c.ended = true;
  received.append(buffer, static_cast<std::size_t>(n));
  if (!conn.reading && !received.empty()) {
    conn.reading = true;
    conn.deadline = now + limits.requestTimeout;
  }
  Proceed(std::move(owned), now);
}

// Hands the connection's request on when it has come whole, refuses it when
// it broke a limit, or watches the connection further.
void HttpFront::Impl::Proceed(ConnectionPtr conn, Clock::time_point now) {
  ClientConnection& c = conn->c;
  bool answer = false;
  if (!c.received.empty()) {
    RequestCheck check = CheckRequest(c.received, limits.maxRequestBytes);
    // A request that the client cut off is a bad request.
    if (check.kind == RequestCheck::kIncomplete && c.ended) check = {RequestCheck::kRefused, 400};
    if (check.kind == RequestCheck::kRefused) {
      // One refusal, and the connection ends: nothing after a request that
      // broke the rules is ever read as a request.
      SendIfTaken(c.fd, RefusalAnswer(check.status));
      Close(std::move(conn), now);
      return;
    }
    answer = check.kind == RequestCheck::kComplete;
    c.requestBytes = check.size;
  } else if (c.ended) {
    Close(std::move(conn), now);
    return;
  }
  if (!answer) {
    if (!conn->watched) Watch(c.fd, EPOLLIN, EPOLL_CTL_ADD);
    conn->watched = true;
    polled.emplace(c.fd, std::move(conn));
    return;
  }
  if (conn->watched) Watch(c.fd, 0, EPOLL_CTL_DEL);
  conn->watched = false;
  {
    std::lock_guard<std::mutex> lock(jobsMutex);
    jobs.push_back(std::move(conn));
  }
  jobsReady.notify_one();
}

// Closes a connection, and lets the next connection of the same client that
// waits its turn take its place.
void HttpFront::Impl::Close(ConnectionPtr conn, Clock::time_point now) {
  if (conn->watched) ::epoll_ctl(epollFd, EPOLL_CTL_DEL, conn->c.fd, nullptr);
  CloseSocket(conn->c.fd);
  const auto found = clients.find(conn->c.client);
  if (found == clients.end()) return;
  Client& own = found->second;
  --own.active;
  if (!own.waiting.empty()) {
    ConnectionPtr next = std::move(own.waiting.front());
    own.waiting.pop_front();
    ++own.active;
    Await(std::move(next), now);
  } else if (own.active <= 0) {
    clients.erase(found);
  }
}

void HttpFront::Impl::Sweep(Clock::time_point now) {
  std::vector<int> due;
  for (const auto& [fd, conn] : polled) {
    if (now >= conn->deadline) due.push_back(fd);
  }
  for (const int fd : due) {
    const auto found = polled.find(fd);
    if (found == polled.end()) continue;
    ConnectionPtr conn = std::move(found->second);
    polled.erase(found);
    // A request that did not come whole in time is refused; a connection on
    // which none came is closed without a word.
    if (conn->reading) SendIfTaken(fd, RefusalAnswer(408));
    Close(std::move(conn), now);
  }
  if (acceptPaused && now >= acceptResumes) {
    acceptPaused = false;
    Watch(listenFd, EPOLLIN, EPOLL_CTL_MOD);
  }
}

void HttpFront::Impl::TakeReturns(Clock::time_point now) {
  std::vector<std::pair<ConnectionPtr, bool>> taken;
  {
    std::lock_guard<std::mutex> lock(returnsMutex);
    taken.swap(returns);
  }
  for (auto& [conn, keep] : taken) {
    if (keep) {
      Await(std::move(conn), now);
    } else {
      Close(std::move(conn), now);
    }
  }
}

void HttpFront::Impl::Answer() {
  for (;;) {
    ConnectionPtr conn;
    {
      std::unique_lock<std::mutex> lock(jobsMutex);
      jobsReady.wait(lock, [this] { return jobsEnd || !jobs.empty(); });
      if (jobsEnd) return;
      conn = std::move(jobs.front());
      jobs.pop_front();
    }
    bool keep = false;
    try {
      keep = handler(conn->c);
    } catch (...) {
      keep = false;
    }
    ++conn->c.answered;
    {
      std::lock_guard<std::mutex> lock(returnsMutex);
      returns.emplace_back(std::move(conn), keep);
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t put = ::write(wakeFd, &one, sizeof one);
  }
}

HttpFront::HttpFront(FrontLimits limits, RequestHandler handler) : impl_(std::make_unique<Impl>()) {
  impl_->limits = limits;
  impl_->handler = std::move(handler);
}

HttpFront::~HttpFront() { Stop(); }

bool HttpFront::Listen(const std::string& host, int port, std::string& error) {
  Impl& m = *impl_;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  if (rc != 0) {
    error = std::string("cannot resolve the host name (") + ::gai_strerror(rc) + ")";
    return false;
  }
  std::string reason = "the address cannot be bound";
  for (addrinfo* ai = found; ai != nullptr && m.listenFd < 0; ai = ai->ai_next) {
    const int fd =
        ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) {
      reason = std::strerror(errno);
      continue;
    }
    // SO_REUSEADDR only: with SO_REUSEPORT a second server would share the
    // port silently instead of failing to start.
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (ai->ai_family == AF_INET6) {
      const int no = 0;
      ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &no, sizeof no);
    }
    if (::bind(fd, ai->ai_addr, ai->ai_addrlen) != 0 || ::listen(fd, SOMAXCONN) != 0) {
      reason = std::strerror(errno);
      ::close(fd);
      continue;
    }
    m.listenFd = fd;
  }
  ::freeaddrinfo(found);
  if (m.listenFd < 0) {
    reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    error = reason;
    return false;
  }
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  ::getsockname(m.listenFd, reinterpret_cast<sockaddr*>(&bound), &length);
  m.port = bound.ss_family == AF_INET6
               ? ntohs(reinterpret_cast<const sockaddr_in6&>(bound).sin6_port)
               : ntohs(reinterpret_cast<const sockaddr_in&>(bound).sin_port);
  return true;
}

int HttpFront::Port() const { return impl_->port; }

bool HttpFront::Start(std::string& error) {
  Impl& m = *impl_;
  if (m.started || m.listenFd < 0) {
    error = m.started ? "already started" : "not listening";
    return false;
  }
  m.epollFd = ::epoll_create1(EPOLL_CLOEXEC);
  if (m.epollFd >= 0) m.wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (m.epollFd < 0 || m.wakeFd < 0) {
    error = std::strerror(errno);
    if (m.epollFd >= 0) ::close(m.epollFd);
    m.epollFd = -1;
    return false;
  }
  m.Watch(m.listenFd, EPOLLIN, EPOLL_CTL_ADD);
  m.Watch(m.wakeFd, EPOLLIN, EPOLL_CTL_ADD);
  m.stopping = false;
  m.jobsEnd = false;
  m.started = true;
  m.waiter = std::thread([&m] { m.Wait(); });
  for (int i = 0; i < std::max(m.limits.threads, 1); ++i) {
    m.answerers.emplace_back([&m] { m.Answer(); });
  }
  return true;
}

void HttpFront::Stop() {
  Impl& m = *impl_;
  if (!m.started) {
    if (m.listenFd >= 0) ::close(m.listenFd);
    m.listenFd = -1;
    return;
  }
  m.stopping = true;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t put = ::write(m.wakeFd, &one, sizeof one);
  m.waiter.join();
  {
    std::lock_guard<std::mutex> lock(m.jobsMutex);
    m.jobsEnd = true;
  }
  m.jobsReady.notify_all();
  for (std::thread& t : m.answerers) t.join();
  m.answerers.clear();
  // Requests not begun, and connections back from their answers, are closed.
  for (const ConnectionPtr& conn : m.jobs) CloseSocket(conn->c.fd);
  m.jobs.clear();
  for (const auto& [conn, keep] : m.returns) CloseSocket(conn->c.fd);
  m.returns.clear();
  ::close(m.epollFd);
  ::close(m.wakeFd);
  m.epollFd = m.wakeFd = -1;
  m.started = false;
}

}  // namespace tesselwick::site

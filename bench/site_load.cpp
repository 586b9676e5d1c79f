// tesselwick-site under load, in one of two ways, for a fixed time:
//  - mixed (--clients C): many clients at once sending the program's own
//    requests mixed with malformed ones, very long URLs and requests that
//    trickle in;
//  - hostile (--idle I --trickle T): I connections that send nothing and T
//    that send a request head one byte a second, each opened again as soon as
//    the server closes it, while a new client asks for the version check again
//    and again; with --max-probe-ms B the run fails when one of its answers
//    took longer than B ms.
// Afterwards the server must still answer a normal request promptly, and its
// memory must have stayed within a bound.
//
//  - framing (--framing): requests whose framing a proxy in front could read
//    otherwise than the server, each followed on its connection by a request
//    that must never be answered; each must get its one answer, and the
//    server must hang up at once (well within its 2 s idle time-out).
//
//   site_load --port N [--host H] [--pid P] [--clients C] [--seconds S]
//             [--idle I] [--trickle T] [--max-probe-ms B] [--max-peak-mib M]
//             [--framing]
//
// --pid names the server's process, whose peak memory (VmHWM) is read before
// and after and whose resident memory is sampled during the run; with
// --max-peak-mib the run fails when that peak goes over M MiB. Prints its
// figures and exits 0 when the server came through, 1 when not, 2 on bad
// options. Talks to the given host only (meant for 127.0.0.1). There, each
// client comes from a loopback address of its own (127.2.x.y for the mixed
// clients, 127.3.x.y shared by at most 8 hostile connections, 127.0.0.1 for
// the new client), as clients on other machines would.

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Options {
  std::string host = "127.0.0.1";
  int port = 0;
  int pid = 0;
  int clients = 200;
  int seconds = 10;
  int idle = 0;
  int trickle = 0;
  long maxProbeMs = 0;  // 0: no bound
  long maxPeakMib = 0;  // 0: no bound
  bool framing = false;
};

// Hostile connections that share one source address.
constexpr int kHostilePerAddress = 8;

// True when the server's host is a loopback address, where every client can
// take a source address of its own.
bool OnLoopback(const Options& options) { return options.host.rfind("127.", 0) == 0; }

// The n-th source address of a block: 127.<block>.<n / 250>.<n % 250 + 1>.
std::string LoopbackAddress(int block, int n) {
  return "127." + std::to_string(block) + "." + std::to_string(n / 250) + "." +
         std::to_string(n % 250 + 1);
}

// Binds `fd` to the source address `source` (any port); true when it could.
bool BindSource(int fd, const std::string& source) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  return ::inet_pton(AF_INET, source.c_str(), &address.sin_addr) == 1 &&
         ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

sockaddr_in ServerAddress(const Options& options) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(options.port));
  ::inet_pton(AF_INET, options.host.c_str(), &address.sin_addr);
  return address;
}

// What the clients do. Each client keeps to one kind for the whole run.
enum Kind { kValid, kMalformed, kLongUrl, kSlow, kKindCount };
constexpr std::array<const char*, kKindCount> kKindNames{"valid", "malformed", "long URL",
                                                         "slow (trickled)"};

// The kind of client number i: of every 20 clients, 14 send the program's own
// requests, 2 malformed ones, 2 very long URLs and 2 trickle their requests in.
Kind KindOfClient(int i) {
  const int slot = i % 20;
  if (slot < 14) return kValid;
  if (slot < 16) return kMalformed;
  if (slot < 18) return kLongUrl;
  return kSlow;
}

struct Tally {
  std::atomic<long> sent{0};
  std::atomic<long> answered{0};  // an HTTP answer came back
  std::atomic<long> closed{0};    // the server hung up without an answer
  std::atomic<long> errors{0};    // no connection, no answer in time, or a wrong answer
};

struct Figures {
  std::array<Tally, kKindCount> byKind;
  std::mutex latencyMutex;
  std::vector<double> validLatencyMs;
  std::mutex errorMutex;
  std::vector<std::string> firstErrors;

  void Error(Kind kind, const std::string& what) {
    ++byKind[kind].errors;
    std::lock_guard<std::mutex> lock(errorMutex);
    if (firstErrors.size() < 10) firstErrors.push_back(std::string(kKindNames[kind]) + ": " + what);
  }
};

// One client connection with time-outs on every wait, so that no client can
// hang however the server behaves.
class Connection {
 public:
  // `source`: the address to connect from; empty: the system's choice.
  Connection(const Options& options, std::chrono::seconds timeout, const std::string& source) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd_ < 0) return;
    if (!source.empty() && !BindSource(fd_, source)) {
      ::close(fd_);
      fd_ = -1;
      return;
    }
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(timeout.count());
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    const int yes = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    const sockaddr_in address = ServerAddress(options);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~Connection() {
    if (fd_ >= 0) ::close(fd_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool Connected() const { return fd_ >= 0; }

  // Sends all of `bytes`; false when the server stopped taking them.
  bool Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

  void EndSending() { ::shutdown(fd_, SHUT_WR); }

  // Reads until the server closes. Returns what came, or nothing when the
  // wait timed out (the server neither answered nor hung up).
  std::optional<std::string> ReadToEnd() {
    std::string answer;
    char buffer[16384];
    for (;;) {
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n > 0) {
        answer.append(buffer, static_cast<std::size_t>(n));
        continue;
      }
      if (n == 0 || errno == ECONNRESET || errno == EPIPE) return answer;
      return std::nullopt;
    }
  }

  // True when the server has hung up (or sent something) within `wait`.
  bool ServerSpoke(std::chrono::milliseconds wait) {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(wait.count())) > 0;
  }

 private:
  int fd_ = -1;
};

// The status of an HTTP answer, or 0 when it is not one.
int StatusOf(const std::string& answer) {
  if (answer.rfind("HTTP/1.", 0) != 0 || answer.size() < 12) return 0;
  int status = 0;
  std::from_chars(answer.data() + 9, answer.data() + 12, status);
  return status;
}

std::string Get(const std::string& target, const std::string& extraHeaders = "") {
  return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: TesselWick 1.0 Agent\r\n" +
         extraHeaders + "Connection: close\r\n\r\n";
}

// The program's requests and the pages around them, with the status each must get.
struct ValidRequest {
  std::string target;
  int status;  // 0: any answer (demo sites answer submissions in several ways)
};
const std::vector<ValidRequest>& ValidRequests() {
  static const std::vector<ValidRequest> requests{
      {"/cgi-bin/versioncheck.pl?version=2026.12", 200},
      {"/cgi-bin/versionupdate.pl?version=2026.12", 200},
      {"/manual.htm", 200},
      {"/", 200},
      {"/demo/pad.xml", 200},
      {"/demo/sites/3/", 200},
      {"/demo/sites/2/submit?pad=http%3A%2F%2F127.0.0.1%2Fdemo%2Fpad.xml&cat=Games", 0},
      {"/no/such/page", 404},
  };
  return requests;
}

// The malformed requests: what is sent, and whether the client stops sending
// afterwards (a request cut off on its way).
struct Malformed {
  std::string bytes;
  bool cutOff;
};
std::vector<Malformed> MalformedRequests() {
  std::vector<Malformed> list;
  std::mt19937 random(7);
  std::string garbage(2048, '\0');
  for (char& c : garbage) c = static_cast<char>(random() & 0xFF);
  list.push_back({garbage + "\r\n\r\n", false});
  list.push_back({"GET /manual.h", true});                          // request line cut off
  list.push_back({"GET /manual.htm HTTP/1.1\r\nHost: 127", true});  // headers cut off
  list.push_back({"BREW /pot HTTP/1.1\r\n\r\n", false});
  list.push_back({"GET / HTTP/9.9\r\n\r\n", false});
  list.push_back({"GET\r\n\r\n", false});
  list.push_back({"\r\n\r\n\r\n", true});
  // A flood of headers, 1 MiB in all.
  std::string flood = "GET /manual.htm HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  for (int i = 0; flood.size() < (1u << 20); ++i)
    flood += "X-Flood-" + std::to_string(i) + ": " + std::string(40, 'y') + "\r\n";
  list.push_back({flood + "\r\n", false});
  // One header line of 256 KiB.
  list.push_back({"GET / HTTP/1.1\r\nX-Long: " + std::string(256 * 1024, 'h') + "\r\n\r\n", false});
  // A body announced as 1 GiB, of which 4 MiB come.
  list.push_back(
      {"POST /cgi-bin/versioncheck.pl HTTP/1.1\r\nHost: 127.0.0.1\r\n"
       "Content-Length: 1073741824\r\n\r\n" +
           std::string(4u << 20, 'b'),
       true});
  // A chunked body of 4 MiB.
  std::string chunked = "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n";
  for (int i = 0; i < 64; ++i) chunked += "10000\r\n" + std::string(0x10000, 'c') + "\r\n";
  list.push_back({chunked + "0\r\n\r\n", false});
  // A request line that never ends: 4 MiB without a line feed.
  list.push_back({"GET /" + std::string(4u << 20, 'a'), true});
  return list;
}

// One request of a client of kind `kind`; `round` varies what is sent.
void RunOnce(const Options& options, const std::string& source, Kind kind, long round,
             Figures& figures, const std::vector<Malformed>& malformed, Clock::time_point end) {
  Tally& tally = figures.byKind[kind];
  const auto started = Clock::now();
  Connection connection(options, 15s, source);
  ++tally.sent;
  if (!connection.Connected()) {
    figures.Error(kind, std::string("cannot connect: ") + std::strerror(errno));
    std::this_thread::sleep_for(10ms);
    return;
  }

  if (kind == kSlow) {
    // A request that arrives one header a second and never ends: the server
    // should give up on it rather than wait for as long as it keeps coming.
    connection.Send("GET /manual.htm HTTP/1.1\r\nHost: 127.0.0.1\r\n");
    for (int i = 0; Clock::now() < end; ++i) {
      if (connection.ServerSpoke(1000ms)) break;
      if (!connection.Send("X-Slow-" + std::to_string(i) + ": z\r\n")) break;
    }
    // One still going at the end is given time to be cut off; if the server
    // keeps it even then, it counts as held.
    if (!connection.ServerSpoke(6000ms)) return;
    const std::optional<std::string> answer = connection.ReadToEnd();
    if (!answer) {
      figures.Error(kind, "no answer and no hang-up");
    } else if (StatusOf(*answer) != 0) {
      ++tally.answered;
    } else {
      ++tally.closed;
    }
    return;
  }

  std::string request;
  bool cutOff = false;
  int expected = -1;  // -1: any answer or a hang-up will do
  if (kind == kValid) {
    const ValidRequest& valid =
        ValidRequests()[static_cast<std::size_t>(round) % ValidRequests().size()];
    request = Get(valid.target);
    expected = valid.status;
  } else if (kind == kMalformed) {
    const Malformed& m = malformed[static_cast<std::size_t>(round) % malformed.size()];
    request = m.bytes;
    cutOff = m.cutOff;
  } else {
    const std::size_t length = round % 2 == 0 ? 64 * 1024 : 1024 * 1024;
    request = Get("/manual.htm?q=" + std::string(length, 'u'));
  }
  // A server that refuses early may hang up while the rest is still on its
  // way; that is an answer too, read below.
  connection.Send(request);
  if (cutOff) connection.EndSending();
  const std::optional<std::string> answer = connection.ReadToEnd();
  if (!answer) {
    figures.Error(kind, "no answer within 15 s");
    return;
  }
  const int status = StatusOf(*answer);
  if (status == 0) {
    if (kind == kValid) {
      figures.Error(kind, "hung up without an answer");
    } else {
      ++tally.closed;
    }
    return;
  }
  if (kind == kValid && expected != 0 && status != expected) {
    figures.Error(kind, "status " + std::to_string(status) + " where " + std::to_string(expected) +
                            " was due");
    return;
  }
  if (kind == kLongUrl && status < 400) {
    figures.Error(kind, "a very long URL was answered with " + std::to_string(status));
    return;
  }
  ++tally.answered;
  if (kind == kValid) {
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    std::lock_guard<std::mutex> lock(figures.latencyMutex);
    figures.validLatencyMs.push_back(ms);
  }
}

// A "VmHWM:" or "VmRSS:" figure of a process, in KiB; 0 when unreadable.
// --- The hostile clients ------------------------------------------------------

// One hostile connection: opened without waiting (a server whose queue of new
// connections is full must not stall the others), then either silent or
// trickling its request head in, and opened again once the server closes it.
struct HostileSlot {
  std::string source;
  bool trickles = false;
  int fd = -1;
  bool connected = false;
  std::size_t sent = 0;  // bytes of the trickled head sent so far
  Clock::time_point nextByte{};
};

struct HostileFigures {
  long connects = 0;        // connections opened (completed)
  long failedConnects = 0;  // refused, or not completed
  long closedSilent = 0;    // the server hung up without a word
  long closedAnswered = 0;  // the server answered (a refusal) and hung up
  long openSamples = 0;     // samples of how many were open at once
  double openSum = 0;
  long openMin = -1;  // after the first second
};

// A request head that never ends: it is sent one byte a second.
const std::string& TrickledHead() {
  static const std::string head =
      "GET /manual.htm HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: " + std::string(4096, 'z');
  return head;
}

void CloseSlot(HostileSlot& slot) {
  if (slot.fd >= 0) ::close(slot.fd);
  slot.fd = -1;
  slot.connected = false;
}

void OpenSlot(const Options& options, HostileSlot& slot, HostileFigures& figures) {
  slot.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  if (slot.fd < 0) {
    ++figures.failedConnects;
    return;
  }
  if (!BindSource(slot.fd, slot.source)) {
    ++figures.failedConnects;
    CloseSlot(slot);
    return;
  }
  const sockaddr_in address = ServerAddress(options);
  const int rc = ::connect(slot.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (rc != 0 && errno != EINPROGRESS) {
    ++figures.failedConnects;
    CloseSlot(slot);
    return;
  }
  slot.connected = rc == 0;
  if (slot.connected) ++figures.connects;
  slot.sent = 0;
  slot.nextByte = Clock::now();
}

// Keeps options.idle silent and options.trickle trickling connections open
// until `end`, on one thread.
HostileFigures RunHostile(const Options& options, Clock::time_point end) {
  HostileFigures figures;
  std::vector<HostileSlot> slots(static_cast<std::size_t>(options.idle + options.trickle));
  for (std::size_t i = 0; i < slots.size(); ++i) {
    slots[i].trickles = static_cast<int>(i) >= options.idle;
    slots[i].source = LoopbackAddress(3, static_cast<int>(i) / kHostilePerAddress);
  }
  const auto started = Clock::now();
  auto nextSample = started + 1s;
  std::vector<pollfd> polled;
  std::vector<HostileSlot*> owners;
  char scratch[4096];
  while (Clock::now() < end) {
    polled.clear();
    owners.clear();
    const auto now = Clock::now();
    for (HostileSlot& slot : slots) {
      if (slot.fd < 0) OpenSlot(options, slot, figures);
      if (slot.fd < 0) continue;
      if (slot.connected && slot.trickles && now >= slot.nextByte &&
          slot.sent < TrickledHead().size()) {
        if (::send(slot.fd, TrickledHead().data() + slot.sent, 1, MSG_NOSIGNAL) == 1) ++slot.sent;
        slot.nextByte = now + 1s;
      }
      polled.push_back({slot.fd, static_cast<short>(slot.connected ? POLLIN : POLLOUT), 0});
      owners.push_back(&slot);
    }
    if (now >= nextSample) {
      long open = 0;
      for (const HostileSlot& slot : slots) open += slot.connected ? 1 : 0;
      ++figures.openSamples;
      figures.openSum += static_cast<double>(open);
      if (figures.openMin < 0 || open < figures.openMin) figures.openMin = open;
      nextSample = now + 100ms;
    }
    if (::poll(polled.data(), polled.size(), 20) <= 0) continue;
    for (std::size_t i = 0; i < polled.size(); ++i) {
      HostileSlot& slot = *owners[i];
      if (polled[i].revents == 0) continue;
      if (!slot.connected) {
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(slot.fd, SOL_SOCKET, SO_ERROR, &error, &length);
        if (error != 0) {
          ++figures.failedConnects;
          CloseSlot(slot);
        } else {
          slot.connected = true;
          ++figures.connects;
        }
        continue;
      }
      // The server spoke or hung up: read what it said, and start anew.
      bool answered = false;
      ssize_t n = 0;
      while ((n = ::recv(slot.fd, scratch, sizeof scratch, MSG_DONTWAIT)) > 0) answered = true;
      if (n < 0 && errno == EAGAIN) continue;  // more may come before it hangs up
      ++(answered ? figures.closedAnswered : figures.closedSilent);
      CloseSlot(slot);
    }
  }
  for (HostileSlot& slot : slots) CloseSlot(slot);
  return figures;
}

struct ProbeFigures {
  std::vector<double> latencyMs;  // of the version checks answered
  long failed = 0;
  std::string firstFailure;
};

// A new client from an address of its own asks for the version check every
// 100 ms until `end`, each time on a new connection, and waits up to 30 s
// for each answer.
ProbeFigures RunProbes(const Options& options, Clock::time_point end) {
  ProbeFigures figures;
  const std::string source = OnLoopback(options) ? "127.0.0.1" : "";
  while (Clock::now() < end) {
    const auto started = Clock::now();
    std::optional<std::string> answer;
    {
      Connection connection(options, 30s, source);
      if (connection.Connected() && connection.Send(Get("/cgi-bin/versioncheck.pl?version=")))
        answer = connection.ReadToEnd();
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    if (answer && StatusOf(*answer) == 200 && answer->find("SCRIPTVERSION=") != std::string::npos) {
      figures.latencyMs.push_back(ms);
    } else {
      ++figures.failed;
      if (figures.firstFailure.empty()) {
        figures.firstFailure =
            !answer ? "no answer within 30 s" : "answer " + answer->substr(0, answer->find('\r'));
      }
    }
    std::this_thread::sleep_until(started + 100ms);
  }
  return figures;
}

long ProcessMemoryKib(int pid, const char* field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
  }
  return 0;
}

bool ProcessAlive(int pid) { return ::kill(pid, 0) == 0; }

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

std::optional<Options> ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--framing") {
      options.framing = true;
      continue;
    }
    if (i + 1 >= argc) return std::nullopt;
    const std::string value = argv[++i];
    long number = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
    const bool isNumber =
        ec == std::errc{} && end == value.data() + value.size() && number >= 0 && number <= 1000000;
    if (name == "--host") {
      options.host = value;
    } else if (!isNumber) {
      return std::nullopt;
    } else if (name == "--port") {
      options.port = static_cast<int>(number);
    } else if (name == "--pid") {
      options.pid = static_cast<int>(number);
    } else if (name == "--clients") {
      options.clients = static_cast<int>(number);
    } else if (name == "--seconds") {
      options.seconds = static_cast<int>(number);
    } else if (name == "--idle") {
      options.idle = static_cast<int>(number);
    } else if (name == "--trickle") {
      options.trickle = static_cast<int>(number);
    } else if (name == "--max-probe-ms") {
      options.maxProbeMs = number;
    } else if (name == "--max-peak-mib") {
      options.maxPeakMib = number;
    } else {
      return std::nullopt;
    }
  }
  const bool hostile = options.idle + options.trickle > 0;
  if (options.port < 1 || options.port > 65535 || options.seconds < 1 || options.seconds > 600 ||
      (options.clients < 1 && !hostile && !options.framing) || options.clients > 5000 ||
      options.idle + options.trickle > 20000)
    return std::nullopt;
  // The hostile clients each need an address of their own, which only loopback gives.
  if (hostile && !OnLoopback(options)) return std::nullopt;
  return options;
}

// The mixed clients: prints their figures; false when a valid request failed.
bool RunMixed(const Options& options) {
  const std::vector<Malformed> malformed = MalformedRequests();
  Figures figures;
  const auto start = Clock::now();
  const auto end = start + std::chrono::seconds(options.seconds);
  std::vector<std::thread> clients;
  clients.reserve(static_cast<std::size_t>(options.clients));
  for (int i = 0; i < options.clients; ++i) {
    clients.emplace_back([&, i] {
      const Kind kind = KindOfClient(i);
      const std::string source = OnLoopback(options) ? LoopbackAddress(2, i) : "";
      for (long round = i; Clock::now() < end; round += options.clients)
        RunOnce(options, source, kind, round, figures, malformed, end);
    });
  }
  for (std::thread& client : clients) client.join();
  const double took = std::chrono::duration<double>(Clock::now() - start).count();

  std::printf("site_load: %d clients for %d s against %s:%d (ran %.1f s)\n", options.clients,
              options.seconds, options.host.c_str(), options.port, took);
  // "held": trickled requests that the server still kept, unanswered, 6 s
  // after the end.
  std::printf("%-16s %9s %9s %9s %9s %9s\n", "kind", "sent", "answered", "hung up", "held",
              "errors");
  long errors = 0;
  for (int k = 0; k < kKindCount; ++k) {
    const Tally& t = figures.byKind[static_cast<std::size_t>(k)];
    const long held = t.sent - t.answered - t.closed - t.errors;
    std::printf("%-16s %9ld %9ld %9ld %9ld %9ld\n", kKindNames[static_cast<std::size_t>(k)],
                t.sent.load(), t.answered.load(), t.closed.load(), held, t.errors.load());
    errors += t.errors;
  }
  std::printf("valid requests: p50 %.1f ms, p99 %.1f ms, max %.1f ms\n",
              Percentile(figures.validLatencyMs, 0.50), Percentile(figures.validLatencyMs, 0.99),
              Percentile(figures.validLatencyMs, 1.0));
  for (const std::string& e : figures.firstErrors) std::printf("  error: %s\n", e.c_str());
  return errors == 0;
}

// The hostile connections and the new client's version checks: prints their
// figures; false when a check failed or took longer than the bound.
bool RunHostileWithProbes(const Options& options) {
  const auto start = Clock::now();
  const auto end = start + std::chrono::seconds(options.seconds);
  HostileFigures hostile;
  std::thread attacker([&] { hostile = RunHostile(options, end); });
  // The new client comes once the hostile connections had a second to open.
  std::this_thread::sleep_for(1s);
  const ProbeFigures probes = RunProbes(options, end);
  attacker.join();
  const double took = std::chrono::duration<double>(Clock::now() - start).count();

  std::printf(
      "site_load: %d silent and %d trickling connections (%d per address) for %d s against "
      "%s:%d (ran %.1f s)\n",
      options.idle, options.trickle, kHostilePerAddress, options.seconds, options.host.c_str(),
      options.port, took);
  std::printf(
      "hostile connections: open %.0f on average, %ld at least; %ld opened, %ld not opened, "
      "%ld closed by the server silently, %ld with an answer\n",
      hostile.openSamples > 0 ? hostile.openSum / static_cast<double>(hostile.openSamples) : 0.0,
      std::max(hostile.openMin, 0L), hostile.connects, hostile.failedConnects, hostile.closedSilent,
      hostile.closedAnswered);
  const double worst = Percentile(probes.latencyMs, 1.0);
  std::printf(
      "new client's version checks: %zu answered, %ld failed; p50 %.1f ms, p99 %.1f ms, max "
      "%.1f ms\n",
      probes.latencyMs.size(), probes.failed, Percentile(probes.latencyMs, 0.50),
      Percentile(probes.latencyMs, 0.99), worst);
  if (!probes.firstFailure.empty()) std::printf("  error: %s\n", probes.firstFailure.c_str());
  bool ok = probes.failed == 0 && !probes.latencyMs.empty();
  if (options.maxProbeMs > 0 && worst > static_cast<double>(options.maxProbeMs)) {
    std::printf("a version check took longer than the bound of %ld ms\n", options.maxProbeMs);
    ok = false;
  }
  return ok;
}

// The statuses of the answers in `bytes`, in order: each answer's head and
// the body its Content-Length gives are taken off in turn.
std::vector<int> AnswerStatuses(std::string_view bytes) {
  std::vector<int> statuses;
  while (!bytes.empty()) {
    statuses.push_back(StatusOf(std::string(bytes.substr(0, 12))));
    const std::size_t headEnd = bytes.find("\r\n\r\n");
    if (headEnd == std::string_view::npos) break;
    const std::string_view head = bytes.substr(0, headEnd + 2);
    std::size_t length = 0;
    if (const std::size_t at = head.find("\r\nContent-Length: "); at != std::string_view::npos) {
      const std::string_view digits = head.substr(at + 18);
      std::from_chars(digits.data(), digits.data() + digits.size(), length);
    }
    bytes.remove_prefix(std::min(bytes.size(), headEnd + 4 + length));
  }
  return statuses;
}

std::string StatusList(const std::vector<int>& statuses) {
  std::string text;
  for (const int status : statuses) text += (text.empty() ? "" : ", ") + std::to_string(status);
  return text.empty() ? "none" : text;
}

// The framing checks: prints one line per request; false when any got other
// answers than its due or the server did not hang up at once.
bool RunFraming(const Options& options) {
  const std::string hidden = "GET /cgi-bin/versionupdate.pl?version= HTTP/1.1\r\nHost: x\r\n\r\n";
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<int> statuses;
  };
  const Case cases[] = {
      {"malformed request line", "GET  /manual.htm HTTP/1.1\r\nHost: x\r\n\r\n" + hidden, {400}},
      {"unknown method, two header lines",
       "BREW /pot HTTP/1.1\r\nHost: x\r\nAccept: */*\r\n\r\n" + hidden,
       {405}},
      {"Transfer-Encoding and Content-Length",
       "GET / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\nContent-Length: 5\r\n\r\n"
       "0\r\n\r\n" +
           hidden,
       {400}},
      {"two different Content-Length",
       "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\nContent-Length: " +
           std::to_string(hidden.size()) + "\r\n\r\n" + hidden,
       {400}},
      {"Content-Length: -1",
       "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: -1\r\n\r\n" + hidden,
       {400}},
      {"Content-Length: +5",
       "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: +5\r\n\r\nabcde" + hidden,
       {400}},
      // The sound case beside them: both requests are answered, and the
      // server hangs up after the one that asks it to.
      {"two sound requests", hidden + Get("/cgi-bin/versioncheck.pl?version="), {200, 200}},
  };
  bool ok = true;
  for (const Case& c : cases) {
    Connection connection(options, 5s, OnLoopback(options) ? "127.0.0.1" : "");
    const auto sent = Clock::now();
    std::optional<std::string> answer;
    if (connection.Connected() && connection.Send(c.bytes)) answer = connection.ReadToEnd();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
    const std::vector<int> statuses = answer ? AnswerStatuses(*answer) : std::vector<int>{};
    // The server closes a connection that sends nothing after 2 s; one that
    // it closes for the refusal is closed at once.
    const bool hungUp = answer && ms < 1000;
    const bool good = statuses == c.statuses && hungUp;
    std::printf("framing: %-38s answered %s (due %s), %s%s\n", c.name, StatusList(statuses).c_str(),
                StatusList(c.statuses).c_str(),
                hungUp   ? "then hung up"
                : answer ? "hung up only after 1 s"
                         : "never hung up",
                good ? "" : "  FAILED");
    ok = ok && good;
  }
  return ok;
}

// Room for every connection that the run opens at once.
void RaiseOpenFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Options> parsed = ParseOptions(argc, argv);
  if (!parsed) {
    std::fprintf(stderr,
                 "usage: site_load --port N [--host H] [--pid P] [--clients C] [--seconds S] "
                 "[--idle I] [--trickle T] [--max-probe-ms B] [--max-peak-mib M] [--framing]\n"
                 "(--idle and --trickle need a loopback host)\n");
    return 2;
  }
  const Options& options = *parsed;
  std::signal(SIGPIPE, SIG_IGN);
  RaiseOpenFileLimit();

  const long hwmBefore = options.pid != 0 ? ProcessMemoryKib(options.pid, "VmHWM:") : 0;
  std::atomic<long> peakRssKib{0};
  std::atomic<bool> running{true};

  // Samples the server's resident memory while the clients run.
  std::thread sampler([&] {
    while (running && options.pid != 0) {
      const long rss = ProcessMemoryKib(options.pid, "VmRSS:");
      if (rss > peakRssKib) peakRssKib = rss;
      std::this_thread::sleep_for(50ms);
    }
  });
  bool ok = true;
  if (options.framing) ok = RunFraming(options) && ok;
  if (options.clients > 0) ok = RunMixed(options) && ok;
  if (options.idle + options.trickle > 0) ok = RunHostileWithProbes(options) && ok;
  running = false;
  sampler.join();

  // Afterwards a normal request must be answered promptly.
  const auto probeStart = Clock::now();
  std::optional<std::string> probe;
  {
    Connection connection(options, 2s, OnLoopback(options) ? "127.0.0.1" : "");
    if (connection.Connected() && connection.Send(Get("/cgi-bin/versioncheck.pl?version=")))
      probe = connection.ReadToEnd();
  }
  const double probeMs =
      std::chrono::duration<double, std::milli>(Clock::now() - probeStart).count();
  const bool probeOk = probe && StatusOf(*probe) == 200 &&
                       probe->find("SCRIPTVERSION=") != std::string::npos && probeMs < 2000;
  std::printf("after the load: version check %s in %.0f ms\n", probeOk ? "answered" : "FAILED",
              probeMs);
  ok = ok && probeOk;

  if (options.pid != 0) {
    const bool alive = ProcessAlive(options.pid);
    const long hwmAfter = alive ? ProcessMemoryKib(options.pid, "VmHWM:") : 0;
    std::printf(
        "server memory: peak (VmHWM) %.1f MiB before, %.1f MiB after; resident at most "
        "%.1f MiB during the run%s\n",
        static_cast<double>(hwmBefore) / 1024, static_cast<double>(hwmAfter) / 1024,
        static_cast<double>(peakRssKib.load()) / 1024, alive ? "" : " (SERVER DIED)");
    ok = ok && alive;
    if (options.maxPeakMib > 0 && hwmAfter > options.maxPeakMib * 1024) {
      std::printf("server memory went over the bound of %ld MiB\n", options.maxPeakMib);
      ok = false;
    }
  }
  std::printf("site_load: %s\n", ok ? "the server came through" : "FAILED");
  return ok ? 0 : 1;
}

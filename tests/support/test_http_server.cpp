#include "support/test_http_server.h"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>

namespace tesselwick::test {
namespace {

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return lower(x) == lower(y);
  });
}

// httplib puts the connection's addresses among the request headers; they were not sent.
bool AddedByServer(const std::string& name) {
  return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
         name == "LOCAL_PORT";
}

}  // namespace

std::string RecordedRequest::Header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (SameName(key, name)) return value;
  }
  return "";
}

std::size_t RecordedRequest::HeaderCount(std::string_view name) const {
  return static_cast<std::size_t>(
      std::count_if(headers.begin(), headers.end(),
                    [name](const auto& entry) { return SameName(entry.first, name); }));
}

Reply Reply::Text(std::string body, int status) {
  Reply reply;
  reply.status = status;
  reply.body = std::move(body);
  return reply;
}

Reply Reply::Redirect(std::string location, int status) {
  Reply reply;
  reply.status = status;
  reply.location = std::move(location);
  return reply;
}

Reply Reply::CutOff(std::string body) {
  Reply reply;
  reply.kind = Kind::CutOff;
  reply.body = std::move(body);
  return reply;
}

Reply Reply::Stall(std::chrono::milliseconds time) {
  Reply reply;
  reply.kind = Kind::Stall;
  reply.delay = time;
  reply.body = "late answer";
  return reply;
}

Reply Reply::Huge(std::size_t bytes) {
  Reply reply;
  reply.kind = Kind::Huge;
  reply.hugeBytes = bytes;
  return reply;
}

Reply Reply::Trickle(std::string body, std::chrono::milliseconds every) {
  Reply reply;
  reply.kind = Kind::Trickle;
  reply.body = std::move(body);
  reply.delay = every;
  return reply;
}

struct TestHttpServer::Impl {
  httplib::Server server;
  std::thread thread;
  int port = 0;
  int listeningSocket = -1;
  std::atomic<bool> stopping{false};
  std::atomic<bool> listenEnded{false};
  std::atomic<std::size_t> hugeBytesSent{0};
  mutable std::mutex mutex;
  std::map<std::string, Reply> replies;
  std::vector<RecordedRequest> requests;
  // Requests held now and at most, of all (under "") and per Host.
  std::map<std::string, int> held;
  std::map<std::string, int> peakHeld;

  // Counts a request held (+1) or let go (-1).
  void Hold(const std::string& host, int change) {
    std::lock_guard lock(mutex);
    for (const std::string& key : {std::string(), host}) {
      const int now = held[key] += change;
      peakHeld[key] = std::max(peakHeld[key], now);
    }
  }

  // Waits for up to `time`, in small steps so that a stopping server is not held up.
  // False when the server began to stop.
  bool Wait(std::chrono::milliseconds time) const {
    const auto end = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < end) {
      if (stopping) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !stopping;
  }

  void Answer(const httplib::Request& request, httplib::Response& response);
  void Send(const Reply& reply, httplib::Response& response);
};

void TestHttpServer::Impl::Answer(const httplib::Request& request, httplib::Response& response) {
  RecordedRequest recorded;
  recorded.target = request.target;
  const auto question = recorded.target.find('?');
  recorded.path = recorded.target.substr(0, question);
  if (question != std::string::npos) recorded.query = recorded.target.substr(question + 1);
  recorded.userAgent = request.get_header_value("User-Agent");
  for (const auto& [name, value] : request.headers) {
    if (!AddedByServer(name)) recorded.headers.emplace(name, value);
  }

  std::optional<Reply> reply;
  {
    std::lock_guard lock(mutex);
    requests.push_back(recorded);
    if (auto found = replies.find(recorded.path); found != replies.end()) reply = found->second;
  }
  if (!reply) {
    response.status = 404;
    response.set_content("Not Found", "text/plain");
    return;
  }
  if (reply->onRequest) reply->onRequest();
  const std::string host = request.get_header_value("Host");
  Hold(host, +1);
  Send(*reply, response);
  Hold(host, -1);
}

void TestHttpServer::Impl::Send(const Reply& reply, httplib::Response& response) {
  response.status = reply.status;
  if (!reply.location.empty()) response.set_header("Location", reply.location);
  switch (reply.kind) {
    case Reply::Kind::Normal:
      if (!Wait(reply.delay)) return;
      if (reply.chunked) {
        response.set_chunked_content_provider(
            reply.contentType, [body = reply.body](std::size_t offset, httplib::DataSink& sink) {
              // A few bytes at a time, so that the body arrives in several chunks.
              if (offset < body.size()) {
                sink.write(body.data() + offset, std::min<std::size_t>(1000, body.size() - offset));
              } else {
                sink.done();
              }
              return true;
            });
      } else {
        response.set_content(reply.body, reply.contentType);
      }
      return;
    case Reply::Kind::CutOff:
      // Announces the whole body, sends its first half, then drops the connection.
      response.set_content_provider(
          reply.body.size(), reply.contentType,
          [body = reply.body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            const std::size_t half = body.size() / 2;
            if (offset < half) sink.write(body.data() + offset, half - offset);
            return false;
          });
      return;
    case Reply::Kind::Stall: {
      const std::string body = reply.body.empty() ? std::string("x") : reply.body;
      response.set_content_provider(body.size(), reply.contentType,
                                    [this, body, delay = reply.delay](
                                        std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                      // The headers are out; nothing more until the stall is over.
                                      if (offset == 0 && !Wait(delay)) return false;
                                      sink.write(body.data() + offset, body.size() - offset);
                                      return true;
                                    });
      return;
    }
    case Reply::Kind::Trickle:
      response.set_content_provider(reply.body.size(), reply.contentType,
                                    [this, body = reply.body, every = reply.delay](
                                        std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                      if (!Wait(every)) return false;
                                      return sink.write(body.data() + offset, 1);
                                    });
      return;
    case Reply::Kind::Huge:
      if (reply.chunked) {
        // Streamed without a length, so the client learns the size only by reading.
        response.set_chunked_content_provider(
            reply.contentType,
            [this, total = reply.hugeBytes](std::size_t offset, httplib::DataSink& sink) {
              if (stopping) return false;
              static const std::string block(64 * 1024, 'x');
              if (offset >= total) {
                sink.done();
                return true;
              }
              const std::size_t length = std::min(total - offset, block.size());
              if (!sink.write(block.data(), length)) return false;
              hugeBytesSent += length;
              return true;
            });
        return;
      }
      response.set_content_provider(
          reply.hugeBytes, reply.contentType,
          [this](std::size_t, std::size_t length, httplib::DataSink& sink) {
            if (stopping) return false;
            static const std::string block(64 * 1024, 'x');
            const std::size_t part = std::min(length, block.size());
            if (!sink.write(block.data(), part)) return false;
            hugeBytesSent += part;
            return true;
          });
      return;
  }
}

TestHttpServer::TestHttpServer(int threads) : impl_(std::make_unique<Impl>()) {
  // A client that hangs up while the server writes must not end the test process.
  std::signal(SIGPIPE, SIG_IGN);
  impl_->server.new_task_queue = [threads] {
    return new httplib::ThreadPool(static_cast<std::size_t>(threads));
  };
  impl_->server.Get(
      ".*", [impl = impl_.get()](const httplib::Request& request, httplib::Response& response) {
        impl->Answer(request, response);
      });
  // httplib listens with a backlog of 5, so a burst of connections waits for the client's
  // retry a second later; the listening socket is remembered to give it a longer queue.
  impl_->server.set_socket_options([impl = impl_.get()](socket_t socket) {
    int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    impl->listeningSocket = socket;
  });
  impl_->port = impl_->server.bind_to_any_port("127.0.0.1");
  if (impl_->port <= 0) throw std::runtime_error("the test HTTP server found no free port");
  ::listen(impl_->listeningSocket, 128);
  // The socket listens from here on; connections wait until the thread accepts them.
  impl_->thread = std::thread([impl = impl_.get()] {
    impl->server.listen_after_bind();
    impl->listenEnded = true;
  });
  // httplib ignores a stop that comes before its loop runs, so wait for the loop.
  while (!impl_->server.is_running() && !impl_->listenEnded) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

TestHttpServer::~TestHttpServer() {
  impl_->stopping = true;
  impl_->server.stop();
  if (impl_->thread.joinable()) impl_->thread.join();
}

int TestHttpServer::Port() const { return impl_->port; }

std::string TestHttpServer::Url(std::string_view pathAndQuery) const {
  return "http://127.0.0.1:" + std::to_string(impl_->port) + std::string(pathAndQuery);
}

void TestHttpServer::Set(const std::string& path, Reply reply) {
  std::lock_guard lock(impl_->mutex);
  impl_->replies.insert_or_assign(path, std::move(reply));
}

std::vector<RecordedRequest> TestHttpServer::Requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->requests;
}

std::size_t TestHttpServer::HugeBytesSent() const { return impl_->hugeBytesSent.load(); }

void TestHttpServer::ClearRequests() {
  std::lock_guard lock(impl_->mutex);
  impl_->requests.clear();
}

int TestHttpServer::PeakHeld() const { return PeakHeld(std::string()); }

int TestHttpServer::PeakHeld(const std::string& host) const {
  std::lock_guard lock(impl_->mutex);
  const auto found = impl_->peakHeld.find(host);
  return found == impl_->peakHeld.end() ? 0 : found->second;
}

}  // namespace tesselwick::test

#include "support/raw_tcp_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <stdexcept>

namespace tesselwick::test {
namespace {

// How long a connection may take to send its request before it is served anyway.
constexpr int kRequestWaitMs = 5000;

}  // namespace

RawTcpServer::RawTcpServer(Behaviour behaviour, std::string bytes)
    : behaviour_(behaviour), bytes_(std::move(bytes)) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
      ::listen(listener_, behaviour_ == Behaviour::NeverAccept ? 0 : 64) != 0 ||
      ::pipe2(wake_, O_CLOEXEC) != 0) {
    throw std::runtime_error("the raw test server could not listen");
  }
  port_ = ntohs(address.sin_port);

  if (behaviour_ == Behaviour::NeverAccept) {
    // Connections of our own fill the queue; once it is full, the system drops
    // every further attempt, which the client sees as a connection that never
    // completes.
    for (int i = 0; i < 4; ++i) {
      const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
      held_.push_back(filler);
    }
  }
  thread_ = std::thread([this] { Serve(); });
}

RawTcpServer::~RawTcpServer() {
  const char stop = 's';
  [[maybe_unused]] const ssize_t written = ::write(wake_[1], &stop, 1);
  thread_.join();
  for (int connection : held_) ::close(connection);
  ::close(listener_);
  ::close(wake_[0]);
  ::close(wake_[1]);
}

std::string RawTcpServer::Url(std::string_view pathAndQuery) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(pathAndQuery);
}

void RawTcpServer::Serve() {
  for (;;) {
    pollfd waits[2] = {{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
    const nfds_t count = behaviour_ == Behaviour::NeverAccept ? 1 : 2;
    if (::poll(waits, count, -1) < 0) continue;
    if (waits[0].revents != 0) return;
    if (waits[1].revents == 0) continue;
    const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    ++connections_;
    Answer(connection);
  }
}

void RawTcpServer::Answer(int connection) {
  // The whole request first (a GET ends with an empty line): closing with
  // unread bytes would reset the connection even where a normal close is wanted.
  std::string request;
  while (request.find("\r\n\r\n") == std::string::npos) {
    pollfd wait{connection, POLLIN, 0};
    if (::poll(&wait, 1, kRequestWaitMs) <= 0) break;
    char buffer[4096];
    const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, static_cast<std::size_t>(n));
  }
  if (behaviour_ == Behaviour::Silent) {
    held_.push_back(connection);
    return;
  }
  // A client that stops reading must not hold the server up for ever.
  const timeval sendLimit{5, 0};
  ::setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
  std::size_t sent = 0;
  while (sent < bytes_.size()) {
    const ssize_t n = ::send(connection, bytes_.data() + sent, bytes_.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  if (behaviour_ == Behaviour::SendThenReset) {
    // Lingering for no time turns the close into a reset.
    const linger reset{1, 0};
    ::setsockopt(connection, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  }
  ::close(connection);
}

}  // namespace tesselwick::test

#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tesselwick::test {

// A TCP server on 127.0.0.1 and a free port that misbehaves in one fixed way
// on every connection, for the faults that a well-behaved HTTP server can't be
// made to commit. Every path on it behaves the same.
class RawTcpServer {
 public:
  enum class Behaviour {
    // Takes the connection and the request, then sends nothing at all.
    Silent,
    // Takes the request, sends `bytes`, then closes the connection normally.
    SendThenClose,
    // Takes the request, sends `bytes`, then resets the connection (RST).
    SendThenReset,
    // Listens but never accepts, with its queue of waiting connections already
    // full, so that a new connection is never completed.
    NeverAccept,
  };

  explicit RawTcpServer(Behaviour behaviour, std::string bytes = {});
  ~RawTcpServer();
  RawTcpServer(const RawTcpServer&) = delete;
  RawTcpServer& operator=(const RawTcpServer&) = delete;

  // "http://127.0.0.1:<port>" followed by pathAndQuery.
  std::string Url(std::string_view pathAndQuery = "/") const;
  // How many connections were taken so far.
  int Connections() const { return connections_.load(); }

 private:
  void Serve();
  void Answer(int connection);

  const Behaviour behaviour_;
  const std::string bytes_;
  int listener_ = -1;
  int port_ = 0;
  // Written to when the server goes away, to end the serving thread's wait.
  int wake_[2] = {-1, -1};
  // Connections kept open until the server goes away: silent ones, and those
  // that fill the queue of a server that never accepts.
  std::vector<int> held_;
  std::atomic<int> connections_{0};
  std::thread thread_;
};

}  // namespace tesselwick::test

#pragma once

#include <string>

namespace tesselwick::test {

// A port on 127.0.0.1 that refuses every connection: bound, never listening.
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;

  // "http://127.0.0.1:<port>" followed by pathAndQuery.
  std::string Url(const std::string& pathAndQuery) const;

 private:
  int fd_;
  int port_ = 0;
};

}  // namespace tesselwick::test

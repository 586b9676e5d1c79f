#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

// What every fuzz target shares: the entry point libFuzzer calls, and a check
// that ends the run loudly when a reader breaks one of its promises, so that
// a wrong result counts as a crash just like a memory fault does.

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace tesselwick::fuzz {

[[noreturn]] inline void CheckFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
  std::abort();
}

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Cuts the next field off `rest`: everything up to the first `separator`, or
// all of it when there is none.
inline std::string_view NextField(std::string_view& rest, char separator) {
  const std::size_t at = rest.find(separator);
  const std::string_view field = rest.substr(0, at);
  rest.remove_prefix(at == std::string_view::npos ? rest.size() : at + 1);
  return field;
}

}  // namespace tesselwick::fuzz

#define FUZZ_CHECK(condition) \
  ((condition) ? (void)0 : ::tesselwick::fuzz::CheckFailed(#condition, __FILE__, __LINE__))

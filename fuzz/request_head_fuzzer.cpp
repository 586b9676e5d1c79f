// The site's check of a request's head, as its bytes arrive: the first byte
// chooses the size limit, the rest is what the client sent. Whatever the
// client sends, the check gives the same verdict however the bytes are cut
// on the way, so no request can be read two ways.

#include <string_view>

#include "fuzz_check.h"
#include "http_front.h"

namespace {

using tesselwick::site::CheckRequest;
using tesselwick::site::RequestCheck;

bool Same(const RequestCheck& a, const RequestCheck& b) {
  return a.kind == b.kind && a.status == b.status && a.size == b.size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 4096) return 0;
  const std::size_t maxBytes = 8 + std::size_t{data[0]} * 4;
  const std::string_view bytes = tesselwick::fuzz::AsText(data + 1, size - 1);
  const RequestCheck whole = CheckRequest(bytes, maxBytes);

  switch (whole.kind) {
    case RequestCheck::kIncomplete:
      // Waiting is only ever for bytes that still fit.
      FUZZ_CHECK(bytes.size() < maxBytes);
      break;
    case RequestCheck::kRefused:
      FUZZ_CHECK(whole.status == 400 || whole.status == 405 || whole.status == 413 ||
                 whole.status == 414 || whole.status == 431);
      break;
    case RequestCheck::kComplete: {
      FUZZ_CHECK(whole.size <= bytes.size() && whole.size <= maxBytes);
      // Only GET and HEAD are ever handed on.
      FUZZ_CHECK(bytes.starts_with("GET ") || bytes.starts_with("HEAD "));
      // The request is exactly its own bytes: one fewer is still coming.
      FUZZ_CHECK(Same(CheckRequest(bytes.substr(0, whole.size), maxBytes), whole));
      FUZZ_CHECK(CheckRequest(bytes.substr(0, whole.size - 1), maxBytes).kind ==
                 RequestCheck::kIncomplete);
      break;
    }
  }

  // Every shorter piece of the same bytes either waits for more or already
  // has the final verdict.
  auto cut = static_cast<unsigned>(size);
  for (int i = 0; i < 32 && !bytes.empty(); ++i) {
    cut = cut * 1103515245u + 12345u;
    const std::string_view piece = bytes.substr(0, (cut >> 8) % bytes.size());
    const RequestCheck early = CheckRequest(piece, maxBytes);
    if (early.kind == RequestCheck::kIncomplete) continue;
    FUZZ_CHECK(Same(early, whole));
  }
  return 0;
}

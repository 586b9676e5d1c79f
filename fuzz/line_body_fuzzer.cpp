// An answer's body as the retrieval reads it piece by piece, in line mode (the
// update server's answers) and block mode (PAD files and site answers, these
// kept whole or only their head). The first three bytes choose the mode, what is kept,
// the size cap and how the body is cut into pieces; the rest is the body.

#include <algorithm>
#include <string>

#include "core/net/http_fetch.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using tesselwick::BodyKeeping;
  using tesselwick::BodyReader;
  using tesselwick::FetchMode;
  if (size < 3) return 0;
  const FetchMode mode = (data[0] & 1) != 0 ? FetchMode::Lines : FetchMode::Blocks;
  // Only site answers, read in block mode, keep their head alone.
  const BodyKeeping keeping =
      mode == FetchMode::Blocks && (data[0] & 4) != 0 ? BodyKeeping::Head : BodyKeeping::Whole;
  const std::size_t cap = (data[0] & 2) != 0 ? data[1] : std::size_t{16} * 1024 * 1024;
  unsigned cut = data[2];
  const std::string_view body = tesselwick::fuzz::AsText(data + 3, size - 3);

  // Pieces of 0 to 31 bytes, as the network happens to deliver them.
  BodyReader reader(mode, cap, keeping);
  std::size_t taken = 0;
  bool refused = false;
  while (taken < body.size()) {
    cut = cut * 1103515245u + 12345u;
    const std::size_t length = std::min<std::size_t>((cut >> 16) % 32, body.size() - taken);
    const bool accepted = reader.Take(body.substr(taken, length));
    // A piece is refused exactly when it would take the body over the cap.
    FUZZ_CHECK(accepted == (taken + length <= cap));
    if (!accepted) {
      refused = true;
      break;
    }
    taken += length;
  }
  const bool saysError = reader.SaysError();
  const bool says404 = reader.Says404();
  const std::string result = std::move(reader).Finish();
  if (refused) return 0;

  // The words of an error page are found wherever the cuts fell.
  FUZZ_CHECK(saysError == (body.find("Error") != std::string_view::npos));
  FUZZ_CHECK(says404 == (body.find("404") != std::string_view::npos));

  // However the body was cut, the result is that of reading it whole.
  std::string whole(body);
  if (mode == FetchMode::Lines) {
    std::erase(whole, '\r');
    if (!body.empty() && body.back() != '\n') whole.push_back('\n');
    FUZZ_CHECK(result.find('\r') == std::string::npos);
  }
  if (keeping == BodyKeeping::Head)
    whole.resize(std::min(whole.size(), tesselwick::kAnswerHeadBytes));
  FUZZ_CHECK(result == whole);
  return 0;
}

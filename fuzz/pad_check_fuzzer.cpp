// The PAD check over a PAD file's text, against the address it was fetched from.

#include <string>
#include <string_view>
#include <vector>

#include "core/submit/pad_check.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view pad = tesselwick::fuzz::AsText(data, size);
  const std::vector<std::string> problems =
      tesselwick::CheckPadFile(pad, "http://pad.example/pad.xml");

  // Each problem is one line that names what it is about.
  for (const std::string& problem : problems) {
    FUZZ_CHECK(!problem.empty());
    FUZZ_CHECK(problem.find('\n') == std::string::npos);
    FUZZ_CHECK(problem.find('\r') == std::string::npos);
    FUZZ_CHECK(problem.starts_with("XML_DIZ_INFO/") || problem.starts_with("The "));
  }
  // A file that is not XML, or not a PAD file, is that one problem alone.
  if (!problems.empty() && problems.front().starts_with("The ")) FUZZ_CHECK(problems.size() == 1);
  return 0;
}

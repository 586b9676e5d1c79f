// The PAD check over a PAD file's text, against the address it was fetched from.

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/submit/pad_check.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view pad = tesselwick::fuzz::AsText(data, size);
  const std::string_view url = "http://pad.example/pad.xml";
  const std::vector<std::string> errors = tesselwick::CheckPadFile(pad, url);
  const std::vector<tesselwick::PadProblem> problems = tesselwick::CheckPadFields(pad, url);

  // Each problem is one line that names what it is about.
  for (const std::string& problem : errors) {
    FUZZ_CHECK(!problem.empty());
    FUZZ_CHECK(problem.find('\n') == std::string::npos);
    FUZZ_CHECK(problem.find('\r') == std::string::npos);
    FUZZ_CHECK(problem.starts_with("XML_DIZ_INFO/") || problem.starts_with("The "));
  }
  // A file that is not XML, or not a PAD file, is that one problem alone.
  if (!errors.empty() && errors.front().starts_with("The ")) FUZZ_CHECK(errors.size() == 1);

  // The errors come first and are CheckPadFile's; each warning is about one
  // field that has no error, once, and its line begins with that field's path.
  std::size_t errorCount = 0;
  std::set<std::string> errorPaths;
  std::set<std::string> warned;
  for (const tesselwick::PadProblem& problem : problems) {
    FUZZ_CHECK(problem.text.find('\n') == std::string::npos);
    FUZZ_CHECK(problem.text.find('\r') == std::string::npos);
    FUZZ_CHECK(problem.path.empty() || problem.text.starts_with(problem.path));
    if (problem.level == tesselwick::PadProblemLevel::kError) {
      FUZZ_CHECK(warned.empty());
      FUZZ_CHECK(errorCount < errors.size() && errors[errorCount] == problem.text);
      ++errorCount;
      errorPaths.insert(problem.path);
    } else {
      FUZZ_CHECK(problem.path.starts_with("XML_DIZ_INFO/"));
      FUZZ_CHECK(!errorPaths.contains(problem.path));
      FUZZ_CHECK(warned.insert(problem.path).second);
    }
  }
  FUZZ_CHECK(errorCount == errors.size());
  return 0;
}

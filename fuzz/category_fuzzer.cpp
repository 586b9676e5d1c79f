// The category taken out of a PAD file's text and made ready for a URL query.

#include <string>

#include "core/submit/category.h"
#include "fuzz_check.h"

namespace {

bool IsUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view pad = tesselwick::fuzz::AsText(data, size);
  const std::string category = tesselwick::ExtractCategoryText(pad);

  if (pad.find("<Program_Category_Class>") == std::string_view::npos ||
      pad.find("</Program_Category_Class>") == std::string_view::npos) {
    FUZZ_CHECK(category.empty());
  }
  // Whatever the PAD file says, the result goes into a query as it is: only
  // printable ASCII, no blank, no "&", "#" or ":", and every "%" starts an escape.
  for (std::size_t i = 0; i < category.size(); ++i) {
    const auto byte = static_cast<unsigned char>(category[i]);
    FUZZ_CHECK(byte > 0x20 && byte < 0x7F);
    FUZZ_CHECK(category[i] != '&' && category[i] != '#' && category[i] != ':');
    if (category[i] == '%') {
      FUZZ_CHECK(i + 2 < category.size());
      FUZZ_CHECK(IsUpperHex(category[i + 1]) && IsUpperHex(category[i + 2]));
    }
  }
  // A "+" stands only for a blank (a "+" itself is escaped), and blanks at
  // either end are trimmed before escaping, however they were written.
  FUZZ_CHECK(category.empty() || (category.front() != '+' && category.back() != '+'));
  return 0;
}

// tesselwick.ini as the history reads it: the file's bytes with CR LF turned
// into LF, then the last session's PAD URL and the list's entries.

#include <algorithm>
#include <string>

#include "core/history/url_history.h"
#include "core/platform/text_file.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using tesselwick::EqualsNoCase;
  using tesselwick::UrlEntryLess;
  const std::string text = tesselwick::FromDiskLineEnds(tesselwick::fuzz::AsText(data, size));

  tesselwick::UrlHistory history;
  // An entry of this session's own is kept, and a case variant of it is not added.
  history.Remember("http://example.com/pad.xml");
  const std::optional<std::string> padUrl = history.Read(text);

  const std::vector<std::string>& entries = history.Entries();
  // The list is in the list's order, without two entries that differ only in
  // letter case, and without empty entries.
  FUZZ_CHECK(std::is_sorted(entries.begin(), entries.end(), UrlEntryLess));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    FUZZ_CHECK(!entries[i].empty());
    FUZZ_CHECK(entries[i].find('\n') == std::string::npos);
    if (i > 0) FUZZ_CHECK(!EqualsNoCase(entries[i - 1], entries[i]));
  }
  FUZZ_CHECK(history.Find("HTTP://EXAMPLE.COM/PAD.XML").has_value());
  FUZZ_CHECK(!padUrl || padUrl->find('\n') == std::string::npos);
  // What is saved reads back as the same first ten entries, the one used
  // included, whatever the entries hold.
  tesselwick::UrlHistory again;
  again.Read(history.FileText(padUrl.value_or("")));
  FUZZ_CHECK(again.Find("http://example.com/pad.xml").has_value());
  FUZZ_CHECK(again.Entries().size() == std::min<std::size_t>(entries.size(), 10));
  return 0;
}

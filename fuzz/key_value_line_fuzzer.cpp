// The line reader of pad.dat, tesselwick.ini and the version answer: one line
// split into key and value, and a whole text cut into lines.

#include <algorithm>
#include <string>

#include "core/text/key_value_line.h"
#include "fuzz_check.h"

namespace {

bool IsTrailingSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using tesselwick::KeyValue;
  const std::string_view text = tesselwick::fuzz::AsText(data, size);

  // The whole input as one line: the key and value, joined again by "=", are
  // the line without its trailing blanks and without any line feed.
  const KeyValue kv = tesselwick::SplitKeyValueLine(text);
  std::string_view trimmed = text;
  while (!trimmed.empty() && IsTrailingSpace(trimmed.back())) trimmed.remove_suffix(1);
  std::string expected(trimmed);
  std::erase(expected, '\n');
  const bool hasEquals = expected.find('=') != std::string::npos;
  FUZZ_CHECK(kv.key.find('\n') == std::string::npos);
  FUZZ_CHECK(kv.value.find('\n') == std::string::npos);
  FUZZ_CHECK(kv.key.find('=') == std::string::npos);
  FUZZ_CHECK(hasEquals ? kv.key + "=" + kv.value == expected : kv.key == expected);
  FUZZ_CHECK(hasEquals || kv.value.empty());
  const std::string& last = hasEquals ? kv.value : kv.key;
  FUZZ_CHECK(last.empty() || !IsTrailingSpace(last.back()));

  // The input as a text: exactly one handled line per line feed, in order,
  // each the same as splitting that line alone.
  std::size_t handled = 0;
  std::size_t start = 0;
  tesselwick::ForEachKeyValueLine(text, [&](const KeyValue& line) {
    const std::size_t end = text.find('\n', start);
    FUZZ_CHECK(end != std::string_view::npos);
    const KeyValue alone = tesselwick::SplitKeyValueLine(text.substr(start, end - start));
    FUZZ_CHECK(line.key == alone.key && line.value == alone.value);
    start = end + 1;
    ++handled;
  });
  FUZZ_CHECK(handled == static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
  return 0;
}

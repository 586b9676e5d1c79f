#pragma once

#include <string>
#include <string_view>

namespace tesselwick {

// One line of a key-value text (pad.dat, the update server's version answer,
// tesselwick.ini): trimmed on the right of white space, split at its first "=".
struct KeyValue {
  std::string key;
  std::string value;
};

// Splits one line. Trailing tab, LF, VT, FF, CR and space are dropped; the left
// end is kept; line feeds are dropped wherever they stand. A line without "="
// is all key; an empty or blank line has an empty key.
KeyValue SplitKeyValueLine(std::string_view line);

// Calls handle(const KeyValue&) for every line of text that ends in a line
// feed, in order. Whatever follows the last line feed is never handled.
template <typename Handler>
void ForEachKeyValueLine(std::string_view text, Handler&& handle) {
  std::size_t start = 0;
  for (std::size_t end = text.find('\n'); end != std::string_view::npos;
       end = text.find('\n', start)) {
    handle(SplitKeyValueLine(text.substr(start, end - start + 1)));
    start = end + 1;
  }
}

}  // namespace tesselwick

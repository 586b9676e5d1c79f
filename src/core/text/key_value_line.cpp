#include "core/text/key_value_line.h"

namespace tesselwick {

namespace {
bool IsTrailingSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
}  // namespace

KeyValue SplitKeyValueLine(std::string_view line) {
  while (!line.empty() && IsTrailingSpace(line.back())) line.remove_suffix(1);
  KeyValue kv;
  const std::size_t eq = line.find('=');
  const std::string_view key = line.substr(0, eq);
  const std::string_view value =
      eq == std::string_view::npos ? std::string_view{} : line.substr(eq + 1);
  for (char c : key)
    if (c != '\n') kv.key.push_back(c);
  for (char c : value)
    if (c != '\n') kv.value.push_back(c);
  return kv;
}

}  // namespace tesselwick

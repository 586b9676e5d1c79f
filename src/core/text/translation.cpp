#include "core/text/translation.h"

#include <map>
#include <mutex>
#include <vector>

namespace tesselwick {

namespace {

struct Lookup {
  std::mutex mutex;
  Translator translator;
  // Every translation handed out, so that its text stays where it is.
  std::map<std::string, std::string, std::less<>> found;
};

Lookup& TheLookup() {
  static Lookup lookup;
  return lookup;
}

}  // namespace

const char* Tr(const char* text) {
  Lookup& lookup = TheLookup();
  const std::lock_guard lock(lookup.mutex);
  if (!lookup.translator || text == nullptr || *text == '\0') return text;
  auto known = lookup.found.find(std::string_view(text));
  if (known == lookup.found.end())
    known = lookup.found.emplace(text, lookup.translator(text)).first;
  return known->second == text ? text : known->second.c_str();
}

void SetTranslator(Translator translator) {
  Lookup& lookup = TheLookup();
  const std::lock_guard lock(lookup.mutex);
  lookup.translator = std::move(translator);
  // Texts handed out before stay valid: nothing is taken out of `found`,
  // and a new translator only answers texts not asked for yet.
}

std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> values) {
  const std::vector<std::string_view> given(values);
  std::string text;
  text.reserve(pattern.size());
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == '%') {
      text += '%';
      ++i;
      continue;
    }
    if (pattern[i] == '%' && i + 3 < pattern.size() && pattern[i + 1] >= '1' &&
        pattern[i + 1] <= '9' && pattern[i + 2] == '$' && pattern[i + 3] == 's') {
      const auto index = static_cast<std::size_t>(pattern[i + 1] - '1');
      if (index < given.size()) {
        text += given[index];
        i += 3;
        continue;
      }
    }
    text += pattern[i];
  }
  return text;
}

}  // namespace tesselwick

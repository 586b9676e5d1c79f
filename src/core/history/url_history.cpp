#include "core/history/url_history.h"

#include <algorithm>
#include <unordered_set>

#include "core/platform/text_file.h"
#include "core/text/key_value_line.h"

namespace tesselwick {

namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// True for the keys "URL1" to "URL10". Keys are compared exactly: "url1",
// "URL01" and "URL1 " are not history keys.
bool IsEntryKey(const std::string& key) {
  for (std::size_t n = 1; n <= UrlHistory::kSavedEntries; ++n)
    if (key == "URL" + std::to_string(n)) return true;
  return false;
}

}  // namespace

bool UrlEntryLess(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(FoldAscii(x)) < static_cast<unsigned char>(FoldAscii(y));
  });
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldAscii(x) == FoldAscii(y);
         });
}

std::string FoldAsciiCase(std::string text) {
  for (char& c : text) c = FoldAscii(c);
  return text;
}

std::optional<std::string> UrlHistory::Read(std::string_view text) {
  // Entries are told apart by their text with ASCII letters folded, looked up
  // in a hash set, and put in order once at the end, so a file of many lines
  // loads in time proportional to its size.
  std::unordered_set<std::string> known;
  for (const std::string& entry : entries_) known.insert(FoldAsciiCase(entry));
  std::optional<std::string> padUrl;
  const std::size_t before = entries_.size();
  ForEachKeyValueLine(text, [&](const KeyValue& line) {
    if (line.key == "URL") {
      padUrl = line.value;
    } else if (IsEntryKey(line.key) && !line.value.empty() &&
               known.insert(FoldAsciiCase(line.value)).second) {
      entries_.push_back(line.value);
    }
  });
  // No two entries compare equal, so the order is the same as inserting each
  // at its place.
  std::sort(entries_.begin() + static_cast<std::ptrdiff_t>(before), entries_.end(), UrlEntryLess);
  std::inplace_merge(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(before),
                     entries_.end(), UrlEntryLess);
  return padUrl;
}

std::optional<std::string> UrlHistory::Load(const std::filesystem::path& file) {
  const std::optional<std::string> text = ReadTextFileContents(file);
  return text ? Read(*text) : std::nullopt;
}

std::optional<std::size_t> UrlHistory::Remember(const std::string& url) {
  if (url.empty()) return std::nullopt;
  used_ = url;
  if (Find(url)) return std::nullopt;
  const auto at = std::upper_bound(entries_.begin(), entries_.end(), url, UrlEntryLess);
  const auto index = static_cast<std::size_t>(at - entries_.begin());
  entries_.insert(at, url);
  return index;
}

std::optional<std::size_t> UrlHistory::Find(const std::string& text) const {
  const auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&text](const std::string& entry) { return EqualsNoCase(entry, text); });
  if (it == entries_.end()) return std::nullopt;
  return static_cast<std::size_t>(it - entries_.begin());
}

std::string UrlHistory::FileText(const std::string& padUrl) const {
  std::string text = "CREATOR=TESSELWICK 1.0";
  text += "\nURL=" + padUrl;
  std::vector<std::size_t> saved;
  for (std::size_t i = 0; i < entries_.size() && saved.size() < kSavedEntries; ++i)
    saved.push_back(i);
  const std::optional<std::size_t> used = used_.empty() ? std::nullopt : Find(used_);
  if (used && *used >= kSavedEntries) saved.back() = *used;
  for (std::size_t n = 1; n <= kSavedEntries; ++n) {
    text += "\nURL" + std::to_string(n) + "=";
    if (n <= saved.size()) text += entries_[saved[n - 1]];
  }
  return text + "\n\n\n";
}

bool UrlHistory::Save(const std::filesystem::path& file, const std::string& padUrl) const {
  // The new file replaces the old one only when it was written whole, so a
  // failed save leaves the previous history in place.
  return ReplaceTextFile(file, FileText(padUrl));
}

}  // namespace tesselwick

#include "core/history/url_history.h"

#include <algorithm>
#include <unordered_set>

#include "core/net/http_fetch.h"
#include "core/platform/system.h"
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

// The longest line of a history file that can hold a rememberable URL: its
// key, "=" and the URL.
constexpr std::size_t kLongestLine = kMaxUrlBytes + 16;

// Takes the lines that forEachLine(handle) hands to `handle` into entries:
// see UrlHistory::Read.
template <typename ForEachLine>
std::optional<std::string> TakeEntries(std::vector<std::string>& entries,
                                       ForEachLine&& forEachLine) {
  // Entries are told apart by their text with ASCII letters folded, looked up
  // in a hash set, and put in order once at the end, so a file of many lines
  // loads in time proportional to its size.
  std::unordered_set<std::string> known;
  for (const std::string& entry : entries) known.insert(FoldAsciiCase(entry));
  std::optional<std::string> padUrl;
  const std::size_t before = entries.size();
  std::size_t bytes = 0;
  forEachLine([&](std::string_view text) {
    const KeyValue line = SplitKeyValueLine(text);
    // An empty "URL" line empties the box; an empty entry is no entry.
    if (!line.value.empty() && !IsRememberableUrl(line.value)) return;
    if (line.key == "URL") {
      padUrl = line.value;
    } else if (IsEntryKey(line.key) && !line.value.empty() &&
               entries.size() - before < UrlHistory::kMostLoadedEntries &&
               bytes + line.value.size() <= UrlHistory::kMostLoadedBytes &&
               known.insert(FoldAsciiCase(line.value)).second) {
      bytes += line.value.size();
      entries.push_back(line.value);
    }
  });
  // No two entries compare equal, so the order is the same as inserting each
  // at its place.
  std::sort(entries.begin() + static_cast<std::ptrdiff_t>(before), entries.end(), UrlEntryLess);
  std::inplace_merge(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(before),
                     entries.end(), UrlEntryLess);
  return padUrl;
}

}  // namespace

bool HasControlCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

bool IsRememberableUrl(std::string_view url) {
  return !url.empty() && url.size() <= kMaxUrlBytes && !HasControlCharacter(url);
}

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
  return TakeEntries(entries_, [text](const auto& handle) {
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string_view::npos;
         end = text.find('\n', start)) {
      handle(text.substr(start, end - start + 1));
      start = end + 1;
    }
  });
}

std::optional<std::string> UrlHistory::Load(const std::filesystem::path& file) {
  return TakeEntries(
      entries_, [&file](const auto& handle) { ForEachTextFileLine(file, kLongestLine, handle); });
}

std::optional<std::size_t> UrlHistory::Remember(const std::string& url) {
  if (!IsRememberableUrl(url)) return std::nullopt;
  used_ = url;
  if (Find(url)) return std::nullopt;
  const auto at = std::upper_bound(entries_.begin(), entries_.end(), url, UrlEntryLess);
  const auto index = static_cast<std::size_t>(at - entries_.begin());
  entries_.insert(at, url);
  return index;
}

std::optional<std::size_t> UrlHistory::Find(const std::string& text) const {
  const auto it = std::find_if(entries_.begin(), entries_.end(), [&text](const std::string& entry) {
    return EqualsNoCase(entry, text);
  });
  if (it == entries_.end()) return std::nullopt;
  return static_cast<std::size_t>(it - entries_.begin());
}

std::string UrlHistory::FileText(const std::string& padUrl) const {
  std::string text = "CREATOR=TESSELWICK 1.0";
  text += "\nURL=" + (IsRememberableUrl(padUrl) ? padUrl : std::string());
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
  // Another copy of the program working in the same folder may have saved
  // the file since this one loaded it: what it remembered is read again under
  // the lock, just before the file is replaced, so both runs' URLs are kept.
  LockedFile locked(file);
  UrlHistory merged = *this;
  TakeEntries(merged.entries_,
              [&locked](const auto& handle) { locked.ForEachLine(kLongestLine, handle); });
  // The new file replaces the old one only when it was written whole, so a
  // failed save leaves the previous history in place. Where a file held open
  // cannot be replaced, the lock is given up only at that last moment, so
  // the next copy in turn still reads what this one wrote, but for a rename.
  FileReplacement replacement(file);
  replacement.WriteText(merged.FileText(padUrl));
  if (platform::CanReplaceHeldFile()) return replacement.Commit();
  return replacement.Commit([&locked] { locked.Release(); });
}

}  // namespace tesselwick

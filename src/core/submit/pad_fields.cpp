// The PAD fields' patterns: read from the data file compiled in, compiled
// once with PCRE2 in UTF mode (and JIT where the library has it), and put
// into plain words by the kind of pattern they are.

#include "core/submit/pad_fields.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <optional>
#include <stdexcept>
#include <vector>

#include "core/text/replace.h"
#include "core/text/translation.h"

namespace tesselwick {
namespace {

// data/pad-fields.tsv, as it is.
constexpr std::string_view kFieldsData =
#include "pad_fields_data.inc"
    ;

// What a pattern asks for, as far as its words go.
enum class Kind {
  kText,          // [^...]{m,n}: so many characters, some of them never
  kCharacters,    // [...]{m,n}: so many characters of a few sorts
  kDigits,        // [0-9]{m,n}
  kEmail,         // ...@...
  kPhone,         // \+{0,2}(([0-9#*()-\/_] *){m,n})?
  kUrl,           // http://... (ending in one of a few extensions)
  kList,          // (A|B|C)
  kRepeatedList,  // ((A|B)[, ]*)+ or (A|B|,)+
  kMonth,
  kDay,
  kYear,
  kAmount,         // [0-9]+(\.[0-9]{2})?
  kVersionNumber,  // \d.\d+
  kOther,
};

// The characters a class takes (or, negated, refuses), by sort.
struct CharacterSet {
  bool negated = false;
  bool letters = false;
  bool digits = false;
  bool blank = false;
  bool tab = false;
  bool lineBreak = false;
  bool ranges = false;
  std::string others;  // in the class's order
};

struct Shape {
  Kind kind = Kind::kOther;
  std::size_t least = 0;
  std::size_t most = 0;
  CharacterSet set;
  std::vector<std::string> items;    // kList, kRepeatedList
  std::vector<std::string> schemes;  // kUrl: "http://", ...
  std::vector<std::string> endings;  // kUrl: ".gif", ...
};

constexpr std::size_t npos = std::string_view::npos;

// Index just past the group that opens at p[open], or npos.
std::size_t GroupEnd(std::string_view p, std::size_t open) {
  int depth = 0;
  bool inClass = false;
  for (std::size_t i = open; i < p.size(); ++i) {
    const char c = p[i];
    if (c == '\\') {
      ++i;
    } else if (inClass) {
      if (c == ']') inClass = false;
    } else if (c == '[') {
      inClass = true;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')' && --depth == 0) {
      return i + 1;
    }
  }
  return npos;
}

// The alternatives of `p` split at its own '|' (not those in groups).
std::vector<std::string_view> Alternatives(std::string_view p) {
  std::vector<std::string_view> parts;
  int depth = 0;
  bool inClass = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const char c = p[i];
    if (c == '\\') {
      ++i;
    } else if (inClass) {
      if (c == ']') inClass = false;
    } else if (c == '[') {
      inClass = true;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      --depth;
    } else if (c == '|' && depth == 0) {
      parts.push_back(p.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(p.substr(start));
  return parts;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One character of a pattern at p[i] (an escape included), moving i past it.
std::optional<unsigned> Atom(std::string_view p, std::size_t& i) {
  if (i >= p.size()) return std::nullopt;
  if (p[i] != '\\') return static_cast<unsigned char>(p[i++]);
  if (i + 1 >= p.size()) return std::nullopt;
  const char c = p[i + 1];
  if (c == 'x' && i + 3 < p.size() && HexDigit(p[i + 2]) >= 0 && HexDigit(p[i + 3]) >= 0) {
    const unsigned code = static_cast<unsigned>(HexDigit(p[i + 2]) * 16 + HexDigit(p[i + 3]));
    i += 4;
    return code;
  }
  // Only an escaped sign stands for itself; \d, \Z and the like do not.
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
    return std::nullopt;
  i += 2;
  return static_cast<unsigned char>(c);
}

// The text that `p` matches when it is a plain text (escapes aside).
std::optional<std::string> Literal(std::string_view p) {
  std::string text;
  std::size_t i = 0;
  while (i < p.size()) {
    if (p[i] != '\\' && std::string_view("[](){}.*+?|^$").find(p[i]) != npos) return std::nullopt;
    const std::optional<unsigned> c = Atom(p, i);
    if (!c || *c >= 0x80) return std::nullopt;
    text += static_cast<char>(*c);
  }
  if (text.empty()) return std::nullopt;
  return text;
}

std::optional<std::vector<std::string>> LiteralList(std::string_view p) {
  std::vector<std::string> items;
  for (std::string_view part : Alternatives(p)) {
    std::optional<std::string> item = Literal(part);
    if (!item) return std::nullopt;
    items.push_back(std::move(*item));
  }
  return items;
}

void AddOther(CharacterSet& set, unsigned c) {
  if (c == ' ') {
    set.blank = true;
  } else if (c == '\t') {
    set.tab = true;
  } else if (c == '\n' || c == '\r') {
    set.lineBreak = true;
  } else if (c > ' ' && c < 0x7F && set.others.find(static_cast<char>(c)) == npos) {
    set.others += static_cast<char>(c);
  }
}

// The class that opens at p[i] ('['), moving i past its ']'.
std::optional<CharacterSet> Class(std::string_view p, std::size_t& i) {
  CharacterSet set;
  if (i >= p.size() || p[i] != '[') return std::nullopt;
  ++i;
  if (i < p.size() && p[i] == '^') {
    set.negated = true;
    ++i;
  }
  while (i < p.size() && p[i] != ']') {
    const std::optional<unsigned> from = Atom(p, i);
    if (!from) return std::nullopt;
    if (i + 1 < p.size() && p[i] == '-' && p[i + 1] != ']') {
      ++i;
      const std::optional<unsigned> to = Atom(p, i);
      if (!to || *to < *from) return std::nullopt;
      if (*from == 'a' && *to == 'z') {
        set.letters = true;
      } else if (*from == 'A' && *to == 'Z') {
        set.letters = true;
      } else if (*from == '0' && *to == '9') {
        set.digits = true;
      } else if (*from >= 0x80) {
        // Latin-1's letters: letters, as a-z are.
        set.letters = true;
      } else {
        set.ranges = true;
        for (unsigned c = *from; c <= *to; ++c) AddOther(set, c);
      }
    } else {
      AddOther(set, *from);
    }
  }
  if (i >= p.size()) return std::nullopt;
  ++i;
  return set;
}

// "{m,n}" or "{n}" at p[i], moving i past it.
bool Repeat(std::string_view p, std::size_t& i, std::size_t& least, std::size_t& most) {
  if (i >= p.size() || p[i] != '{') return false;
  const std::size_t close = p.find('}', i);
  if (close == npos) return false;
  const std::string_view inside = p.substr(i + 1, close - i - 1);
  const std::size_t comma = inside.find(',');
  auto number = [](std::string_view digits, std::size_t& value) {
    if (digits.empty()) return false;
    value = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + static_cast<std::size_t>(c - '0');
    }
    return true;
  };
  if (comma == npos) {
    if (!number(inside, least)) return false;
    most = least;
  } else if (!number(inside.substr(0, comma), least) || !number(inside.substr(comma + 1), most)) {
    return false;
  }
  i = close + 1;
  return true;
}

Shape Recognise(std::string_view p) {
  Shape shape;
  if (p.starts_with('^')) p.remove_prefix(1);
  if (p.ends_with("\\Z")) p.remove_suffix(2);
  // A group around the whole, taken or left out ("(...)?"), asks for what
  // its inside asks for: an empty text is matched either way or not.
  for (;;) {
    if (p.starts_with('(') && GroupEnd(p, 0) == p.size()) {
      p = p.substr(1, p.size() - 2);
    } else if (p.starts_with('(') && p.size() > 2 && GroupEnd(p, 0) == p.size() - 1 &&
               p.back() == '?') {
      p = p.substr(1, p.size() - 3);
    } else {
      break;
    }
  }

  if (p == "0[1-9]|1[0-2]") {
    shape.kind = Kind::kMonth;
  } else if (p == "0[1-9]|[12][0-9]|3[01]") {
    shape.kind = Kind::kDay;
  } else if (p == "(19|20|21)[0-9]{2}") {
    shape.kind = Kind::kYear;
  } else if (p == "[0-9]+(\\.[0-9]{2})?") {
    shape.kind = Kind::kAmount;
  } else if (p == "\\d.\\d+") {
    shape.kind = Kind::kVersionNumber;
  } else if (p.find("\\@") != npos) {
    shape.kind = Kind::kEmail;
  } else if (p.starts_with("\\+{0,2}")) {
    std::size_t i = p.rfind('{');
    if (i != npos && Repeat(p, i, shape.least, shape.most)) shape.kind = Kind::kPhone;
  } else if (p.starts_with("http:\\/\\/") || p.starts_with("(http|ftp):\\/\\/") ||
             p.starts_with("(http|https):\\/\\/")) {
    shape.schemes = {"http://", "https://"};
    if (p.starts_with("(http|ftp)")) shape.schemes.push_back("ftp://");
    std::size_t i = p.find(":\\/\\/") + 5;
    if (p.substr(i, 1) == ".") {
      ++i;
      std::size_t least = 0;
      std::size_t most = 0;
      if (Repeat(p, i, least, most)) {
        const std::string_view rest = p.substr(i);
        if (rest.empty()) {
          shape.kind = Kind::kUrl;
        } else if (rest.starts_with("\\.(") && GroupEnd(rest, 2) == rest.size()) {
          if (std::optional<std::vector<std::string>> endings =
                  LiteralList(rest.substr(3, rest.size() - 4))) {
            for (const std::string& ending : *endings) shape.endings.push_back("." + ending);
            shape.kind = Kind::kUrl;
          }
        }
      }
    }
  } else if (p.starts_with('[')) {
    std::size_t i = 0;
    if (std::optional<CharacterSet> set = Class(p, i)) {
      shape.set = *set;
      if (i == p.size() && !set->negated && !set->letters && !set->digits && !set->ranges) {
        // One character of a few: [YyNn].
        for (char c : set->others) shape.items.emplace_back(1, c);
        shape.kind = Kind::kList;
      } else if (Repeat(p, i, shape.least, shape.most) && i == p.size()) {
        if (set->negated) {
          shape.kind = Kind::kText;
        } else if (set->digits && !set->letters && !set->blank && set->others.empty()) {
          shape.kind = Kind::kDigits;
        } else {
          shape.kind = Kind::kCharacters;
        }
      }
    }
  } else if (p.starts_with('(') && p.ends_with(")+") && GroupEnd(p, 0) == p.size() - 1) {
    std::string_view inside = p.substr(1, p.size() - 3);
    if (inside.ends_with("[, ]*")) {
      inside.remove_suffix(5);
      if (inside.starts_with('(') && GroupEnd(inside, 0) == inside.size())
        inside = inside.substr(1, inside.size() - 2);
    }
    if (std::optional<std::vector<std::string>> items = LiteralList(inside)) {
      std::erase(*items, ",");
      shape.items = std::move(*items);
      shape.kind = Kind::kRepeatedList;
    }
  } else if (std::optional<std::vector<std::string>> items = LiteralList(p);
             items && items->size() > 1) {
    shape.items = std::move(*items);
    shape.kind = Kind::kList;
  }
  return shape;
}

std::string Joined(const std::vector<std::string>& items, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count && i < items.size(); ++i) {
    if (i > 0) text += ", ";
    text += items[i];
  }
  return text;
}

// "a, b or c" (`last` "%1$s or %2$s"), "a and b".
std::string JoinedWith(const std::vector<std::string>& items, const char* last) {
  if (items.size() < 2) return Joined(items, items.size());
  return FormatText(Tr(last), {Joined(items, items.size() - 1), items.back()});
}

std::string Length(const Shape& shape, bool digits) {
  const std::string least = std::to_string(shape.least);
  const std::string most = std::to_string(shape.most);
  if (shape.least == 0)
    return FormatText(digits ? Tr("at most %1$s digits") : Tr("at most %1$s characters"), {most});
  if (shape.least == shape.most)
    return FormatText(digits ? Tr("exactly %1$s digits") : Tr("exactly %1$s characters"), {most});
  return FormatText(digits ? Tr("%1$s to %2$s digits") : Tr("%1$s to %2$s characters"),
                    {least, most});
}

// A long list is shown by its beginning and how many it has.
constexpr std::size_t kLongestList = 40;
constexpr std::size_t kListBeginning = 6;

std::string Words(const Shape& shape) {
  switch (shape.kind) {
    case Kind::kText: {
      std::vector<std::string> refused;
      for (char c : shape.set.others) refused.emplace_back(1, c);
      if (shape.set.blank) refused.push_back(Tr("blank"));
      if (shape.set.tab) refused.push_back(Tr("tab"));
      if (shape.set.lineBreak) refused.push_back(Tr("line break"));
      return FormatText(Tr("%1$s without %2$s"),
                        {Length(shape, false), JoinedWith(refused, N_("%1$s or %2$s"))});
    }
    case Kind::kCharacters: {
      std::vector<std::string> sorts;
      if (shape.set.letters) sorts.push_back(Tr("letters"));
      if (shape.set.digits) sorts.push_back(Tr("digits"));
      if (shape.set.blank) sorts.push_back(Tr("blanks"));
      std::string signs;
      for (char c : shape.set.others) {
        if (!signs.empty()) signs += ' ';
        signs += c;
      }
      // A point alone, named: "digits and ." would read as the sentence's end.
      if (signs == ".") signs = Tr("points");
      if (!signs.empty()) sorts.push_back(signs);
      return FormatText(Tr("%1$s of %2$s"),
                        {Length(shape, false), JoinedWith(sorts, N_("%1$s and %2$s"))});
    }
    case Kind::kDigits:
      return Length(shape, true);
    case Kind::kEmail:
      return Tr("an e-mail address, such as name@example.com");
    case Kind::kPhone:
      return FormatText(Tr("a phone number of %1$s to %2$s digits, blanks and ( ) - / _ # *, "
                           "with up to two + in front"),
                        {std::to_string(shape.least), std::to_string(shape.most)});
    case Kind::kUrl: {
      const std::string schemes = JoinedWith(shape.schemes, N_("%1$s or %2$s"));
      if (shape.endings.empty())
        return FormatText(Tr("an address that begins with %1$s"), {schemes});
      return FormatText(Tr("an address that begins with %1$s and ends in %2$s"),
                        {schemes, JoinedWith(shape.endings, N_("%1$s or %2$s"))});
    }
    case Kind::kList:
    case Kind::kRepeatedList: {
      const bool repeated = shape.kind == Kind::kRepeatedList;
      if (shape.items.size() <= kLongestList) {
        return FormatText(
            repeated ? Tr("one or more of: %1$s, separated by commas") : Tr("one of: %1$s"),
            {Joined(shape.items, shape.items.size())});
      }
      return FormatText(repeated ? Tr("one or more of %1$s values, such as %2$s, separated by "
                                      "commas")
                                 : Tr("one of %1$s values, such as %2$s"),
                        {std::to_string(shape.items.size()), Joined(shape.items, kListBeginning)});
    }
    case Kind::kMonth:
      return Tr("a month of two digits, 01 to 12");
    case Kind::kDay:
      return Tr("a day of two digits, 01 to 31");
    case Kind::kYear:
      return Tr("a year of four digits from 1900 to 2199");
    case Kind::kAmount:
      return Tr("an amount in digits, with two digits after the point if any, such as 19.95");
    case Kind::kVersionNumber:
      return Tr("a version number, such as 3.11");
    case Kind::kOther:
      break;
  }
  return Tr("in the form the PAD format gives");
}

struct FreeCode {
  void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct FreeMatchData {
  void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};

// The pattern as it is matched: the PAD format's patterns are older than
// today's web, and wherever one asks for http:// it takes https:// too.
std::string WithHttps(const std::string& pattern) {
  return ReplaceAll(ReplaceAll(pattern, "http:\\/\\/", "https?:\\/\\/"), "(http|", "(https?|");
}

}  // namespace

struct PadFieldRule::Compiled {
  std::unique_ptr<pcre2_code, FreeCode> code;
  Shape shape;
};

PadFieldRule::PadFieldRule(std::string path, std::string pattern)
    : path_(std::move(path)), pattern_(std::move(pattern)) {
  const std::string matched = WithHttps(pattern_);
  int error = 0;
  PCRE2_SIZE offset = 0;
  auto compiled = std::make_shared<Compiled>();
  compiled->code.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(matched.data()), matched.size(),
                                     PCRE2_UTF | PCRE2_MATCH_INVALID_UTF, &error, &offset,
                                     nullptr));
  if (!compiled->code) {
    PCRE2_UCHAR message[256];
    pcre2_get_error_message(error, message, sizeof message);
    throw std::runtime_error("the pattern of " + path_ + " does not compile at " +
                             std::to_string(offset) + ": " + reinterpret_cast<char*>(message));
  }
  // Without JIT (a library built without it) the interpreter matches.
  pcre2_jit_compile(compiled->code.get(), PCRE2_JIT_COMPLETE);
  compiled->shape = Recognise(pattern_);
  compiled_ = std::move(compiled);
  required_ = !Matches("");
}

bool PadFieldRule::Matches(std::string_view text) const {
  // One match block for each thread, made once, big enough for the match's
  // bounds (nothing captured is read).
  thread_local const std::unique_ptr<pcre2_match_data, FreeMatchData> data(
      pcre2_match_data_create(1, nullptr));
  if (!data) return false;
  const auto subject = reinterpret_cast<PCRE2_SPTR>(text.data());
  int result = pcre2_match(compiled_->code.get(), subject, text.size(), 0, 0, data.get(), nullptr);
  // JIT's own stack is small; the interpreter takes the long texts it cannot.
  if (result == PCRE2_ERROR_JIT_STACKLIMIT)
    result = pcre2_match(compiled_->code.get(), subject, text.size(), 0, PCRE2_NO_JIT, data.get(),
                         nullptr);
  // A match (0: one too large for the block, which it is not).
  return result >= 0;
}

std::string PadFieldRule::Words() const { return tesselwick::Words(compiled_->shape); }

bool PadFieldRule::HasOwnWords() const { return compiled_->shape.kind != Kind::kOther; }

std::span<const PadFieldRule> PadFieldRules() {
  static const std::vector<PadFieldRule> rules = [] {
    std::vector<PadFieldRule> list;
    std::string_view rest = kFieldsData;
    while (!rest.empty()) {
      const std::size_t end = rest.find('\n');
      std::string_view line = rest.substr(0, end);
      rest = end == npos ? std::string_view() : rest.substr(end + 1);
      if (line.ends_with('\r')) line.remove_suffix(1);
      if (line.empty() || line.starts_with('#')) continue;
      const std::size_t tab = line.find('\t');
      if (tab == npos) throw std::runtime_error("a PAD field's line without a tab");
      list.emplace_back(std::string(line.substr(0, tab)), std::string(line.substr(tab + 1)));
    }
    return list;
  }();
  return rules;
}

const PadFieldRule* FindPadFieldRule(std::string_view path) {
  for (const PadFieldRule& rule : PadFieldRules()) {
    if (rule.Path() == path) return &rule;
  }
  return nullptr;
}

}  // namespace tesselwick

#include "core/submit/category.h"

#include <array>
#include <cstdint>
#include <optional>
#include <utility>

#include "core/text/percent_encode.h"

namespace tesselwick {
namespace {

constexpr std::string_view kOpenTag = "<Program_Category_Class>";
constexpr std::string_view kCloseTag = "</Program_Category_Class>";

// The text between the first opening tag and the first closing tag, or "" when
// either is missing, begins the text, or the closing tag comes first.
std::string ElementText(std::string_view padText) {
  const std::size_t open = padText.find(kOpenTag);
  const std::size_t close = padText.find(kCloseTag);
  if (open == std::string_view::npos || open == 0 || close == std::string_view::npos ||
      close == 0) {
    return "";
  }
  const std::size_t start = open + kOpenTag.size();
  if (close <= start) return "";
  return std::string(padText.substr(start, close - start));
}

// The UTF-8 bytes of a character reference such as "#38", "#x26" or "#233"
// (its name without "&" and ";"): any Unicode scalar value but 0, whatever
// leading zeros it is written with. Nothing for anything else.
std::optional<std::string> CharacterReference(std::string_view name) {
  if (name.size() < 2 || name[0] != '#') return std::nullopt;
  const bool hex = name[1] == 'x' || name[1] == 'X';
  const std::string_view digits = name.substr(hex ? 2 : 1);
  if (digits.empty()) return std::nullopt;
  constexpr std::uint32_t kLast = 0x10FFFF;
  std::uint32_t value = 0;
  for (char c : digits) {
    std::uint32_t digit = 16;
    if (c >= '0' && c <= '9') {
      digit = static_cast<std::uint32_t>(c - '0');
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = static_cast<std::uint32_t>(c - 'a' + 10);
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = static_cast<std::uint32_t>(c - 'A' + 10);
    }
    if (digit >= (hex ? 16u : 10u)) return std::nullopt;
    value = value * (hex ? 16 : 10) + digit;
    if (value > kLast) return std::nullopt;
  }
  if (value == 0 || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;

  std::string bytes;
  auto put = [&bytes](std::uint32_t byte) { bytes.push_back(static_cast<char>(byte)); };
  if (value < 0x80) {
    put(value);
  } else if (value < 0x800) {
    put(0xC0 | (value >> 6));
    put(0x80 | (value & 0x3F));
  } else if (value < 0x10000) {
    put(0xE0 | (value >> 12));
    put(0x80 | ((value >> 6) & 0x3F));
    put(0x80 | (value & 0x3F));
  } else {
    put(0xF0 | (value >> 18));
    put(0x80 | ((value >> 12) & 0x3F));
    put(0x80 | ((value >> 6) & 0x3F));
    put(0x80 | (value & 0x3F));
  }
  return bytes;
}

// The text an entity or character reference stands for (name without "&" and ";").
std::optional<std::string> DecodeEntity(std::string_view name) {
  static constexpr std::array<std::pair<std::string_view, char>, 5> kNamed{{
      {"amp", '&'},
      {"lt", '<'},
      {"gt", '>'},
      {"quot", '"'},
      {"apos", '\''},
  }};
  for (const auto& [entity, character] : kNamed) {
    if (name == entity) return std::string(1, character);
  }
  return CharacterReference(name);
}

// Decodes in one pass from left to right, so "&amp;lt;" becomes "&lt;" and no more.
std::string DecodeEntities(std::string_view text) {
  // Longer names are no entity the program decodes, however many leading
  // zeros a reference is written with; looking further is of no use.
  constexpr std::size_t kLongestName = 32;
  std::string decoded;
  decoded.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '&') {
      const std::string_view rest = text.substr(i + 1, kLongestName + 1);
      const std::size_t semicolon = rest.find(';');
      if (semicolon != std::string_view::npos) {
        if (std::optional<std::string> character = DecodeEntity(rest.substr(0, semicolon))) {
          decoded += *character;
          i += semicolon + 2;
          continue;
        }
      }
    }
    decoded.push_back(text[i]);
    ++i;
  }
  return decoded;
}

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsWhiteSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsWhiteSpace(text.back())) text.remove_suffix(1);
  return text;
}

// Makes the category safe in a URL's query, in one pass so that nothing put in is escaped
// again. Space, "&" and ":" keep the forms that download sites expect.
std::string EscapeForQuery(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == ' ') {
      escaped += '+';
    } else if (c == '&') {
      escaped += "%26amp%3B";
    } else if (c == '%' || c == '+' || c == '#' || c == ':' || byte < 0x20 || byte >= 0x7F) {
      AppendPercentEncoded(escaped, byte);
    } else {
      escaped += c;
    }
  }
  return escaped;
}

}  // namespace

std::string ExtractCategoryText(std::string_view padText) {
  std::string element = ElementText(padText);
  // A category broken over lines is joined without anything in between.
  std::erase(element, '\n');
  std::erase(element, '\r');
  return EscapeForQuery(Trim(DecodeEntities(element)));
}

}  // namespace tesselwick

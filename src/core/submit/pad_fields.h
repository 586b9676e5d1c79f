#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace tesselwick {

// One field of a PAD file with the pattern its text is checked against, as
// data/pad-fields.tsv gives them (compiled in at build time).
class PadFieldRule {
 public:
  PadFieldRule(std::string path, std::string pattern);

  // The element's path from the root: "XML_DIZ_INFO/Company_Info/Company_Name".
  const std::string& Path() const { return path_; }
  // The pattern as the data file writes it.
  const std::string& Pattern() const { return pattern_; }
  // Whether a field's text keeps to the pattern, matched on characters: a
  // pattern that asks for "http://" takes "https://" as well.
  bool Matches(std::string_view text) const;
  // Whether the field must hold something: its pattern refuses an empty text.
  bool Required() const { return required_; }
  // What the text must be, in plain words in the user's language, written
  // for the kind of pattern ("2 to 40 characters without < or tab", "one of:
  // Shareware, Freeware, ..."), to follow "must be".
  std::string Words() const;
  // Whether Words has words of its own for this pattern's kind (and does not
  // fall back to the general ones).
  bool HasOwnWords() const;

 private:
  struct Compiled;
  std::string path_;
  std::string pattern_;
  std::shared_ptr<const Compiled> compiled_;
  bool required_ = false;
};

// Every field of the data file, in its order.
std::span<const PadFieldRule> PadFieldRules();

// The rule of the field at `path` ("XML_DIZ_INFO/..."), or none.
const PadFieldRule* FindPadFieldRule(std::string_view path);

}  // namespace tesselwick

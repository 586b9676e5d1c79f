#include "core/submit/pad_check.h"

#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>

#include "core/submit/category.h"
#include "core/submit/pad_categories.h"
#include "core/submit/pad_fields.h"
#include "core/text/translation.h"

namespace tesselwick {
namespace {

constexpr std::string_view kRoot = "XML_DIZ_INFO";

struct FreeDocument {
  void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
struct FreeContext {
  void operator()(xmlParserCtxt* context) const { xmlFreeParserCtxt(context); }
};

bool IsWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string Trim(std::string_view text) {
  while (!text.empty() && IsWhiteSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsWhiteSpace(text.back())) text.remove_suffix(1);
  return std::string(text);
}

std::string_view Name(const xmlNode* node) { return reinterpret_cast<const char*>(node->name); }

// The first child element of that name.
const xmlNode* Child(const xmlNode* parent, std::string_view name) {
  for (const xmlNode* child = parent->children; child != nullptr; child = child->next) {
    if (child->type == XML_ELEMENT_NODE && Name(child) == name) return child;
  }
  return nullptr;
}

// The element at `path` ("Program_Info/Program_Name") below `root`, taking
// the first of each name.
const xmlNode* Find(const xmlNode* root, std::string_view path) {
  const xmlNode* node = root;
  while (node != nullptr && !path.empty()) {
    const std::size_t slash = path.find('/');
    node = Child(node, path.substr(0, slash));
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
  }
  return node;
}

// How many bytes of text a document may come to with its entities expanded:
// twice the largest PAD file that is fetched, so only entities can reach it.
constexpr std::size_t kMostExpandedText = std::size_t{32} * 1024 * 1024;

// The bytes of text below a node with every entity reference expanded, as
// xmlNodeGetContent would give them, counted without making that text: an
// entity's own size is counted once and kept in `sizes`. Counting stops past
// `bound`, so a small file whose entities expand to gigabytes costs nothing.
class ExpandedText {
 public:
  explicit ExpandedText(std::size_t bound) : bound_(bound) {}

  std::size_t Size(const xmlNode* node) {
    std::size_t size = 0;
    for (const xmlNode* child = node->children; child != nullptr && size <= bound_;
         child = child->next) {
      size += Own(child);
    }
    // Past the bound by at most one, however deep the entities nest.
    return std::min(size, bound_ + 1);
  }

 private:
  std::size_t Own(const xmlNode* node) {
    switch (node->type) {
      case XML_TEXT_NODE:
      case XML_CDATA_SECTION_NODE:
        return node->content == nullptr ? 0 : static_cast<std::size_t>(xmlStrlen(node->content));
      case XML_ELEMENT_NODE:
        return Size(node);
      case XML_ENTITY_REF_NODE: {
        const xmlEntity* entity = xmlGetDocEntity(node->doc, node->name);
        if (entity == nullptr) return 0;
        const auto known = sizes_.find(entity);
        if (known != sizes_.end()) return known->second;
        // Nothing while it is being counted: the parser refuses an entity that
        // refers to itself, and the count ends even if one came through.
        sizes_.emplace(entity, 0);
        const std::size_t size = Size(reinterpret_cast<const xmlNode*>(entity));
        sizes_[entity] = size;
        return size;
      }
      default:
        return 0;
    }
  }

  const std::size_t bound_;
  std::unordered_map<const xmlEntity*, std::size_t> sizes_;
};

void AppendText(const xmlNode* node, std::string& text) {
  for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
    if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) {
      if (child->content != nullptr) text += reinterpret_cast<const char*>(child->content);
    } else if (child->type == XML_ELEMENT_NODE) {
      AppendText(child, text);
    } else if (child->type == XML_ENTITY_REF_NODE) {
      if (const xmlEntity* entity = xmlGetDocEntity(child->doc, child->name))
        AppendText(reinterpret_cast<const xmlNode*>(entity), text);
    }
  }
}

// An element's text (in UTF-8, entities and CDATA included) without the
// white space around it. The document's whole text is known to be at most
// kMostExpandedText bytes, so this is too.
std::string Text(const xmlNode* node) {
  std::string text;
  AppendText(node, text);
  std::size_t start = 0;
  while (start < text.size() && IsWhiteSpace(text[start])) ++start;
  std::size_t end = text.size();
  while (end > start && IsWhiteSpace(text[end - 1])) --end;
  text.erase(end);
  text.erase(0, start);
  return text;
}

std::size_t Characters(std::string_view utf8) {
  std::size_t count = 0;
  for (char c : utf8) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

// A value as a problem's line shows it: in quotes, its beginning only when
// it is long, its line breaks and tabs as blanks.
std::string Quoted(std::string_view value) {
  constexpr std::size_t kLongest = 60;
  std::size_t end = 0;
  std::size_t shown = 0;
  while (end < value.size() && shown < kLongest) {
    ++end;
    while (end < value.size() && (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80) ++end;
    ++shown;
  }
  std::string quoted = "\"" + std::string(value.substr(0, end));
  // A problem is one line, whatever the value holds.
  for (char& c : quoted) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  if (end < value.size()) quoted += "...";
  return quoted + "\"";
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// A number of one or two digits from `lowest` to `highest`.
bool InRange(std::string_view text, int lowest, int highest) {
  if (!AllDigits(text) || text.size() > 2) return false;
  int value = 0;
  for (char c : text) value = value * 10 + (c - '0');
  return value >= lowest && value <= highest;
}

std::string FullPath(std::string_view path) { return std::string(kRoot) + "/" + std::string(path); }

// The parser's first error: the one that says where the file went wrong
// (later ones often follow from it).
struct FirstError {
  bool seen = false;
  int line = 0;
  std::string message;
};

void KeepFirstError(void* data, xmlErrorPtr error) {
  auto* context = static_cast<xmlParserCtxt*>(data);
  auto* first = static_cast<FirstError*>(context->_private);
  if (first == nullptr || first->seen || error == nullptr || error->level < XML_ERR_ERROR) return;
  first->seen = true;
  first->line = error->line;
  first->message = error->message == nullptr ? "" : Trim(error->message);
  for (char& c : first->message) {
    if (c == '\n' || c == '\r') c = ' ';
  }
}

// Why the text is not a well-formed XML document, or nothing when it is one.
std::optional<std::string> NotWellFormed(const xmlParserCtxt* context, bool parsed,
                                         const FirstError& first) {
  if (parsed && context->wellFormed) return std::nullopt;
  if (!first.seen) return Tr("The file is not well-formed XML.");
  return FormatText(Tr("The file is not well-formed XML: line %1$s: %2$s."),
                    {std::to_string(first.line), first.message});
}

using Problems = std::vector<PadProblem>;

// An error about the element at `path` (empty: about the whole file).
void Error(Problems& problems, std::string path, std::string text) {
  problems.push_back({PadProblemLevel::kError, std::move(path), std::move(text)});
}

void CheckLengths(const xmlNode* root, Problems& problems) {
  const xmlNode* descriptions = Child(root, "Program_Descriptions");
  if (descriptions == nullptr) return;
  static constexpr std::size_t kLimits[] = {45, 80, 250, 450, 2000};
  for (const xmlNode* language = descriptions->children; language != nullptr;
       language = language->next) {
    if (language->type != XML_ELEMENT_NODE) continue;
    for (std::size_t limit : kLimits) {
      const std::string name = "Char_Desc_" + std::to_string(limit);
      const xmlNode* description = Child(language, name);
      if (description == nullptr) continue;
      const std::size_t length = Characters(Text(description));
      if (length > limit) {
        const std::string path =
            FullPath("Program_Descriptions/" + std::string(Name(language)) + "/" + name);
        Error(problems, path,
              FormatText(Tr("%1$s is %2$s characters long; at most %3$s are allowed."),
                         {path, std::to_string(length), std::to_string(limit)}));
      }
    }
  }
}

// What a field's text must be, after its path and its text quoted.
std::string MustBe(const PadFieldRule& rule, std::string_view value) {
  return FormatText(Tr("%1$s %2$s must be %3$s."), {rule.Path(), Quoted(value), rule.Words()});
}

void CheckFormats(const xmlNode* root, Problems& problems) {
  // Each field's text must keep to its pattern. Each rule: the field, a
  // fault of its text that has words of its own, and the problem when it
  // has that fault (the field's path, then its text quoted); any other text
  // that its pattern refuses is an error in the pattern's words.
  struct Rule {
    const char* path;
    bool (*holds)(std::string_view value);
    const char* problem;
  };
  static constexpr Rule kRules[] = {
      {"Program_Info/Program_Version",
       [](std::string_view v) { return v.find_first_of(" \t\r\n") == std::string_view::npos; },
       N_("%1$s %2$s has white space inside; a version is one word, such as \"2.4\".")},
      {"Program_Info/File_Info/File_Size_Bytes", [](std::string_view v) { return AllDigits(v); },
       N_("%1$s %2$s is not a number of bytes in digits only, such as \"4718592\".")},
      {"Program_Info/Program_Release_Month", [](std::string_view v) { return InRange(v, 1, 12); },
       N_("%1$s %2$s is not a month from 1 to 12.")},
      {"Program_Info/Program_Release_Day", [](std::string_view v) { return InRange(v, 1, 31); },
       N_("%1$s %2$s is not a day from 1 to 31.")},
      {"Program_Info/Program_Release_Year",
       [](std::string_view v) { return AllDigits(v) && v.size() == 4; },
       N_("%1$s %2$s is not a year of four digits.")},
  };
  for (const Rule& rule : kRules) {
    const xmlNode* node = Find(root, rule.path);
    if (node == nullptr) continue;
    const std::string value = Text(node);
    // A blank field is either required (and reported so) or left out.
    if (value.empty()) continue;
    const std::string path = FullPath(rule.path);
    if (!rule.holds(value)) {
      Error(problems, path, FormatText(Tr(rule.problem), {path, Quoted(value)}));
    } else if (const PadFieldRule* field = FindPadFieldRule(path);
               field != nullptr && !field->Matches(value)) {
      Error(problems, path, MustBe(*field, value));
    }
  }
}

// A warning for every field of the PAD format whose text its pattern
// refuses, a missing field's empty text included, unless an error is about
// that field already.
void CheckPatterns(const xmlNode* root, Problems& problems) {
  std::set<std::string, std::less<>> withErrors;
  for (const PadProblem& problem : problems) withErrors.insert(problem.path);
  const std::string prefix = std::string(kRoot) + "/";
  for (const PadFieldRule& rule : PadFieldRules()) {
    if (withErrors.contains(rule.Path()) || !rule.Path().starts_with(prefix)) continue;
    const xmlNode* node = Find(root, std::string_view(rule.Path()).substr(prefix.size()));
    const std::string value = node == nullptr ? std::string() : Text(node);
    if (rule.Matches(value)) continue;
    std::string text;
    if (node == nullptr) {
      text = FormatText(Tr("%1$s is missing; it must be %2$s."), {rule.Path(), rule.Words()});
    } else if (value.empty()) {
      text = FormatText(Tr("%1$s is empty; it must be %2$s."), {rule.Path(), rule.Words()});
    } else {
      text = MustBe(rule, value);
    }
    problems.push_back({PadProblemLevel::kWarning, rule.Path(), std::move(text)});
  }
}

// Parses a PAD file under the check's bounds: nothing fetched from the
// network, nothing printed, no file over INT_MAX bytes, the root element
// XML_DIZ_INFO and at most kMostExpandedText bytes of text with its entities
// expanded. Nothing, with the reason in `problems`, when the file is not one.
std::unique_ptr<xmlDoc, FreeDocument> ParsePadFile(std::string_view padText,
                                                   std::vector<std::string>& problems) {
  // The parser's tables are set up once, before any thread parses.
  static const bool initialised = [] {
    xmlInitParser();
    return true;
  }();
  (void)initialised;

  if (padText.size() > static_cast<std::size_t>(INT_MAX)) {
    problems.push_back(Tr("The file is not well-formed XML: it is too large to read."));
    return nullptr;
  }
  const std::unique_ptr<xmlParserCtxt, FreeContext> context(xmlNewParserCtxt());
  if (!context) {
    problems.push_back(Tr("The file could not be read: out of memory."));
    return nullptr;
  }
  // Nothing is fetched from the network (no external DTD or entity), and the
  // parser prints nothing: its first error goes into the problem's line.
  FirstError first;
  context->_private = &first;
  context->userData = context.get();
  context->sax->serror = KeepFirstError;
  std::unique_ptr<xmlDoc, FreeDocument> document(
      xmlCtxtReadMemory(context.get(), padText.data(), static_cast<int>(padText.size()), nullptr,
                        nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
  if (std::optional<std::string> why = NotWellFormed(context.get(), document != nullptr, first)) {
    problems.push_back(*why);
    return nullptr;
  }
  const xmlNode* root = xmlDocGetRootElement(document.get());
  if (root == nullptr || Name(root) != kRoot) {
    problems.push_back(FormatText(Tr("The root element is <%1$s>, not <%2$s>."),
                                  {root == nullptr ? "" : Name(root), kRoot}));
    return nullptr;
  }
  // Entities that would expand a small file into more text than any PAD file
  // holds are not expanded at all.
  if (ExpandedText(kMostExpandedText).Size(root) > kMostExpandedText) {
    problems.push_back(FormatText(Tr("The PAD file expands entities past %1$s MiB of text."),
                                  {std::to_string(kMostExpandedText / (1024 * 1024))}));
    return nullptr;
  }
  return document;
}

Problems Check(std::string_view padText, std::string_view padUrl, bool withWarnings) {
  Problems problems;
  std::vector<std::string> unreadable;
  const auto document = ParsePadFile(padText, unreadable);
  if (!document) {
    for (std::string& text : unreadable) Error(problems, "", std::move(text));
    return problems;
  }
  const xmlNode* root = xmlDocGetRootElement(document.get());

  for (const char* path : kRequiredPadFields) {
    const xmlNode* node = Find(root, path);
    if (node == nullptr) {
      Error(problems, FullPath(path), FormatText(Tr("%1$s is missing."), {FullPath(path)}));
    } else if (Text(node).empty()) {
      Error(problems, FullPath(path), FormatText(Tr("%1$s is empty."), {FullPath(path)}));
    }
  }

  CheckLengths(root, problems);

  const std::string categoryPath = FullPath("Program_Info/Program_Category_Class");
  if (const xmlNode* node = Find(root, "Program_Info/Program_Category_Class")) {
    const std::string category = Text(node);
    if (!category.empty() && !IsPadCategory(category)) {
      Error(problems, categoryPath,
            FormatText(Tr("%1$s %2$s is not one of the official PAD categories, such as "
                          "\"Games & Entertainment::Puzzle & Word Games\"."),
                       {categoryPath, Quoted(category)}));
    }
  }

  // The submission takes the category out of the file's bytes as they are;
  // when it finds none there, it stops before any site is asked, and the
  // check says so rather than let the file pass.
  if (const xmlNode* node = Find(root, "Program_Info/Program_Category_Class");
      node != nullptr && !Text(node).empty() && ExtractCategoryText(padText).empty()) {
    const bool utf16 = padText.starts_with("\xFF\xFE") || padText.starts_with("\xFE\xFF");
    Error(problems, categoryPath,
          FormatText(
              utf16 ? Tr("%1$s cannot be read by a submission from a file in UTF-16: it stops "
                         "with \"Your PAD File Needs to Contain a Category\". Save the file as "
                         "UTF-8.")
                    : Tr("%1$s cannot be read by a submission, which takes it from the text "
                         "between <Program_Category_Class> and </Program_Category_Class>: it "
                         "stops with \"Your PAD File Needs to Contain a Category\"."),
              {categoryPath}));
  }

  const std::string addressPath = FullPath("Web_Info/Application_URLs/Application_XML_File_URL");
  if (const xmlNode* node = Find(root, "Web_Info/Application_URLs/Application_XML_File_URL")) {
    const std::string address = Text(node);
    if (!address.empty() && address != padUrl) {
      Error(problems, addressPath,
            FormatText(Tr("%1$s %2$s is not the address submitted, %3$s."),
                       {addressPath, Quoted(address), Quoted(padUrl)}));
    }
  }

  CheckFormats(root, problems);
  if (withWarnings) CheckPatterns(root, problems);
  return problems;
}

}  // namespace

std::vector<PadProblem> CheckPadFields(std::string_view padText, std::string_view padUrl) {
  return Check(padText, padUrl, true);
}

std::vector<std::string> CheckPadFile(std::string_view padText, std::string_view padUrl) {
  std::vector<std::string> errors;
  for (PadProblem& problem : Check(padText, padUrl, false))
    errors.push_back(std::move(problem.text));
  return errors;
}

PadProgram ReadPadProgram(std::string_view padText) {
  std::vector<std::string> problems;
  const auto document = ParsePadFile(padText, problems);
  if (!document) return {};
  const xmlNode* root = xmlDocGetRootElement(document.get());
  const auto field = [root](std::string_view path) {
    const xmlNode* node = Find(root, path);
    std::string value = node == nullptr ? std::string() : Text(node);
    if (value.size() > kMostProgramFieldBytes) value.clear();
    return value;
  };
  return {field("Program_Info/Program_Name"), field("Program_Info/Program_Version")};
}

}  // namespace tesselwick

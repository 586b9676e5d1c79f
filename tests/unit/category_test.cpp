#include "core/submit/category.h"

#include <gtest/gtest.h>

namespace tesselwick {
namespace {

// A PAD text whose category element holds `text`, after a declaration as real files have.
std::string Pad(std::string_view text) {
  return "<?xml version=\"1.0\"?>\r\n<XML_DIZ_INFO>\r\n<Program_Info>\r\n<Program_Category_Class>" +
         std::string(text) + "</Program_Category_Class>\r\n</Program_Info>\r\n</XML_DIZ_INFO>\r\n";
}

TEST(Category, IsEscapedForAQuery) {
  EXPECT_EQ(ExtractCategoryText(Pad("Games &amp; Entertainment::Puzzle")),
            "Games+%26amp%3B+Entertainment%3A%3APuzzle");
  EXPECT_EQ(ExtractCategoryText(Pad("Business::Finance")), "Business%3A%3AFinance");
  EXPECT_EQ(ExtractCategoryText(Pad("Development::C / C++ / C#")),
            "Development%3A%3AC+/+C%2B%2B+/+C%23");
  // Percent signs, control characters and bytes outside ASCII are escaped too.
  EXPECT_EQ(ExtractCategoryText(Pad("100% Fun\tStuff\x7F\xE9")), "100%25+Fun%09Stuff%7F%E9");
}

TEST(Category, EntitiesAndReferencesAreDecodedOnce) {
  for (const char* ampersand : {"&amp;", "&#38;", "&#x26;", "&#X26;", "&#038;"}) {
    EXPECT_EQ(ExtractCategoryText(Pad(std::string("Games ") + ampersand + " Puzzle")),
              "Games+%26amp%3B+Puzzle")
        << ampersand;
  }
  EXPECT_EQ(ExtractCategoryText(Pad("&lt;a&gt; &quot;b&quot; &apos;c&apos;")), "<a>+\"b\"+'c'");
  // What a decoded entity yields is not decoded again.
  EXPECT_EQ(ExtractCategoryText(Pad("A &amp;lt; B")), "A+%26amp%3Blt;+B");
  // Unknown entities, bare ampersands and malformed references stay as text.
  EXPECT_EQ(ExtractCategoryText(Pad("A & B &nbsp; &#xZZ; &#; &#12a;")),
            "A+%26amp%3B+B+%26amp%3Bnbsp;+%26amp%3B%23xZZ;+%26amp%3B%23;+%26amp%3B%2312a;");
}

TEST(Category, ReferencesOfAnyCodePointBecomeEscapedUtf8) {
  const std::pair<const char*, const char*> cases[] = {
      {"Caf&#233;", "Caf%C3%A9"},
      {"Caf&#xE9;", "Caf%C3%A9"},
      {"Caf&#x00000000E9;", "Caf%C3%A9"},
      {"&#8364; &#x20AC;", "%E2%82%AC+%E2%82%AC"},
      {"&#x7FF;&#x800;&#xFFFF;&#x10000;", "%DF%BF%E0%A0%80%EF%BF%BF%F0%90%80%80"},
      {"&#128512;", "%F0%9F%98%80"},
      {"&#x10FFFF;", "%F4%8F%BF%BF"},
      // No character: beyond Unicode, a surrogate, zero.
      {"&#x110000;", "%26amp%3B%23x110000;"},
      {"&#1114112;", "%26amp%3B%231114112;"},
      {"&#xD800;", "%26amp%3B%23xD800;"},
      {"&#0;", "%26amp%3B%230;"},
      {"&#99999999999999999999;", "%26amp%3B%2399999999999999999999;"},
  };
  for (const auto& [text, escaped] : cases) {
    EXPECT_EQ(ExtractCategoryText(Pad(text)), escaped) << text;
  }
}

TEST(Category, LineBreaksVanishAndSurroundingSpaceIsTrimmed) {
  EXPECT_EQ(ExtractCategoryText(Pad("Games\r\nPuzzle")), "GamesPuzzle");
  EXPECT_EQ(ExtractCategoryText(Pad("\r\n  Utilities::System\t \r\n")), "Utilities%3A%3ASystem");
  EXPECT_EQ(ExtractCategoryText(Pad(" ")), "");
  EXPECT_EQ(ExtractCategoryText(Pad("\r\n\t&#32;\r\n")), "");
  EXPECT_EQ(ExtractCategoryText(Pad("Home  Hobby")), "Home++Hobby");
}

TEST(Category, IsEmptyWithoutAUsableElement) {
  EXPECT_EQ(ExtractCategoryText(""), "");
  EXPECT_EQ(ExtractCategoryText("<XML_DIZ_INFO><Program_Name>x</Program_Name></XML_DIZ_INFO>"), "");
  EXPECT_EQ(ExtractCategoryText(Pad("")), "");
  // Only one of the two tags.
  EXPECT_EQ(ExtractCategoryText("x<Program_Category_Class>Games"), "");
  EXPECT_EQ(ExtractCategoryText("x Games</Program_Category_Class>"), "");
  // A closing tag before the opening one ends the search.
  EXPECT_EQ(ExtractCategoryText(
                "x</Program_Category_Class><Program_Category_Class>Games</Program_Category_Class>"),
            "");
  // Tags are matched exactly, letter case included.
  EXPECT_EQ(ExtractCategoryText("x<program_category_class>Games</program_category_class>"), "");
  // An opening tag at the very start counts as missing.
  EXPECT_EQ(ExtractCategoryText("<Program_Category_Class>Games</Program_Category_Class>"), "");
  EXPECT_EQ(ExtractCategoryText(" <Program_Category_Class>Games</Program_Category_Class>"),
            "Games");
}

TEST(Category, OnlyTheFirstElementCounts) {
  EXPECT_EQ(ExtractCategoryText(Pad("Games::Puzzle") +
                                "<Program_Category_Class>Business</Program_Category_Class>"),
            "Games%3A%3APuzzle");
}

}  // namespace
}  // namespace tesselwick

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/app/main_dialog.h"
#include "core/submit/pad_check.h"
#include "core/submit/pad_check_output.h"
#include "core/text/replace.h"
#include "core/text/translation.h"
#include "support/sample_sites.h"
#include "support/temp_folder.h"

namespace tesselwick {
namespace {

TEST(Translation, LooksTextsUpOnlyOnceATranslatorIsSetAndKeepsWhatItHandedOut) {
  const char* text = "Help";
  EXPECT_EQ(Tr(text), text);  // the same pointer: no copy, no change
  SetTranslator([](const char* english) {
    return std::string(english) == "Help" ? std::string("Hilfe") : std::string(english);
  });
  const char* german = Tr(text);
  EXPECT_STREQ(german, "Hilfe");
  EXPECT_EQ(Tr("Help"), german);  // found again at the same place
  EXPECT_EQ(Tr("Quit"), "Quit");  // no translation: the text itself
  EXPECT_STREQ(Tr(""), "");
  SetTranslator({});
  EXPECT_EQ(Tr(text), text);
  EXPECT_STREQ(german, "Hilfe");  // still valid after the translator went
}

// The PAD check's problems are looked up whole, as patterns, so that a
// translation may put the field's path where its language wants it.
TEST(Translation, ThePadChecksProblemsAreLookedUpAsPatterns) {
  SetTranslator([](const char* english) {
    return std::string(english) == "%1$s is missing." ? std::string("Es fehlt: %1$s")
                                                      : std::string(english);
  });
  const std::vector<std::string> problems = CheckPadFile("<XML_DIZ_INFO/>", "http://a.example/");
  SetTranslator({});
  ASSERT_FALSE(problems.empty());
  EXPECT_EQ(problems.front(), "Es fehlt: XML_DIZ_INFO/Company_Info/Company_Name");
}

// A warning's words are made of pieces each looked up on its own, so that
// the window shows them in the user's language.
TEST(Translation, ThePadChecksWarningsAreInTheUsersLanguage) {
  SetTranslator([](const char* english) {
    const std::string text = english;
    if (text == "%1$s is missing; it must be %2$s.")
      return std::string("%1$s fehlt; es muss %2$s sein.");
    if (text == "%1$s to %2$s characters") return std::string("%1$s bis %2$s Zeichen");
    if (text == "%1$s without %2$s") return std::string("%1$s ohne %2$s");
    if (text == "%1$s or %2$s") return std::string("%1$s oder %2$s");
    if (text == "tab") return std::string("Tabulator");
    if (text == "and 1 warning:") return std::string("und 1 Warnung:");
    return text;
  });
  const std::string pad = test::CheckedPad("http://a.example/pad.xml");
  const std::vector<PadProblem> problems =
      CheckPadFields(ReplaceAll(ReplaceAll(pad, "<Author_First_Name>Ada</Author_First_Name>", ""),
                                ">1.0<", ">1.0 beta<"),
                     "http://a.example/pad.xml");
  const std::string box = PadProblemsBoxList(problems);
  SetTranslator({});
  EXPECT_EQ(box,
            "XML_DIZ_INFO/Program_Info/Program_Version \"1.0 beta\" has white space inside; a "
            "version is one word, such as \"2.4\".\r\n\r\nund 1 Warnung:\r\n"
            "XML_DIZ_INFO/Company_Info/Contact_Info/Author_First_Name fehlt; es muss 2 bis 30 "
            "Zeichen ohne < oder Tabulator sein.");
}

TEST(Translation, FormatTextFillsNumberedPlaceholdersInAnyOrder) {
  struct Row {
    const char* pattern;
    const char* expected;
  };
  const Row rows[] = {
      {"%1$s: %2$s", "pad.dat: it is a folder"},
      {"%2$s (%1$s)", "it is a folder (pad.dat)"},
      {"100%% of %1$s, %1$s again", "100% of pad.dat, pad.dat again"},
      {"%3$s stays, %PADURL% too, a lone % as well", "%3$s stays, %PADURL% too, a lone % as well"},
      {"ends in %", "ends in %"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(FormatText(row.pattern, {"pad.dat", "it is a folder"}), row.expected) << row.pattern;
}

TEST(ManualAddress, TheInstalledManualOnlyForTheBundledLocalSiteAndOnlyWhenItIsThere) {
  test::TempFolder folder;
  folder.Write("manual.htm", "<html></html>");
  const std::filesystem::path installed = folder / "manual.htm";
  struct Row {
    const char* site;
    std::filesystem::path manual;
    std::string expected;
  };
  const Row rows[] = {
      {"http://127.0.0.1:8417", installed, installed.string()},
      {"http://localhost:8417", installed, installed.string()},
      {"http://127.0.0.1:8417", folder / "missing.htm", "http://127.0.0.1:8417/manual.htm"},
      {"http://127.0.0.1:8417", {}, "http://127.0.0.1:8417/manual.htm"},
      {"https://tesselwick.example", installed, "https://tesselwick.example/manual.htm"},
      {"http://127.0.0.1.example.com", installed, "http://127.0.0.1.example.com/manual.htm"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(ManualAddress(row.site, row.manual), row.expected) << row.site;
}

}  // namespace
}  // namespace tesselwick

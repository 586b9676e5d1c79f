#include "core/submit/pad_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/submit/pad_categories.h"
#include "core/text/replace.h"

namespace tesselwick {
namespace {

const std::string kPadUrl = "http://pad.example/tools/pad.xml?v=2";

// A PAD file that keeps every rule; each case changes one piece of it.
const std::string kGoodPad = R"(<?xml version="1.0" encoding="UTF-8"?>
<XML_DIZ_INFO>
  <Company_Info><Company_Name>Lantern Works</Company_Name></Company_Info>
  <Program_Info>
    <Program_Name>Box Packer</Program_Name>
    <Program_Version>3.1.0-rc2</Program_Version>
    <Program_Release_Month>02</Program_Release_Month>
    <Program_Release_Day>29</Program_Release_Day>
    <Program_Release_Year>2024</Program_Release_Year>
    <Program_Type>Freeware</Program_Type>
    <Program_OS_Support>Linux</Program_OS_Support>
    <Program_Category_Class>Games &amp; Entertainment::Puzzle &amp; Word Games</Program_Category_Class>
    <File_Info><File_Size_Bytes>
      1048576
    </File_Size_Bytes></File_Info>
  </Program_Info>
  <Program_Descriptions>
    <English>
      <Char_Desc_45>Exactly forty-five characters long, this one.</Char_Desc_45>
      <Char_Desc_80><![CDATA[Packs boxes <fast> & neatly]]></Char_Desc_80>
    </English>
    <German><Char_Desc_45>Packt Kisten schnell, ordentlich und ohne Müh</Char_Desc_45></German>
  </Program_Descriptions>
  <Web_Info>
    <Application_URLs>
      <Application_Info_URL>http://pad.example/tools/</Application_Info_URL>
      <Application_XML_File_URL> http://pad.example/tools/pad.xml?v=2&amp;x=1 </Application_XML_File_URL>
    </Application_URLs>
    <Download_URLs><Primary_Download_URL>http://pad.example/box.zip</Primary_Download_URL></Download_URLs>
  </Web_Info>
</XML_DIZ_INFO>
)";

std::string Path(const std::string& field) { return "XML_DIZ_INFO/" + field; }

struct Case {
  const char* name;
  // The text replaced in kGoodPad, and what replaces it.
  std::string from;
  std::string to;
  std::vector<std::string> problems;
};

void ExpectCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_NE(kGoodPad.find(c.from), std::string::npos);
    const std::string pad = ReplaceAll(kGoodPad, c.from, c.to);
    EXPECT_EQ(CheckPadFile(pad, kPadUrl + "&x=1"), c.problems);
  }
}

TEST(PadCheck, AFileThatKeepsEveryRuleHasNoProblem) {
  // Its German Char_Desc_45 has 45 characters in 46 bytes ("ü"), its
  // Char_Desc_80 markup in CDATA, its XML_File_URL an entity and blanks.
  EXPECT_EQ(CheckPadFile(kGoodPad, kPadUrl + "&x=1"), std::vector<std::string>{});
}

TEST(PadCheck, TheFileMustBeWellFormedWithTheRightRoot) {
  EXPECT_EQ(
      CheckPadFile("", kPadUrl),
      std::vector<std::string>{"The file is not well-formed XML: line 1: Document is empty."});
  EXPECT_EQ(CheckPadFile("<XML_DIZ_INFO>\n<Program_Info></Program_Name>\n</XML_DIZ_INFO>", kPadUrl),
            std::vector<std::string>{"The file is not well-formed XML: line 2: Opening and ending "
                                     "tag mismatch: Program_Info line 2 and Program_Name."});
  EXPECT_EQ(CheckPadFile("<XML_DIZ_INFO>Games & Puzzles</XML_DIZ_INFO>", kPadUrl).size(), 1u);
  // HTML's entities are no XML's.
  EXPECT_EQ(CheckPadFile("<XML_DIZ_INFO>Box&nbsp;Packer</XML_DIZ_INFO>", kPadUrl),
            std::vector<std::string>{
                "The file is not well-formed XML: line 1: Entity 'nbsp' not defined."});
  EXPECT_EQ(CheckPadFile("<?xml version=\"1.0\"?><PAD><Program_Info/></PAD>", kPadUrl),
            std::vector<std::string>{"The root element is <PAD>, not <XML_DIZ_INFO>."});
}

TEST(PadCheck, TheFieldsSitesRequireMustBePresentAndNotBlank) {
  std::vector<std::string> allMissing;
  for (const char* field : kRequiredPadFields) allMissing.push_back(Path(field) + " is missing.");
  EXPECT_EQ(CheckPadFile("<XML_DIZ_INFO/>", kPadUrl), allMissing);

  ExpectCases({
      {"absent",
       "<Program_Type>Freeware</Program_Type>",
       "",
       {Path("Program_Info/Program_Type") + " is missing."}},
      {"in the wrong parent",
       "<Company_Info><Company_Name>Lantern Works</Company_Name>",
       "<Company_Info><Company>Lantern Works</Company>",
       {Path("Company_Info/Company_Name") + " is missing."}},
      {"empty",
       "<Program_OS_Support>Linux</Program_OS_Support>",
       "<Program_OS_Support/>",
       {Path("Program_Info/Program_OS_Support") + " is empty."}},
      {"blank",
       "<Program_Name>Box Packer</Program_Name>",
       "<Program_Name> \r\n\t</Program_Name>",
       {Path("Program_Info/Program_Name") + " is empty."}},
      {"only the first of a name counts",
       "<Primary_Download_URL>http://pad.example/box.zip</Primary_Download_URL>",
       "<Primary_Download_URL/><Primary_Download_URL>http://pad.example/box.zip"
       "</Primary_Download_URL>",
       {Path("Web_Info/Download_URLs/Primary_Download_URL") + " is empty."}},
  });
}

TEST(PadCheck, DescriptionsKeepToTheLengthsTheirNamesGive) {
  const std::string& ok = kGoodPad;
  auto pad = [&ok](const std::string& name, std::size_t length) {
    return ReplaceAll(ok, "</English>",
                      "<" + name + ">" + std::string(length, 'a') + "</" + name + "></English>");
  };
  // The file kept to 45 and 80 exactly; the longer ones are optional.
  for (std::size_t limit : {250u, 450u, 2000u}) {
    const std::string name = "Char_Desc_" + std::to_string(limit);
    SCOPED_TRACE(name);
    EXPECT_EQ(CheckPadFile(pad(name, limit), kPadUrl + "&x=1"), std::vector<std::string>{});
    EXPECT_EQ(CheckPadFile(pad(name, limit + 1), kPadUrl + "&x=1"),
              std::vector<std::string>{Path("Program_Descriptions/English/" + name) + " is " +
                                       std::to_string(limit + 1) + " characters long; at most " +
                                       std::to_string(limit) + " are allowed."});
  }
  ExpectCases({
      {"one over 80, with the blanks around it not counted",
       "Packs boxes <fast> & neatly",
       "  " + std::string(81, 'x') + "\n",
       {Path("Program_Descriptions/English/Char_Desc_80") +
        " is 81 characters long; at most 80 are allowed."}},
      {"one over 45 in another language",
       "ohne Müh",
       "ohne Mühe",
       {Path("Program_Descriptions/German/Char_Desc_45") +
        " is 46 characters long; at most 45 are allowed."}},
  });
}

TEST(PadCheck, TheCategoryIsAnOfficialOne) {
  EXPECT_EQ(PadCategories().size(), 155u);
  EXPECT_EQ(PadCategories().front(), "Audio & Multimedia::Audio Encoders/Decoders");
  EXPECT_EQ(PadCategories().back(), "Web Development::XML/CSS Tools");
  const std::string& ok = kGoodPad;
  auto problems = [&ok](const std::string& category) {
    return CheckPadFile(
        ReplaceAll(ok, "Games &amp; Entertainment::Puzzle &amp; Word Games", category),
        kPadUrl + "&x=1");
  };
  const std::string notOne =
      " is not one of the official PAD categories, such as \"Games & "
      "Entertainment::Puzzle & Word Games\".";
  const std::string path = Path("Program_Info/Program_Category_Class");
  EXPECT_EQ(problems("Web Development::XML/CSS Tools"), std::vector<std::string>{});
  EXPECT_EQ(problems("\n  Business::Accounting &amp; Finance "), std::vector<std::string>{});
  EXPECT_EQ(problems("Games"), std::vector<std::string>{path + " \"Games\"" + notOne});
  EXPECT_EQ(problems("games &amp; entertainment::puzzle"),
            std::vector<std::string>{path + " \"games & entertainment::puzzle\"" + notOne});
  EXPECT_EQ(problems("Games &amp; Entertainment::Puzzle"),
            std::vector<std::string>{path + " \"Games & Entertainment::Puzzle\"" + notOne});
  EXPECT_EQ(
      problems("Games &amp; Entertainment:: Puzzle &amp; Word Games"),
      std::vector<std::string>{path + " \"Games & Entertainment:: Puzzle & Word Games\"" + notOne});
  // A long value is shown by its beginning.
  EXPECT_EQ(problems(std::string(70, 'z')),
            std::vector<std::string>{path + " \"" + std::string(60, 'z') + "...\"" + notOne});
}

// A file the check passes is one whose submission finds its category.
TEST(PadCheck, ACategoryTheSubmissionCannotReadIsAProblem) {
  const std::string path = Path("Program_Info/Program_Category_Class");
  ExpectCases({
      {"an attribute in the tag",
       "<Program_Category_Class>",
       "<Program_Category_Class xml:lang=\"en\">",
       {path + " cannot be read by a submission, which takes it from the text between "
               "<Program_Category_Class> and "
               "</Program_Category_Class>: it stops with \"Your PAD File Needs to Contain a "
               "Category\"."}},
      {"a blank before the closing tag's end",
       "</Program_Category_Class>",
       "</Program_Category_Class >",
       {path + " cannot be read by a submission, which takes it from the text between "
               "<Program_Category_Class> and "
               "</Program_Category_Class>: it stops with \"Your PAD File Needs to Contain a "
               "Category\"."}},
  });
  // UTF-16 with its byte-order mark, either way round.
  const std::string utf8 = ReplaceAll(kGoodPad, "encoding=\"UTF-8\"", "encoding=\"UTF-16\"");
  std::u16string units;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      units.push_back(c);
    } else {  // two bytes: the one "ü" of the file
      units.push_back(static_cast<char16_t>(((c & 0x1F) << 6) | (utf8[++i] & 0x3F)));
    }
  }
  for (const bool littleEndian : {true, false}) {
    SCOPED_TRACE(littleEndian ? "UTF-16LE" : "UTF-16BE");
    std::string bytes = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (const char16_t unit : units) {
      const char low = static_cast<char>(unit & 0xFF);
      const char high = static_cast<char>(unit >> 8);
      bytes += littleEndian ? std::string{low, high} : std::string{high, low};
    }
    EXPECT_EQ(CheckPadFile(bytes, kPadUrl + "&x=1"),
              std::vector<std::string>{
                  path + " cannot be read by a submission from a file in UTF-16: it stops with "
                         "\"Your PAD File Needs to Contain a Category\". Save the file as UTF-8."});
  }
}

// However far a file's entities would expand, the check costs no more memory
// than the file itself: past 32 MiB of text it stops there.
TEST(PadCheck, EntitiesThatExpandPastTheBoundAreRefused) {
  const std::vector<std::string> refused = {"The PAD file expands entities past 32 MiB of text."};
  auto withEntities = [](const std::string& declarations, const std::string& companyName) {
    std::string pad = ReplaceAll(kGoodPad, "<XML_DIZ_INFO>",
                                 "<!DOCTYPE XML_DIZ_INFO [" + declarations + "]>\n<XML_DIZ_INFO>");
    return ReplaceAll(pad, ">Lantern Works<", ">" + companyName + "<");
  };
  std::string uses;
  for (int i = 0; i < 20000; ++i) uses += "&big;";
  const std::string big = "<!ENTITY big \"" + std::string(100000, 'x') + "\">";
  std::string tenTimes;
  for (int i = 0; i < 10; ++i) tenTimes += "&big;";
  const struct {
    const char* name;
    std::string pad;
    std::vector<std::string> problems;
  } cases[] = {
      {"one of 100 KB used 20,000 times", withEntities(big, uses), refused},
      {"spread over many fields",
       ReplaceAll(withEntities(big, "Lantern Works"), "</English>",
                  [&] {
                    std::string more;
                    for (int i = 0; i < 400; ++i) more += "<Extra>" + tenTimes + "</Extra>";
                    return more + "</English>";
                  }()),
       refused},
      {"in an attribute, which is never expanded into the text",
       withEntities(big, "<Nick a=\"" + tenTimes + "\"/>Lantern Works"),
       {}},
      {"a name given by an entity",
       withEntities("<!ENTITY co \"Lantern &#38;#38; Sons\">", "&co;"),
       {}},
      {"10 MB in a field", withEntities(big, tenTimes + tenTimes + tenTimes + tenTimes), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CheckPadFile(c.pad, kPadUrl + "&x=1"), c.problems);
  }
}

TEST(PadCheck, TheFileSaysItLivesAtTheAddressSubmitted) {
  const std::string& ok = kGoodPad;
  const std::string path = Path("Web_Info/Application_URLs/Application_XML_File_URL");
  EXPECT_EQ(
      CheckPadFile(ok, "http://pad.example/tools/pad.xml?v=2"),
      std::vector<std::string>{
          path + " \"http://pad.example/tools/pad.xml?v=2&x=1\" is not the address submitted, "
                 "\"http://pad.example/tools/pad.xml?v=2\"."});
  EXPECT_EQ(CheckPadFile(ok, "HTTP://pad.example/tools/pad.xml?v=2&x=1").size(), 1u);
}

TEST(PadCheck, VersionDateAndSizeAreInThePublishedFormats) {
  const std::string version = Path("Program_Info/Program_Version");
  const std::string size = Path("Program_Info/File_Info/File_Size_Bytes");
  const std::string month = Path("Program_Info/Program_Release_Month");
  const std::string day = Path("Program_Info/Program_Release_Day");
  const std::string year = Path("Program_Info/Program_Release_Year");
  ExpectCases({
      {"version with a space",
       "3.1.0-rc2",
       "3.1 beta",
       {version + " \"3.1 beta\" has white space inside; a version is one word, such as "
                  "\"2.4\"."}},
      {"version over two lines, shown on one",
       "3.1.0-rc2",
       "3.1\r\n\tbeta",
       {version + " \"3.1  beta\" has white space inside; a version is one word, such as "
                  "\"2.4\"."}},
      {"size with a unit",
       "1048576",
       "1 MB",
       {size + " \"1 MB\" is not a number of bytes in digits only, such as \"4718592\"."}},
      {"size with a sign",
       "1048576",
       "-5",
       {size + " \"-5\" is not a number of bytes in digits only, such as \"4718592\"."}},
      {"month 13", ">02<", ">13<", {month + " \"13\" is not a month from 1 to 12."}},
      {"month 0", ">02<", ">0<", {month + " \"0\" is not a month from 1 to 12."}},
      {"month by name", ">02<", ">Feb<", {month + " \"Feb\" is not a month from 1 to 12."}},
      {"month of three digits", ">02<", ">012<", {month + " \"012\" is not a month from 1 to 12."}},
      {"month 1, one digit", ">02<", ">1<", {}},
      {"day 32", ">29<", ">32<", {day + " \"32\" is not a day from 1 to 31."}},
      {"day 31", ">29<", ">31<", {}},
      {"year of two digits", ">2024<", ">24<", {year + " \"24\" is not a year of four digits."}},
      {"year of five digits",
       ">2024<",
       ">20240<",
       {year + " \"20240\" is not a year of four digits."}},
      {"blank date fields are left out",
       "<Program_Release_Year>2024</Program_Release_Year>",
       "<Program_Release_Year> </Program_Release_Year><Program_Release_Month/>",
       {}},
      {"absent date fields are left out", "<Program_Release_Day>29</Program_Release_Day>", "", {}},
  });
}

TEST(PadCheck, TheProgramsNameAndVersionAreReadUnderTheSameBounds) {
  std::string bomb = "<!DOCTYPE XML_DIZ_INFO [<!ENTITY big \"" + std::string(100000, 'x') + "\">]>";
  std::string uses;
  for (int i = 0; i < 400; ++i) uses += "&big;";
  const struct {
    const char* name;
    std::string pad;
    PadProgram program;
  } cases[] = {
      {"both present", kGoodPad, {"Box Packer", "3.1.0-rc2"}},
      {"white space around, an entity inside",
       ReplaceAll(kGoodPad, "<Program_Name>Box Packer<", "<Program_Name>\n  Box &amp; Packer <"),
       {"Box & Packer", "3.1.0-rc2"}},
      {"the version absent",
       ReplaceAll(kGoodPad, "<Program_Version>3.1.0-rc2</Program_Version>", ""),
       {"Box Packer", ""}},
      {"the version blank", ReplaceAll(kGoodPad, ">3.1.0-rc2<", "> <"), {"Box Packer", ""}},
      {"a version longer than any site takes",
       ReplaceAll(kGoodPad, ">3.1.0-rc2<",
                  ">" + std::string(kMostProgramFieldBytes + 1, '9') + "<"),
       {"Box Packer", ""}},
      {"not well-formed", ReplaceAll(kGoodPad, "</Program_Name>", ""), {}},
      {"another root",
       "<PAD><Program_Info><Program_Version>1</Program_Version></Program_Info></PAD>",
       {}},
      {"entities past the bound",
       ReplaceAll(kGoodPad, "<XML_DIZ_INFO>", bomb + "<XML_DIZ_INFO>"),
       {"Box Packer", "3.1.0-rc2"}},
      {"entities past the bound, used",
       ReplaceAll(ReplaceAll(kGoodPad, "<XML_DIZ_INFO>", bomb + "<XML_DIZ_INFO>"),
                  ">Lantern Works<", ">" + uses + "<"),
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadPadProgram(c.pad), c.program);
  }
}

}  // namespace
}  // namespace tesselwick

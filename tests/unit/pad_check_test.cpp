#include "core/submit/pad_check.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/submit/pad_categories.h"
#include "core/submit/pad_check_output.h"
#include "core/submit/pad_fields.h"
#include "core/text/replace.h"
#include "support/sample_sites.h"

namespace tesselwick {

// A problem as a failing test shows it.
void PrintTo(const PadProblem& problem, std::ostream* out) {
  *out << (problem.level == PadProblemLevel::kError ? "error" : "warning") << " [" << problem.path
       << "] " << problem.text;
}

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

// A list of up to 40 is shown whole; longer ones by their beginning.
const std::string kOsWords =
    "one or more of: Android, BlackBerry, Handheld/Mobile Other, iPhone, iPod, iTouch, Java, "
    "Linux, Linux Console, Linux Gnome, Linux GPL, Linux Open Source, Mac OS X, Mac Other, "
    "MS-DOS, Netware, OpenVMS, Palm, Pocket PC, Symbian, Unix, Win2000, Win7 x32, Win7 x64, "
    "Win98, WinMobile, WinOther, WinServer, WinVista, WinVista x64, WinXP, Other, Not "
    "Applicable, separated by commas";

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
      // The published patterns go further than the rules above, in their own words.
      {"month 1, one digit",
       ">02<",
       ">1<",
       {month + " \"1\" must be a month of two digits, 01 to 12."}},
      {"version with a sign that is not one of its own",
       "3.1.0-rc2",
       "3.1+build",
       {version + " \"3.1+build\" must be 1 to 15 characters of letters, digits and _ . -."}},
      {"size of two bytes", "1048576", "12", {size + " \"12\" must be 3 to 16 digits."}},
      {"year before 1900",
       ">2024<",
       ">1850<",
       {year + " \"1850\" must be a year of four digits from 1900 to 2199."}},
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

TEST(PadFields, EveryFieldOfTheDataFileHasAPatternAndWordsOfItsKind) {
  const auto rules = PadFieldRules();
  ASSERT_EQ(rules.size(), 68u);
  EXPECT_EQ(rules.front().Path(), "XML_DIZ_INFO/MASTER_PAD_VERSION_INFO/MASTER_PAD_VERSION");
  EXPECT_EQ(rules.back().Path(), "XML_DIZ_INFO/Permissions/EULA");
  std::size_t required = 0;
  for (const PadFieldRule& rule : rules) {
    SCOPED_TRACE(rule.Path());
    EXPECT_TRUE(rule.HasOwnWords()) << rule.Pattern() << ": " << rule.Words();
    required += rule.Required() ? 1 : 0;
  }
  EXPECT_EQ(required, 34u);
  // The pattern of the category and the official list are the same list.
  const PadFieldRule* category = FindPadFieldRule(Path("Program_Info/Program_Category_Class"));
  ASSERT_NE(category, nullptr);
  for (std::string_view name : PadCategories()) EXPECT_TRUE(category->Matches(name)) << name;
  EXPECT_EQ(FindPadFieldRule("XML_DIZ_INFO/Signature"), nullptr);
}

// Each kind of pattern with a text it takes, one it refuses, and the words
// that say what the field must be.
TEST(PadFields, EachKindOfPatternTakesItsTextsAndSaysWhatItWants) {
  struct Row {
    const char* field;
    std::string passing;
    std::string failing;
    std::string words;
  };
  const std::vector<std::pair<const char*, std::vector<Row>>> kinds = {
      {"text length",
       {
           {"Company_Info/Company_Name", "Lantern Works", "L",
            "2 to 40 characters without < or tab"},
           {"MASTER_PAD_VERSION_INFO/MASTER_PAD_EDITOR", "", "Quill\tPAD",
            "at most 100 characters without < or tab"},
           {"Program_Descriptions/English/Char_Desc_45", "Packs boxes", "Packs\nboxes",
            "at most 45 characters without <, tab or line break"},
           {"Permissions/EULA", "Use it\n\twell.", "a < b", "at most 20000 characters without <"},
           // Characters, not bytes: 40 of two bytes each.
           {"Company_Info/Contact_Info/Author_Last_Name", "Ø" + std::string(29, 'x'),
            "Ø" + std::string(30, 'x'), "2 to 30 characters without < or tab"},
       }},
      {"characters of a few sorts",
       {
           {"Company_Info/Address_1", "12 Lantern Row, #4", "12 Lantern Row; back",
            "at most 40 characters of letters, digits, blanks and . - , # / '"},
           // \xbc-\xff are characters: a letter of Latin-1 in UTF-8 is one of them.
           {"Company_Info/Country", "Côte d'Ivoire", "U.S.A.",
            "2 to 40 characters of letters, blanks and ' -"},
           {"Company_Info/State_Province", "Québec", "Québec?",
            "at most 30 characters of letters, digits, blanks and . - , /"},
           {"Program_Info/Program_Version", "3.1.0-rc2", "3.1+build",
            "1 to 15 characters of letters, digits and _ . -"},
       }},
      {"e-mail",
       {
           {"Company_Info/Contact_Info/Author_Email", "ada@lamp.example", "ada.lamp.example",
            "an e-mail address, such as name@example.com"},
           {"Company_Info/Support_Info/Sales_Email", "sales@lamp.example", "@lamp.example",
            "an e-mail address, such as name@example.com"},
       }},
      {"phone",
       {
           {"Company_Info/Support_Info/Sales_Phone", "+1 (555) 010-4477", "555-01",
            "a phone number of 7 to 40 digits, blanks and ( ) - / _ # *, with up to two + in "
            "front"},
           {"Company_Info/Support_Info/Fax_Phone", "", "+1 555 CALL NOW",
            "a phone number of 7 to 40 digits, blanks and ( ) - / _ # *, with up to two + in "
            "front"},
       }},
      {"URL",
       {
           // https:// wherever http:// is asked for.
           {"Company_Info/Company_WebSite_URL", "https://lantern.example/", "www.lantern.example",
            "an address that begins with http:// or https://"},
           {"Web_Info/Application_URLs/Application_Screenshot_URL", "http://a.example/shot.png",
            "http://a.example/shot.bmp",
            "an address that begins with http:// or https:// and ends in .gif, .jpg or .png"},
           {"Web_Info/Application_URLs/Application_Order_URL", "", "mailto:ada@lamp.example",
            "an address that begins with http:// or https://"},
           {"Web_Info/Download_URLs/Primary_Download_URL", "ftp://a.example/box.tar.gz",
            "http://a.example/box.pdf",
            "an address that begins with http://, https:// or ftp:// and ends in .air, .apk, "
            ".app, .bin, .com, .exe, .dmg, .hqx, .gz, .gzip, .jar, .msi, .rar, .sea, .sh, .sis, "
            ".sit, .sitx, .tar, .taz, .tgx, .tgz, .uu, .z or .zip"},
           {"Web_Info/Download_URLs/Secondary_Download_URL", "https://a.example/box.zip",
            "file:///box.zip",
            "an address that begins with http://, https:// or ftp:// and ends in .air, .apk, "
            ".app, .bin, .com, .exe, .dmg, .hqx, .gz, .gzip, .jar, .msi, .rar, .sea, .sh, .sis, "
            ".sit, .sitx, .tar, .taz, .tgx, .tgz, .uu, .z or .zip"},
       }},
      {"list",
       {
           {"Program_Info/Program_Type", "Freeware", "freeware",
            "one of: Shareware, Freeware, Adware, Demo, Commercial, Data Only"},
           {"Program_Info/Program_Cost_Other_Code", "EUR", "EURO",
            "one of 162 values, such as AED, AFN, ALL, AMD, ANG, AOA"},
           {"Program_Info/Expire_Info/Has_Expire_Info", "y", "yes", "one of: Y, y, N, n"},
           {"Program_Info/Expire_Info/Expire_Based_On", "Either/Or", "Weeks",
            "one of: Days, Uses, Either/Or"},
           {"Program_Info/Program_Specific_Category", "", "Toys",
            "one of: Audio, Business, Development Tools, Education, Games, Graphics, "
            "Home/Hobby, Internet, Miscellaneous, Screen Savers, Utilities"},
           {"Program_Info/Program_Category_Class", "Development::C / C++ / C#", "Development::C",
            "one of 155 values, such as Audio & Multimedia::Audio "
            "Encoders/Decoders, Audio & Multimedia::Audio File Players, Audio & Multimedia::Audio "
            "File Recorders, Audio & Multimedia::CD Burners, Audio & Multimedia::CD Players, Audio "
            "& Multimedia::Multimedia Creation Tools"},
           // Entries outside these lists are warnings, never errors (below).
           {"Program_Info/Program_OS_Support", "Win7 x64, Linux,Mac OS X", "Win11", kOsWords},
           {"Program_Info/Program_Language", "English,German", "English, German",
            "one or more of 139 values, such as Abkhazian, Afar, Afrikaans, Albanian, Amharic, "
            "Arabic, separated by commas"},
       }},
      {"date parts",
       {
           {"Program_Info/Program_Release_Month", "02", "2", "a month of two digits, 01 to 12"},
           {"Program_Info/Program_Release_Day", "31", "32", "a day of two digits, 01 to 31"},
           {"Program_Info/Program_Release_Year", "2199", "1850",
            "a year of four digits from 1900 to 2199"},
           {"Program_Info/Expire_Info/Expire_Month", "", "13", "a month of two digits, 01 to 12"},
           {"Program_Info/Expire_Info/Expire_Day", "", "00", "a day of two digits, 01 to 31"},
           {"Program_Info/Expire_Info/Expire_Year", "", "26",
            "a year of four digits from 1900 to 2199"},
       }},
      {"numbers",
       {
           {"Program_Info/File_Info/File_Size_Bytes", "1048576", "12", "3 to 16 digits"},
           {"Program_Info/File_Info/File_Size_K", "1024.5", "1 MB",
            "1 to 12 characters of digits and points"},
           {"Program_Info/Expire_Info/Expire_Count", "", "ten", "at most 15 digits"},
           {"Program_Info/Program_Cost_Dollars", "19.95", "19.9",
            "an amount in digits, with two digits after the point if any, such as 19.95"},
           {"Program_Info/Program_Cost_Other", "", "€5",
            "an amount in digits, with two digits after the point if any, such as 19.95"},
           {"MASTER_PAD_VERSION_INFO/MASTER_PAD_VERSION", "3.11", "v3",
            "a version number, such as 3.11"},
       }},
  };
  for (const auto& [kind, rows] : kinds) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(kind) + ": " + row.field);
      const PadFieldRule* rule = FindPadFieldRule(Path(row.field));
      ASSERT_NE(rule, nullptr);
      EXPECT_TRUE(rule->Matches(row.passing)) << row.passing;
      EXPECT_FALSE(rule->Matches(row.failing)) << row.failing;
      EXPECT_EQ(rule->Words(), row.words);
    }
  }
}

// The file of the tests that keeps every rule, with one piece changed.
std::vector<PadProblem> Checked(const std::string& from, const std::string& to) {
  const std::string url = "http://pad.example/box.xml";
  const std::string pad = test::CheckedPad(url);
  EXPECT_NE(pad.find(from), std::string::npos) << from;
  return CheckPadFields(ReplaceAll(pad, from, to), url);
}

PadProblem Warning(const std::string& field, const std::string& text) {
  return {PadProblemLevel::kWarning, Path(field), Path(field) + text};
}
PadProblem Error(const std::string& field, const std::string& text) {
  return {PadProblemLevel::kError, Path(field), Path(field) + text};
}

TEST(PadCheck, AFieldThatIsNotInTheFormItsPatternGivesIsAWarning) {
  EXPECT_EQ(Checked("", ""), std::vector<PadProblem>{});
  const struct {
    const char* name;
    std::string from;
    std::string to;
    std::vector<PadProblem> problems;
  } cases[] = {
      {"a required field missing",
       "<City_Town>Millbrook</City_Town>",
       "",
       {Warning("Company_Info/City_Town",
                " is missing; it must be 2 to 40 characters of letters, digits, blanks and . - , "
                "# / '.")}},
      {"a required field blank",
       ">Millbrook<",
       "> <",
       {Warning("Company_Info/City_Town",
                " is empty; it must be 2 to 40 characters of letters, digits, blanks and . - , # "
                "/ '.")}},
      {"an optional field given",
       "</Company_Info>",
       "<Support_Info><Fax_Phone>none</Fax_Phone></Support_Info></Company_Info>",
       {}},
      {"an optional field in its form",
       "</Company_Info>",
       "<Zip_Postal_Code>05000</Zip_Postal_Code></Company_Info>",
       {}},
      // The first Support_Info counts, and its Fax_Phone is not there.
      {"only the first element on the path counts",
       "<Sales_Email>",
       "<Fax_Phone>123</Fax_Phone><Sales_Email>",
       {Warning("Company_Info/Support_Info/Fax_Phone",
                " \"123\" must be a phone number of 7 to 40 digits, blanks and ( ) - / _ # *, "
                "with up to two + in front.")}},
      {"the whole text below the element, CDATA and entities decoded",
       "<Char_Desc_80>Packs boxes</Char_Desc_80>",
       "<Char_Desc_80>Packs <b>boxes</b><![CDATA[ &]]> &lt;more&gt;</Char_Desc_80>",
       {Warning("Program_Descriptions/English/Char_Desc_80",
                " \"Packs boxes & <more>\" must be at most 80 characters without <, tab or line "
                "break.")}},
      {"OS and language outside their lists",
       "<Program_OS_Support>Linux</Program_OS_Support><Program_Language>English",
       "<Program_OS_Support>Win11,Linux</Program_OS_Support><Program_Language>English,Elvish",
       {Warning("Program_Info/Program_OS_Support", " \"Win11,Linux\" must be " + kOsWords + "."),
        Warning("Program_Info/Program_Language",
                " \"English,Elvish\" must be one or more of 139 values, such as Abkhazian, Afar, "
                "Afrikaans, Albanian, Amharic, Arabic, separated by commas.")}},
      {"https where http is asked for", "http://a/box.png", "https://a/box.png", {}},
      {"a long value shown by its beginning",
       "<Company_WebSite_URL>http://a/",
       "<Company_WebSite_URL>http://a/" + std::string(130, 'p'),
       {Warning("Company_Info/Company_WebSite_URL",
                " \"http://a/" + std::string(51, 'p') +
                    "...\" must be an address that begins with http:// or https://.")}},
      // A field with an error has that error alone.
      {"a field sites need, missing",
       "<Program_Type>Freeware</Program_Type>",
       "",
       {Error("Program_Info/Program_Type", " is missing.")}},
      {"a version with a blank",
       ">1.0<",
       ">1.0 beta<",
       {Error("Program_Info/Program_Version",
              " \"1.0 beta\" has white space inside; a version is one word, such as \"2.4\".")}},
      {"a description too long",
       "Packs boxes",
       std::string(81, 'x'),
       {Error("Program_Descriptions/English/Char_Desc_80",
              " is 81 characters long; at most 80 are allowed.")}},
      {"the file's address elsewhere, and not a PAD file's",
       "http://pad.example/box.xml</Application_XML_File_URL>",
       "http://pad.example/box</Application_XML_File_URL>",
       {Error("Web_Info/Application_URLs/Application_XML_File_URL",
              " \"http://pad.example/box\" is not the address submitted, "
              "\"http://pad.example/box.xml\".")}},
      {"an error, then the warnings",
       "<Company_Name>Lantern</Company_Name><City_Town>Millbrook</City_Town><Country>Canada"
       "</Country><Company_WebSite_URL>http://a/</Company_WebSite_URL>",
       "<Company_Name> </Company_Name><City_Town>Millbrook</City_Town><Country>U.S.A.</Country>",
       {Error("Company_Info/Company_Name", " is empty."),
        Warning("Company_Info/Country",
                " \"U.S.A.\" must be 2 to 40 characters of letters, blanks and ' -."),
        Warning("Company_Info/Company_WebSite_URL",
                " is missing; it must be an address that begins with http:// or https://.")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Checked(c.from, c.to), c.problems);
  }
  // A file that is not a PAD file has that error alone, about the whole file.
  const PadProblem notPad{PadProblemLevel::kError, "",
                          "The root element is <PAD>, not <XML_DIZ_INFO>."};
  EXPECT_EQ(CheckPadFields("<PAD/>", "http://pad.example/box.xml"),
            std::vector<PadProblem>{notPad});
}

TEST(PadCheck, AFileWithOnlyWarningsPassesTheCheck) {
  const std::string url = "http://pad.example/box.xml";
  std::string pad = ReplaceAll(test::CheckedPad(url), "http://a/box.png", "http://a/box.bmp");
  pad = ReplaceAll(pad, "<Author_Email>ada@lamp.example</Author_Email>", "");
  pad = ReplaceAll(pad, ">Linux<", ">Win10,Win11<");
  const std::vector<PadProblem> problems = CheckPadFields(pad, url);
  ASSERT_EQ(problems.size(), 3u);
  EXPECT_FALSE(HasPadErrors(problems));
  EXPECT_EQ(CheckPadFile(pad, url), std::vector<std::string>{});
  EXPECT_EQ(PadCheckLines(problems),
            (std::vector<std::string>{
                "warning: " + Path("Company_Info/Contact_Info/Author_Email") +
                    " is missing; it must be an e-mail address, such as name@example.com.",
                "warning: " + Path("Program_Info/Program_OS_Support") +
                    " \"Win10,Win11\" must be " + kOsWords + ".",
                "warning: " + Path("Web_Info/Application_URLs/Application_Screenshot_URL") +
                    " \"http://a/box.bmp\" must be an address that begins with http:// or "
                    "https:// and ends in .gif, .jpg or .png."}));
  EXPECT_EQ(PadCheckSummary(problems), "the PAD file has no problem and 3 warnings");
  EXPECT_EQ(PadRunLines(problems),
            std::vector<std::string>{"--check lists 3 further warnings about the PAD file"});
}

TEST(PadCheck, TheProblemsAreToldAsLinesAsJsonAndInTheBox) {
  const PadProblem file{PadProblemLevel::kError, "", "The file is not well-formed XML."};
  const PadProblem error = Error("Program_Info/Program_Type", " is missing.");
  std::vector<PadProblem> warnings;
  for (const char* field : {"Company_Info/City_Town", "Company_Info/Country",
                            "Company_Info/Company_WebSite_URL", "Program_Info/Program_Language"})
    warnings.push_back(Warning(field, " is missing; it must be something."));

  // Lines and the summary: errors first, whatever order the list has.
  const std::vector<PadProblem> mixed = {warnings[0], error, warnings[1]};
  EXPECT_EQ(PadCheckLines(mixed),
            (std::vector<std::string>{error.text, "warning: " + warnings[0].text,
                                      "warning: " + warnings[1].text}));
  EXPECT_EQ(PadCheckSummary({}), "the PAD file passed every check");
  EXPECT_EQ(PadCheckSummary({error}), "the PAD file has 1 problem");
  EXPECT_EQ(PadCheckSummary({error, error, warnings[0]}),
            "the PAD file has 2 problems and 1 warning");
  EXPECT_EQ(PadRunLines({error, warnings[0]}),
            (std::vector<std::string>{"warning: " + error.text,
                                      "--check lists 1 further warning about the PAD file"}));

  // The JSON, read back.
  const auto json = nlohmann::json::parse(PadCheckJson("http://pad.example/\xff.xml", mixed));
  EXPECT_EQ(json.at("pad_url"), "http://pad.example/\xEF\xBF\xBD.xml");
  ASSERT_EQ(json.at("problems").size(), 3u);
  EXPECT_EQ(json["problems"][0],
            (nlohmann::json{{"level", "error"}, {"path", error.path}, {"text", error.text}}));
  EXPECT_EQ(json["problems"][2]["level"], "warning");
  EXPECT_EQ(json["problems"][2]["path"], warnings[1].path);
  const auto whole = nlohmann::json::parse(PadCheckJson("u", {file}));
  EXPECT_TRUE(whole["problems"][0]["path"].is_null());
  EXPECT_EQ(nlohmann::json::parse(PadCheckJson("u", {}))["problems"], nlohmann::json::array());
  // A value's DEL and C1 controls reach a terminal as escapes, not as commands.
  const PadProblem controls = Warning("Company_Info/Country", " \"a\x7f\xc2\x9b\" must be ...");
  const std::string escaped = PadCheckJson("u", {controls});
  EXPECT_NE(escaped.find("\\u007f\\u009b"), std::string::npos) << escaped;
  EXPECT_EQ(nlohmann::json::parse(escaped)["problems"][0]["text"], controls.text);

  // The box: the errors, then how many warnings, with the first few.
  EXPECT_EQ(PadProblemsBoxList({error}), error.text);
  EXPECT_EQ(PadProblemsBoxList({file, error, warnings[0]}),
            file.text + "\r\n" + error.text + "\r\n\r\nand 1 warning:\r\n" + warnings[0].text);
  std::vector<PadProblem> many = {error};
  many.insert(many.end(), warnings.begin(), warnings.end());
  EXPECT_EQ(PadProblemsBoxList(many), error.text + "\r\n\r\nand 4 warnings, among them:\r\n" +
                                          warnings[0].text + "\r\n" + warnings[1].text + "\r\n" +
                                          warnings[2].text);
  many.pop_back();
  EXPECT_EQ(PadProblemsBoxList(many), error.text + "\r\n\r\nand 3 warnings:\r\n" +
                                          warnings[0].text + "\r\n" + warnings[1].text + "\r\n" +
                                          warnings[2].text);
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

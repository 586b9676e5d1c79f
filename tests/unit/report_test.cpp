#include "core/submit/report.h"

#include <gtest/gtest.h>

#include <string>

#include "core/platform/date.h"
#include "core/platform/system.h"
#include "core/text/replace.h"
#include "support/fake_controls.h"
#include "support/temp_folder.h"

namespace tesselwick {
namespace {

using test::FakeMainWindow;
using test::TempFolder;

const std::string kCredit =
    std::string("Submitted by <a href=\"") + TESSELWICK_SITE_URL + "\">TesselWick</a><br><br>";

TEST(ReportText, ReplacingScansOnceFromTheLeftAndNeverRescans) {
  EXPECT_EQ(ReplaceAll("aaaa", "aa", "a"), "aa");
  EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
  EXPECT_EQ(ReplaceAll("%X%X", "%X", "%X%X"), "%X%X%X%X");
  EXPECT_EQ(ReplaceAll("abc", "", "z"), "abc");
  EXPECT_EQ(ReplaceAll("", "a", "z"), "");
  EXPECT_EQ(HtmlEscape("a&b<c>d\"e'f"), "a&amp;b&lt;c&gt;d&quot;e'f");
}

TEST(ReportText, PlaceholdersAreFilledInOnePassAndValuesAreNeverScanned) {
  EXPECT_EQ(FillReport("%PADURL%|%CATEGORY%|%REPORT%|%DATE%", "u%DATE%%REPORT%", "07-Dec-2026",
                       "c%PADURL%", "r%CATEGORY%"),
            "u%DATE%%REPORT%|c%PADURL%|r%CATEGORY%|07-Dec-2026");
  // The rows stay out of an attribute that holds the PAD URL.
  EXPECT_EQ(FillReport("<a href=\"%PADURL%\">PAD</a><table>%REPORT%</table>", "http://e/%REPORT%",
                       "d", "c", "<tr><td>row</td></tr>"),
            "<a href=\"http://e/%REPORT%\">PAD</a><table><tr><td>row</td></tr></table>");
  // Leftmost first; a lone or unknown "%" is text.
  EXPECT_EQ(FillReport("100% %DATE%PADURL% %X% %%DATE%%", "u", "d", "c", "r"),
            "100% dPADURL% %X% %d%");
  EXPECT_EQ(FillReport("%PADURL% %CATEGORY%", "http://x/?a=1&b=\"<2>\"", "", "A<B", ""),
            "http://x/?a=1&amp;b=&quot;&lt;2&gt;&quot; A&lt;B");
}

TEST(ReportText, RowsEscapeTheSiteAndQuoteTheLinks) {
  SiteRecord site{"Big <b>Downloads</b>", "http://big.example/?a=1&b=2",
                  "http://big.example/submit\" onclick=\"x", "ignored"};
  EXPECT_EQ(ReportRow(site, "Pass", "07-Dec-2026"),
            "<tr><td><a href=\"http://big.example/?a=1&amp;b=2\" target=_new>"
            "Big &lt;b&gt;Downloads&lt;/b&gt;</a></td>"
            "<td><a href=\"http://big.example/submit&quot; onclick=&quot;x\" "
            "target=_new>Submit</a></td><td>Pass</td><td>07-Dec-2026</td></tr>");
}

// No real title or address is 16 KiB long; one that is would be copied into
// every row it passes on to.
TEST(ReportText, TextsTooLongForAnyRowAreNotCopiedWhole) {
  const std::string longest(16 * 1024, 'x');
  const std::string tooLong = "http://e/" + longest;
  // A title cut inside a character is cut before it.
  const std::string title = std::string(16 * 1024 - 1, 't') + "\xc3\xa9" + "end";
  SiteRecord site{title, tooLong, "http://e/" + longest.substr(9), ""};
  EXPECT_EQ(ReportRow(site, "Pass", "d"),
            "<tr><td><a href=\"#\" target=_new>" + std::string(16 * 1024 - 1, 't') +
                "...</a></td><td><a href=\"http://e/" + longest.substr(9) +
                "\" target=_new>Submit</a></td><td>Pass</td><td>d</td></tr>");
}

TEST(ReportText, LinksWithAScriptSchemeLeadNowhere) {
  EXPECT_EQ(SafeLinkAddress("javascript:alert(1)"), "#");
  EXPECT_EQ(SafeLinkAddress(" \x01JaVa\tScript:alert(1)"), "#");
  EXPECT_EQ(SafeLinkAddress("data:text/html,<script>"), "#");
  EXPECT_EQ(SafeLinkAddress("HTTPS://ok.example/"), "HTTPS://ok.example/");
  EXPECT_EQ(SafeLinkAddress("mailto:author@ok.example"), "mailto:author@ok.example");
  EXPECT_EQ(SafeLinkAddress("submit.htm?x=a:b"), "submit.htm?x=a:b");
  EXPECT_EQ(SafeLinkAddress(""), "");

  SiteRecord site{"T", "javascript:steal()", "vbscript:x", ""};
  EXPECT_EQ(ReportRow(site, "Fail", "d"),
            "<tr><td><a href=\"#\" target=_new>T</a></td><td><a href=\"#\" "
            "target=_new>Submit</a></td><td>Fail</td><td>d</td></tr>");
}

TEST(Report, BuiltInLayoutIsWrittenWithCrLfAndHandedToTheBrowser) {
  TempFolder folder;
  FakeMainWindow w(folder.Path());
  w.urlBox.edit = "http://pad.example/app.xml?x=1&y=2";
  w.dialog.PadCategory = "Games+%26amp%3B+Entertainment%3A%3APuzzle";
  w.dialog.WriteReport("<tr><td>row</td></tr>");

  const std::string expected =
      "<b>Shareware Submission Report</b><br>PAD File: http://pad.example/app.xml?x=1&amp;y=2<br>"
      "Category: Games+%26amp%3B+Entertainment%3A%3APuzzle<br>Date: " +
      Today() + "<br>" + kCredit +
      "<table width=\"100%\"><tr><td>Site Name</td><td>Submit URL</td><td>Status</td>"
      "<td>Submission Date</td></tr><tr><td>row</td></tr></table><br><br>" +
      kCredit + "\r\n";
  EXPECT_EQ(folder.Read("Report.htm"), expected);
  EXPECT_EQ(BuiltInReportLayout().find('\n'), std::string::npos);
  // The missing template is left behind, empty, and the built-in layout used.
  EXPECT_EQ(folder.Read("ReportTemplate.htm"), "");
  EXPECT_EQ(w.shell.opened, std::vector<std::string>{(folder / "Report.htm").string()});
  EXPECT_TRUE(w.messages.shown.empty());
}

TEST(Report, OpenReportNamesTheFileTheWriterWroteInAFolderOfAnyName) {
  // On Windows a path's narrow string is in the ANSI code page, which cannot
  // name this folder; the shell is given UTF-8, as the report writer names it.
  TempFolder top;
  const std::filesystem::path folder = top.Path() / platform::PathFromUtf8(
                                                        "\xC3\x9C"
                                                        "bungsordner");
  std::filesystem::create_directory(folder);
  FakeMainWindow w(folder);
  w.dialog.WriteReport("<tr><td>row</td></tr>");
  w.dialog.OpenReport();
  const std::string report = platform::Utf8FromPath(folder / "Report.htm");
  EXPECT_EQ(w.shell.opened, (std::vector<std::string>{report, report}));
  EXPECT_TRUE(std::filesystem::is_regular_file(platform::PathFromUtf8(w.shell.opened.back())));
}

TEST(Report, UserTemplatesAreFilledWhereverTheirPlaceholdersStand) {
  TempFolder folder;
  FakeMainWindow w(folder.Path());
  w.urlBox.edit = "http://p";
  w.dialog.PadCategory = "Cat";
  const std::string date = Today();

  // Every placeholder twice, CR LF line ends, no final line end.
  folder.Write("ReportTemplate.htm",
               "<h1>%PADURL%</h1>%PADURL%\r\n%DATE% %DATE%\r\n%CATEGORY%/%CATEGORY%\r\n"
               "<table>%REPORT%</table><table>%REPORT%</table>");
  w.dialog.WriteReport("<tr>r</tr>");
  EXPECT_EQ(folder.Read("Report.htm"),
            "<h1>http://p</h1>http://p\r\n" + date + " " + date +
                "\r\nCat/Cat\r\n"
                "<table><tr>r</tr></table><table><tr>r</tr></table>\r\n");

  // No placeholder at all: the template as it is, plus the final line end; a
  // lone carriage return stays as it is.
  folder.Write("ReportTemplate.htm", "<p>Plain\r\npage\rend</p>\r\n");
  w.dialog.WriteReport("<tr>r</tr>");
  EXPECT_EQ(folder.Read("Report.htm"), "<p>Plain\r\npage\rend</p>\r\n\r\n");

  // A template without %REPORT% shows no rows.
  folder.Write("ReportTemplate.htm", "%PADURL%");
  w.dialog.WriteReport("<tr>r</tr>");
  EXPECT_EQ(folder.Read("Report.htm"), "http://p\r\n");
  EXPECT_EQ(w.shell.opened.size(), 3u);
  EXPECT_TRUE(w.messages.shown.empty());
}

TEST(Report, FileProblemsAreReportedAndThePageIsStillOpened) {
  using Message = std::pair<std::string, std::string>;
  {
    // A template that can't be read: its message, then the built-in layout.
    TempFolder folder;
    std::filesystem::create_directory(folder / "ReportTemplate.htm");
    FakeMainWindow w(folder.Path());
    w.dialog.WriteReport("");
    ASSERT_EQ(w.messages.shown.size(), 1u);
    EXPECT_EQ(w.messages.shown[0], (Message{"Error loading file", "Error"}));
    EXPECT_EQ(folder.Read("Report.htm").rfind("<b>Shareware Submission Report</b>", 0), 0u);
  }
  {
    // (A report that can't be replaced in a read-only folder is in the file
    // fault tests: only there can the write be refused also to root.)
    TempFolder folder;
    std::filesystem::create_directory(folder / "Report.htm");
    FakeMainWindow w(folder.Path());
    w.dialog.WriteReport("");
    ASSERT_EQ(w.messages.shown.size(), 1u);
    EXPECT_EQ(w.messages.shown[0], (Message{"Could not write to report file", "Error Log"}));
    EXPECT_EQ(w.shell.opened.size(), 1u);
  }
}

}  // namespace
}  // namespace tesselwick

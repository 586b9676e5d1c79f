#include "core/sites/site_file.h"

#include <gtest/gtest.h>

#include "core/text/key_value_line.h"

namespace tesselwick {
namespace {

TEST(KeyValueLine, SplitsAtFirstEqualsAndTrimsOnlyTheRight) {
  const KeyValue kv = SplitKeyValueLine("  URL= a=b \t\r\n");
  EXPECT_EQ(kv.key, "  URL");
  EXPECT_EQ(kv.value, " a=b");

  EXPECT_EQ(SplitKeyValueLine("TITLE\n").key, "TITLE");
  EXPECT_EQ(SplitKeyValueLine("TITLE\n").value, "");
  EXPECT_EQ(SplitKeyValueLine(" \t\n").key, "");
  EXPECT_EQ(SplitKeyValueLine("URL =x\n").key, "URL ");
}

TEST(KeyValueLine, OnlyLinesEndedByALineFeedAreHandled) {
  std::vector<std::string> keys;
  ForEachKeyValueLine("A=1\nB=2\nC=3", [&](const KeyValue& kv) { keys.push_back(kv.key); });
  EXPECT_EQ(keys, (std::vector<std::string>{"A", "B"}));

  keys.clear();
  ForEachKeyValueLine("A=1\rB=2\r", [&](const KeyValue& kv) { keys.push_back(kv.key); });
  EXPECT_TRUE(keys.empty());
}

SiteRecord Site(std::string title, std::string url, std::string submit, std::string request) {
  return SiteRecord{std::move(title), std::move(url), std::move(submit), std::move(request)};
}

TEST(SiteFile, UrlsPassToTheNextRecordTemplatesDoNotAndLeadingFieldsGoToTheFirst) {
  const SiteFileContents c = ParseSiteFile(
      "URL=u0\nSUBMITURL=s0\n"
      "TITLE=One\nGETORPOST=g1\n"
      "TITLE=Two\nURL=u2\n"
      "SCRIPTVERSION=7\n"
      "TITLE=Three\nSUBMITURL=s3\nSUBMITURL=s3b\n"
      "SCRIPTVERSION=8\n");
  ASSERT_EQ(c.records.size(), 3u);
  EXPECT_EQ(c.records[0], Site("One", "u0", "s0", "g1"));
  // A record without a GETORPOST of its own has no template: it is listed,
  // never requested with the previous site's template.
  EXPECT_EQ(c.records[1], Site("Two", "u2", "s0", ""));
  EXPECT_EQ(c.records[2], Site("Three", "u2", "s3b", ""));
  EXPECT_EQ(c.scriptVersion, "8");
}

TEST(SiteFile, TitleWithoutValueHidesItsRecordButPassesItsFieldsOn) {
  const SiteFileContents c = ParseSiteFile(
      "TITLE=A\nURL=ua\n"
      "TITLE\nURL=hidden\nGETORPOST=gh\n"
      "TITLE=B\n");
  ASSERT_EQ(c.records.size(), 2u);
  EXPECT_EQ(c.records[1], Site("B", "hidden", "", ""));
}

TEST(SiteFile, IgnoresUnknownKeysLowerCaseAndSpacesBeforeEquals) {
  const SiteFileContents c =
      ParseSiteFile("TITLE=A\nurl=lower\nURL =spaced\nOTHER=x\n\n   \nURL= kept  \n");
  ASSERT_EQ(c.records.size(), 1u);
  EXPECT_EQ(c.records[0].Url, " kept");
  EXPECT_FALSE(c.scriptVersion.has_value());
}

TEST(SiteFile, LastLineWithoutLineFeedIsIgnored) {
  const SiteFileContents c = ParseSiteFile("TITLE=A\nGETORPOST=ga\nTITLE=B\nGETORPOST=gb");
  ASSERT_EQ(c.records.size(), 2u);
  // B's template line is cut off, so B has none, not A's.
  EXPECT_EQ(c.records[1].RequestTemplate, "");

  const SiteFileContents only = ParseSiteFile("TITLE=A\nGETORPOST=ga");
  ASSERT_EQ(only.records.size(), 1u);
  EXPECT_EQ(only.records[0].RequestTemplate, "");
}

TEST(SiteFile, PendingRecordIsCompletedByTheLoad) {
  const SiteFileContents c = ParseSiteFile("TITLE=New\n", Site("Old", "u", "s", "g"));
  ASSERT_EQ(c.records.size(), 2u);
  EXPECT_EQ(c.records[0].Title, "Old");
  EXPECT_EQ(c.records[1], Site("New", "u", "s", ""));
}

// Values that pass on are shared: a 1 MB value followed by ten thousand
// records costs its megabyte once, not ten thousand times.
TEST(SiteFile, PassedOnValuesAreSharedNotCopied) {
  const std::string big(1 << 20, 'x');
  std::string text = "GETORPOST=" + big + "\nURL=" + big + "\nSUBMITURL=" + big + "\n";
  for (int i = 0; i < 10000; ++i) text += "TITLE=t\n";
  const SiteFileContents c = ParseSiteFile(text);
  ASSERT_EQ(c.records.size(), 10000u);
  EXPECT_EQ(c.records[0].RequestTemplate.size(), big.size());
  EXPECT_TRUE(c.records[1].RequestTemplate.empty());
  for (const SiteRecord& site : c.records) {
    ASSERT_EQ(&site.Url.str(), &c.records[0].Url.str());
    ASSERT_EQ(&site.SubmitUrl.str(), &c.records[0].SubmitUrl.str());
  }
  // Copies of the list (the window's rows, a run's sites) share them too.
  const std::vector<SiteRecord> copy = c.records;
  EXPECT_EQ(&copy.back().Url.str(), &c.records[0].Url.str());
}

TEST(SiteFile, ASiteListHasARecordWithItsOwnTemplate) {
  const struct {
    const char* text;
    bool isSiteList;
  } cases[] = {
      {"TITLE=A\nGETORPOST=http://a/?p=%PADURL%\n", true},
      {"SCRIPTVERSION=9\nTITLE=A\nURL=u\nTITLE=B\nGETORPOST=g\n", true},
      {"", false},
      {"\n", false},
      {"123456789\n", false},
      {"SCRIPTVERSION=9\n", false},
      {"VERSION=1.01\nSCRIPTVERSION=9\n", false},
      {"<html><body>502 Bad Gateway</body></html>\n", false},
      {"TITLE=A\nURL=u\nSUBMITURL=s\n", false},
      {"GETORPOST=g\nTITLE\n", false},
      {"TITLE=A\nGETORPOST=\n", false},
      {"TITLE=A\nGETORPOST=g", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsSiteList(c.text), c.isSiteList) << c.text;
}

TEST(SiteFile, BinaryBytesAndNulsAreKeptInValues) {
  const char raw[] = "TITLE=a\0b\xff\x01\nURL=\x80\x81\n";
  const std::string text(raw, sizeof raw - 1);
  const SiteFileContents c = ParseSiteFile(text);
  ASSERT_EQ(c.records.size(), 1u);
  EXPECT_EQ(c.records[0].Title, std::string("a\0b\xff\x01", 5));
  EXPECT_EQ(c.records[0].Url, "\x80\x81");
}

}  // namespace
}  // namespace tesselwick

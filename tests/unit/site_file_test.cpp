#include "core/sites/site_file.h"

#include <gtest/gtest.h>

#include "core/sites/key_value_line.h"

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

TEST(SiteFile, FieldsPassToTheNextRecordAndLeadingFieldsGoToTheFirst) {
  const SiteFileContents c = ParseSiteFile(
      "URL=u0\nSUBMITURL=s0\n"
      "TITLE=One\nGETORPOST=g1\n"
      "TITLE=Two\nURL=u2\n"
      "SCRIPTVERSION=7\n"
      "TITLE=Three\nSUBMITURL=s3\nSUBMITURL=s3b\n"
      "SCRIPTVERSION=8\n");
  ASSERT_EQ(c.records.size(), 3u);
  EXPECT_EQ(c.records[0], Site("One", "u0", "s0", "g1"));
  EXPECT_EQ(c.records[1], Site("Two", "u2", "s0", "g1"));
  EXPECT_EQ(c.records[2], Site("Three", "u2", "s3b", "g1"));
  EXPECT_EQ(c.scriptVersion, "8");
}

TEST(SiteFile, TitleWithoutValueHidesItsRecordButPassesItsFieldsOn) {
  const SiteFileContents c = ParseSiteFile(
      "TITLE=A\nURL=ua\n"
      "TITLE\nURL=hidden\nGETORPOST=gh\n"
      "TITLE=B\n");
  ASSERT_EQ(c.records.size(), 2u);
  EXPECT_EQ(c.records[1], Site("B", "hidden", "", "gh"));
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
  EXPECT_EQ(c.records[1].RequestTemplate, "ga");

  const SiteFileContents only = ParseSiteFile("TITLE=A\nGETORPOST=ga");
  ASSERT_EQ(only.records.size(), 1u);
  EXPECT_EQ(only.records[0].RequestTemplate, "");
}

TEST(SiteFile, PendingRecordIsCompletedByTheLoad) {
  const SiteFileContents c = ParseSiteFile("TITLE=New\n", Site("Old", "u", "s", "g"));
  ASSERT_EQ(c.records.size(), 2u);
  EXPECT_EQ(c.records[0].Title, "Old");
  EXPECT_EQ(c.records[1], Site("New", "u", "s", "g"));
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

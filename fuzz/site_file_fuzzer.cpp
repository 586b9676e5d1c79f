// pad.dat as the program reads it: the file's bytes with CR LF turned into LF,
// then the site records and SCRIPTVERSION taken out of its lines.

#include <string>

#include "core/platform/text_file.h"
#include "core/sites/site_file.h"
#include "core/text/key_value_line.h"
#include "fuzz_check.h"

namespace {

bool HasLineFeed(const std::string& text) { return text.find('\n') != std::string::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using tesselwick::SiteRecord;
  const std::string text = tesselwick::FromDiskLineEnds(tesselwick::fuzz::AsText(data, size));
  // Only a CR before a CR LF can stand before a line feed afterwards.
  FUZZ_CHECK(text.find("\r\n") == std::string::npos ||
             tesselwick::fuzz::AsText(data, size).find("\r\r\n") != std::string_view::npos);

  const tesselwick::SiteFileContents contents = tesselwick::ParseSiteFile(text);
  // Each record is listed once its TITLE line is read, so there are never more
  // records than TITLE lines, and never one without a title.
  std::size_t titleLines = 0;
  tesselwick::ForEachKeyValueLine(text, [&titleLines](const tesselwick::KeyValue& line) {
    if (line.key == "TITLE") ++titleLines;
  });
  FUZZ_CHECK(contents.records.size() <= titleLines);
  for (const SiteRecord& site : contents.records) {
    FUZZ_CHECK(!site.Title.empty());
    FUZZ_CHECK(!HasLineFeed(site.Title) && !HasLineFeed(site.Url) && !HasLineFeed(site.SubmitUrl) &&
               !HasLineFeed(site.RequestTemplate));
  }
  if (contents.scriptVersion) FUZZ_CHECK(!HasLineFeed(*contents.scriptVersion));
  // The record being read at the end is listed last, once it has a title.
  if (!contents.current.Title.empty()) {
    FUZZ_CHECK(!contents.records.empty() && contents.records.back() == contents.current);
  }

  // A record still pending from an earlier read is completed by the text.
  const SiteRecord pending{"Pending", "http://a/", "http://a/add", "http://a/?p=%PADURL%"};
  const tesselwick::SiteFileContents after = tesselwick::ParseSiteFile(text, pending);
  FUZZ_CHECK(after.records.size() == contents.records.size() + 1);
  FUZZ_CHECK(after.records.front().Title == "Pending");
  return 0;
}

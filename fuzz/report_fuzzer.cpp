// The report: the user's ReportTemplate.htm as the program reads it (CR LF
// turned into LF), filled with a run's values and rows made from site data.
// The input is cut at NUL bytes into the template, the PAD URL, the category
// and a site's title, URL and submit URL.

#include <algorithm>
#include <string>

#include "core/platform/text_file.h"
#include "core/submit/report.h"
#include "fuzz_check.h"

namespace {

std::size_t Count(std::string_view text, char c) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), c));
}

// The address as a browser reads its scheme: without tabs and line breaks, and
// without blanks and control characters in front, letters in lower case.
std::string AsBrowserSeesIt(std::string_view address) {
  std::string seen;
  for (const char c : address) {
    if (c == '\t' || c == '\n' || c == '\r') continue;
    if (seen.empty() && static_cast<unsigned char>(c) <= ' ') continue;
    seen.push_back((c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c);
  }
  return seen;
}

void CheckLinkAddress(std::string_view address) {
  const std::string safe = tesselwick::SafeLinkAddress(address);
  FUZZ_CHECK(safe == "#" || safe == address);
  const std::string seen = AsBrowserSeesIt(safe);
  for (const char* scheme : {"javascript:", "vbscript:", "data:", "file:"})
    FUZZ_CHECK(seen.rfind(scheme, 0) != 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using tesselwick::fuzz::NextField;
  std::string_view rest = tesselwick::fuzz::AsText(data, size);
  const std::string_view templateBytes = NextField(rest, '\0');
  const std::string_view padUrl = NextField(rest, '\0');
  const std::string_view category = NextField(rest, '\0');
  tesselwick::SiteRecord site;
  site.Title = NextField(rest, '\0');
  site.Url = NextField(rest, '\0');
  site.SubmitUrl = NextField(rest, '\0');
  const std::string date = "06-Dec-2026";

  const std::string layout = tesselwick::FromDiskLineEnds(templateBytes);
  std::size_t lineEnds = 0;
  for (std::size_t at = templateBytes.find("\r\n"); at != std::string_view::npos;
       at = templateBytes.find("\r\n", at + 2))
    ++lineEnds;
  FUZZ_CHECK(layout.size() == templateBytes.size() - lineEnds);
  FUZZ_CHECK(layout.find("\r\n") == std::string::npos ||
             templateBytes.find("\r\r\n") != std::string_view::npos);

  CheckLinkAddress(site.Url);
  CheckLinkAddress(site.SubmitUrl);

  // Site data never adds markup or ends an attribute: a row has as many tags
  // and quotes as a row of an empty site.
  const std::string row = tesselwick::ReportRow(site, "Pass", date);
  const std::string plainRow = tesselwick::ReportRow({}, "Pass", date);
  FUZZ_CHECK(Count(row, '<') == Count(plainRow, '<'));
  FUZZ_CHECK(Count(row, '>') == Count(plainRow, '>'));
  FUZZ_CHECK(Count(row, '"') == Count(plainRow, '"'));

  // Neither do the PAD URL and the category: filled without rows, the page has
  // exactly the template's tags and quotes.
  const std::string empty = tesselwick::FillReport(layout, padUrl, date, category, "");
  FUZZ_CHECK(Count(empty, '<') == Count(layout, '<'));
  FUZZ_CHECK(Count(empty, '"') == Count(layout, '"'));
  if (layout.find('%') == std::string::npos) FUZZ_CHECK(empty == layout);

  // With rows, and with the built-in layout, filling must simply work.
  const std::string page = tesselwick::FillReport(layout, padUrl, date, category, row + row);
  FUZZ_CHECK(page.size() >= empty.size());
  // The rows land where the layout has %REPORT%, and nowhere that a value
  // brought a placeholder in: as many tags as with empty values.
  FUZZ_CHECK(Count(page, '<') ==
             Count(tesselwick::FillReport(layout, "", date, "", row + row), '<'));
  const std::string builtIn =
      tesselwick::FillReport(tesselwick::BuiltInReportLayout(), padUrl, date, category, row);
  FUZZ_CHECK(builtIn.find(row) != std::string::npos);
  return 0;
}

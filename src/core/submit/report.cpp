// The submission report: Report.htm from the user's template or the built-in
// layout, handed to the browser at the end of every run.

#include "core/submit/report.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <optional>
#include <utility>

#include "core/platform/date.h"
#include "core/platform/text_file.h"
#include "core/text/program.h"

namespace tesselwick {

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

std::string BuiltInReportLayout(const ReportCounts& counts) {
  const std::string credit =
      std::string("Submitted by <a href=\"") + program::kSiteUrl + "\">TesselWick</a><br><br>";
  std::string stopped;
  if (counts.stoppedAfter) {
    stopped = "Stopped after " + std::to_string(*counts.stoppedAfter) + " of " +
              std::to_string(counts.sites) + " sites.<br>";
  }
  return "<b>Shareware Submission Report</b><br>"
         "PAD File: %PADURL%<br>"
         "Category: %CATEGORY%<br>"
         "Date: %DATE%<br>" +
         stopped + credit +
         "<table width=\"100%\">"
         "<tr><td>Site Name</td><td>Submit URL</td><td>Status</td><td>Submission Date</td></tr>"
         "%REPORT%"
         "</table>"
         "<br><br>" +
         credit;
}

void FillReport(std::string_view layout, std::string_view padUrl, std::string_view date,
                std::string_view category, const ReportRows& rows, const ReportSink& out,
                const ReportCounts& counts) {
  const std::string escapedPadUrl = HtmlEscape(padUrl);
  const std::string escapedDate = HtmlEscape(date);
  const std::string escapedCategory = HtmlEscape(category);
  const std::string passed = std::to_string(counts.passed);
  const std::string failed = std::to_string(counts.failed);
  const std::string sites = std::to_string(counts.sites);
  const std::pair<std::string_view, std::string_view> values[] = {
      {"%PADURL%", escapedPadUrl},
      {"%DATE%", escapedDate},
      {"%CATEGORY%", escapedCategory},
      {"%REPORT%", {}},
      {"%PASSED%", passed},
      {"%FAILED%", failed},
      {"%SITES%", sites},
  };
  // One pass over the layout: what a value brings in is only copied, never
  // looked at again, so a placeholder inside the PAD URL or a row stays text.
  std::size_t start = 0;
  for (std::size_t at = layout.find('%'); at != std::string_view::npos; at = layout.find('%', at)) {
    const std::string_view rest = layout.substr(at);
    const auto placeholder =
        std::find_if(std::begin(values), std::end(values),
                     [rest](const auto& v) { return rest.starts_with(v.first); });
    if (placeholder == std::end(values)) {
      ++at;
      continue;
    }
    out(layout.substr(start, at - start));
    if (placeholder->first == "%REPORT%") {
      rows(out);
    } else {
      out(placeholder->second);
    }
    at += placeholder->first.size();
    start = at;
  }
  out(layout.substr(start));
}

std::string FillReport(std::string_view layout, std::string_view padUrl, std::string_view date,
                       std::string_view category, std::string_view rows,
                       const ReportCounts& counts) {
  std::string page;
  page.reserve(layout.size());
  FillReport(
      layout, padUrl, date, category, [rows](const ReportSink& out) { out(rows); },
      [&page](std::string_view piece) { page.append(piece); }, counts);
  return page;
}

std::string SafeLinkAddress(std::string_view address) {
  // Browsers ignore tabs and line breaks in an address and blanks and control
  // characters before it, so the scheme is read the same way.
  std::string seen;
  for (const char c : address) {
    if (c == '\t' || c == '\n' || c == '\r') continue;
    if (seen.empty() && static_cast<unsigned char>(c) <= ' ') continue;
    seen.push_back(c);
  }
  const std::size_t colon = seen.find(':');
  if (colon == std::string::npos || seen.find_first_of("/?#") < colon) {
    return std::string(address);  // no scheme: a relative address
  }
  std::string scheme = seen.substr(0, colon);
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "mailto") {
    return std::string(address);
  }
  return "#";
}

namespace {

constexpr std::size_t kLongestReportText = 16 * 1024;

std::string ReportLink(std::string_view address) {
  return address.size() > kLongestReportText ? std::string("#") : SafeLinkAddress(address);
}

std::string_view ReportTitle(std::string_view title) {
  if (title.size() <= kLongestReportText) return title;
  // Cut before a UTF-8 continuation byte would split a character.
  std::size_t cut = kLongestReportText;
  while (cut > 0 && (static_cast<unsigned char>(title[cut]) & 0xC0) == 0x80) --cut;
  return title.substr(0, cut);
}

}  // namespace

std::string ReportRow(const SiteRecord& site, std::string_view status, std::string_view date) {
  const std::string_view title = site.Title;
  std::string row = "<tr><td><a href=\"";
  row += HtmlEscape(ReportLink(site.Url));
  row += "\" target=_new>";
  row += HtmlEscape(ReportTitle(title));
  if (title.size() > kLongestReportText) row += "...";
  row += "</a></td><td><a href=\"";
  row += HtmlEscape(ReportLink(site.SubmitUrl));
  row += "\" target=_new>Submit</a></td><td>";
  row += HtmlEscape(status);
  row += "</td><td>";
  row += HtmlEscape(date);
  row += "</td></tr>";
  return row;
}

}  // namespace tesselwick

#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/sites/site_record.h"

namespace tesselwick {

// Escapes "&", "<", ">" and '"' so that a text shows as itself inside the
// report's markup and inside a quoted attribute.
std::string HtmlEscape(std::string_view text);

// A link address as the report may use it: web and mail addresses and
// relative ones stay; any other scheme (javascript:, data:, ...) becomes "#",
// so site data cannot run script from the report page.
std::string SafeLinkAddress(std::string_view address);

// The counts of a run that a report may show: %PASSED%, %FAILED% and %SITES%
// of a user's template, and the line of a stopped run in the built-in layout.
struct ReportCounts {
  std::size_t passed = 0;
  // Every site of the run that did not pass, those never asked included.
  std::size_t failed = 0;
  std::size_t sites = 0;
  // Set when the run was stopped: how many sites had finished by then.
  std::optional<std::size_t> stoppedAfter;
};

// The report's layout when the user has no ReportTemplate.htm: one line of
// HTML with the placeholders %PADURL%, %CATEGORY%, %DATE% and %REPORT%. A
// stopped run has one more line after the date, "Stopped after K of T
// sites.<br>"; a run that finished has none.
std::string BuiltInReportLayout(const ReportCounts& counts = {});

// Takes the report's text piece by piece.
using ReportSink = std::function<void(std::string_view)>;
// Gives the rows of a run to a sink, in list order; called once for every
// %REPORT% of the layout. A run's rows are made as they are written, so a
// long site list never needs its whole report in memory.
using ReportRows = std::function<void(const ReportSink&)>;

// Fills a report layout in one pass from left to right: each %PADURL%,
// %DATE%, %CATEGORY%, %REPORT%, %PASSED%, %FAILED% and %SITES% of the layout
// is replaced by its value, and nothing a value brings in is scanned again.
// The PAD URL, date and category are HTML-escaped here, the rows are put in as
// they are (ReportRow builds them escaped), the counts are decimal numbers.
void FillReport(std::string_view layout, std::string_view padUrl, std::string_view date,
                std::string_view category, const ReportRows& rows, const ReportSink& out,
                const ReportCounts& counts = {});
// The same into one text, with the rows given whole.
std::string FillReport(std::string_view layout, std::string_view padUrl, std::string_view date,
                       std::string_view category, std::string_view rows,
                       const ReportCounts& counts = {});

// One table row of the report: the site's linked title, its submit link, the
// status word ("Pass" or "Fail") and the run date, with the site's texts
// escaped and the link addresses quoted. A site's text longer than 16 KiB
// (no real title or address is) is not copied whole into every row: a link
// that long leads nowhere ("#") and a title that long is cut, so a site list
// whose long value passes on to thousands of sites cannot make a report of
// gigabytes.
std::string ReportRow(const SiteRecord& site, std::string_view status, std::string_view date);

}  // namespace tesselwick

#pragma once

#include <string>

#include "core/platform/date.h"
#include "core/submit/report.h"

namespace tesselwick::test {

// One pad.dat record of a sample site named `title`, whose request template
// is `request`.
inline std::string Site(const std::string& title, const std::string& request) {
  return "TITLE=" + title + "\r\nURL=http://" + title + ".example/\r\nSUBMITURL=http://" + title +
         ".example/add\r\nGETORPOST=" + request + "\r\n";
}

// The report row that a run of today writes for the sample site `title`.
inline std::string Row(const std::string& title, const char* verdict) {
  return ReportRow({title, "http://" + title + ".example/", "http://" + title + ".example/add", ""},
                   verdict, Today());
}

// The report's rows: what stands between the table's heading row and its end.
inline std::string RowsOf(const std::string& report) {
  const std::string head = "<td>Submission Date</td></tr>";
  const std::size_t from = report.find(head);
  const std::size_t to = report.find("</table>");
  if (from == std::string::npos || to == std::string::npos) return "<no table>";
  return report.substr(from + head.size(), to - from - head.size());
}

}  // namespace tesselwick::test

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

// A PAD file that keeps every rule of CheckPadFile once `address` is the
// URL it is submitted from.
inline std::string CheckedPad(const std::string& address) {
  return "<XML_DIZ_INFO><Company_Info><Company_Name>Lantern</Company_Name></Company_Info>"
         "<Program_Info><Program_Name>Box</Program_Name><Program_Version>1.0</Program_Version>"
         "<Program_Category_Class>System Utilities::File &amp; Disk Management"
         "</Program_Category_Class>"
         "<Program_Type>Freeware</Program_Type><Program_OS_Support>Linux</Program_OS_Support>"
         "<File_Info><File_Size_Bytes>100</File_Size_Bytes></File_Info></Program_Info>"
         "<Program_Descriptions><English><Char_Desc_45>Packs</Char_Desc_45>"
         "<Char_Desc_80>Packs boxes</Char_Desc_80></English></Program_Descriptions>"
         "<Web_Info><Application_URLs><Application_Info_URL>http://a/</Application_Info_URL>"
         "<Application_XML_File_URL>" +
         address +
         "</Application_XML_File_URL></Application_URLs><Download_URLs>"
         "<Primary_Download_URL>http://a/box.zip</Primary_Download_URL></Download_URLs>"
         "</Web_Info></XML_DIZ_INFO>";
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

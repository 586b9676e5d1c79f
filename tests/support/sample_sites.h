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

// A PAD file that keeps every rule of CheckPadFields, without an error or a
// warning, once `address` is the URL it is submitted from (and ends in
// .xml, .cgi, .php or .asp).
inline std::string CheckedPad(const std::string& address) {
  return "<XML_DIZ_INFO><MASTER_PAD_VERSION_INFO><MASTER_PAD_VERSION>3.11</MASTER_PAD_VERSION>"
         "</MASTER_PAD_VERSION_INFO><Company_Info><Company_Name>Lantern</Company_Name>"
         "<City_Town>Millbrook</City_Town><Country>Canada</Country>"
         "<Company_WebSite_URL>http://a/</Company_WebSite_URL><Contact_Info>"
         "<Author_First_Name>Ada</Author_First_Name><Author_Last_Name>Lamp</Author_Last_Name>"
         "<Author_Email>ada@lamp.example</Author_Email>"
         "<Contact_First_Name>Ada</Contact_First_Name><Contact_Last_Name>Lamp</Contact_Last_Name>"
         "<Contact_Email>ada@lamp.example</Contact_Email></Contact_Info><Support_Info>"
         "<Sales_Email>ada@lamp.example</Sales_Email><Support_Email>ada@lamp.example</"
         "Support_Email>"
         "<General_Email>ada@lamp.example</General_Email></Support_Info></Company_Info>"
         "<Program_Info><Program_Name>Box</Program_Name><Program_Version>1.0</Program_Version>"
         "<Program_Release_Month>03</Program_Release_Month>"
         "<Program_Release_Day>14</Program_Release_Day>"
         "<Program_Release_Year>2026</Program_Release_Year>"
         "<Program_Category_Class>System Utilities::File &amp; Disk Management"
         "</Program_Category_Class>"
         "<Program_Type>Freeware</Program_Type><Program_Release_Status>New Release"
         "</Program_Release_Status><Program_Install_Support>Install Only"
         "</Program_Install_Support><Program_OS_Support>Linux</Program_OS_Support>"
         "<Program_Language>English</Program_Language>"
         "<File_Info><File_Size_Bytes>100</File_Size_Bytes><File_Size_K>0.1</File_Size_K>"
         "<File_Size_MB>0.0</File_Size_MB></File_Info>"
         "<Expire_Info><Has_Expire_Info>N</Has_Expire_Info></Expire_Info></Program_Info>"
         "<Program_Descriptions><English><Char_Desc_45>Packs</Char_Desc_45>"
         "<Char_Desc_80>Packs boxes</Char_Desc_80></English></Program_Descriptions>"
         "<Web_Info><Application_URLs><Application_Info_URL>http://a/</Application_Info_URL>"
         "<Application_Screenshot_URL>http://a/box.png</Application_Screenshot_URL>"
         "<Application_Icon_URL>http://a/box.gif</Application_Icon_URL>"
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

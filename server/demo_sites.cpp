#include "demo_sites.h"

#include <array>

namespace tesselwick::site {
namespace {

constexpr std::array<std::string_view, 12> kSiteNames = {
    "Shareware Harbor", "Puzzle Parlour Downloads", "Freeware Junction",  "The Download Lantern",
    "ByteBarn",         "Softpile Central",         "Tiny Apps Depot",    "Gamers' Attic",
    "Utility Meadow",   "Clickfield Software",      "Windmill Downloads", "Pixel Pantry",
};

// One answer kind per position in a repeating pattern of eight sites: five
// thank the author, three fail in different ways.
constexpr std::array<DemoAnswer, 8> kAnswerPattern = {
    DemoAnswer::ThankYou, DemoAnswer::ThankYou, DemoAnswer::ErrorPage, DemoAnswer::ThankYou,
    DemoAnswer::NotFound, DemoAnswer::ThankYou, DemoAnswer::ThankYou,  DemoAnswer::ServerError,
};

}  // namespace

std::string HtmlPage(std::string_view title, std::string_view body) {
  std::string page = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>";
  page += HtmlEscape(title);
  page +=
      "</title><style>"
      "body{font-family:Verdana,Arial,sans-serif;margin:0;background:#f4f1ea;color:#2b2b2b}"
      "header{background:#3d5a80;color:#fff;padding:14px 24px;font-size:20px}"
      "main{max-width:640px;margin:24px auto;background:#fff;padding:20px 28px;"
      "border:1px solid #d8d2c4;border-radius:6px}"
      "a{color:#3d5a80}.bad{color:#a4161a}.good{color:#2d6a4f}"
      "label{display:block;margin:10px 0 4px}input{width:100%;padding:4px}"
      "</style></head><body><header>";
  page += HtmlEscape(title);
  page += "</header><main>\n";
  page += body;
  page += "\n</main></body></html>\n";
  return page;
}

DemoAnswer DemoSiteAnswer(int number) {
  const int index = number < 1 ? 0 : (number - 1) % static_cast<int>(kAnswerPattern.size());
  return kAnswerPattern[static_cast<std::size_t>(index)];
}

std::string DemoSiteTitle(int number) {
  const int index = number < 1 ? 0 : number - 1;
  const int names = static_cast<int>(kSiteNames.size());
  std::string title(kSiteNames[static_cast<std::size_t>(index % names)]);
  if (index >= names) title += " " + std::to_string(index / names + 1);
  return title;
}

std::string DemoSiteList(std::string_view baseUrl, int count, std::string_view scriptVersion) {
  std::string list = "SCRIPTVERSION=";
  list += scriptVersion;
  list += "\r\n";
  for (int n = 1; n <= count; ++n) {
    const std::string site = std::string(baseUrl) + "/demo/sites/" + std::to_string(n) + "/";
    list += "TITLE=" + DemoSiteTitle(n) + "\r\n";
    list += "URL=" + site + "\r\n";
    list += "SUBMITURL=" + site + "add.htm\r\n";
    list += "GETORPOST=" + site + "submit?pad=%PADURL%&cat=%CATEGORY%\r\n";
  }
  return list;
}

std::string DemoSiteHomePage(int number) {
  const std::string title = DemoSiteTitle(number);
  return HtmlPage(title,
                  "<p>Welcome to " + HtmlEscape(title) +
                      ", a demo download site served by tesselwick-site.</p>"
                      "<p>Authors can <a href=\"add.htm\">add their software by hand</a>, or let "
                      "TesselWick send their PAD file for them.</p>"
                      "<p><a href=\"../../../manual.htm\">TesselWick manual</a></p>");
}

std::string DemoSiteSubmitForm(int number) {
  const std::string title = DemoSiteTitle(number);
  return HtmlPage(title + ": add your software",
                  "<form action=\"submit\" method=\"get\">"
                  "<label for=\"pad\">Address of your PAD file</label>"
                  "<input id=\"pad\" name=\"pad\" type=\"url\" placeholder=\"https://\">"
                  "<label for=\"cat\">Category</label>"
                  "<input id=\"cat\" name=\"cat\" type=\"text\">"
                  "<p><button type=\"submit\">Send</button></p></form>"
                  "<p><a href=\"./\">Back to the home page</a></p>");
}

// Every link on the demo sites' pages is relative and no page repeats what the
// request carried: the program judges an answer by the words "Error" and "404"
// anywhere in it, so a thank-you page must not pick them up from a port number
// or a category.
DemoReply DemoSubmissionReply(int number, std::string_view pad, std::string_view category) {
  const std::string title = DemoSiteTitle(number);
  if (pad.empty()) {
    return {200, HtmlPage(title,
                          "<p class=\"bad\">Error: no PAD file address was given.</p>"
                          "<p><a href=\"add.htm\">Try again</a></p>")};
  }
  if (category.empty()) {
    return {200, HtmlPage(title,
                          "<p class=\"bad\">Error: no category was given.</p>"
                          "<p><a href=\"add.htm\">Try again</a></p>")};
  }
  switch (DemoSiteAnswer(number)) {
    case DemoAnswer::ThankYou:
      return {200, HtmlPage(title,
                            "<h2 class=\"good\">Thank you!</h2>"
                            "<p>Your PAD file has been received. Our editors will review your "
                            "software and list it within two working days.</p>"
                            "<p><a href=\"./\">Back to the home page</a></p>")};
    case DemoAnswer::ErrorPage:
      return {200, HtmlPage(title,
                            "<h2 class=\"bad\">Submission Error</h2>"
                            "<p>Error: we could not read the PAD file at the address you gave. "
                            "Please check it and try again later.</p>")};
    case DemoAnswer::NotFound:
      return {404,
              HtmlPage("404 Not Found", "<p>The page you asked for is not here any more.</p>")};
    case DemoAnswer::ServerError:
      return {500, HtmlPage("500 Internal Server Error",
                            "<p>The server met an unexpected condition and could not take your "
                            "submission.</p>")};
  }
  return {500, HtmlPage("500 Internal Server Error", "")};
}

std::string DemoPadXml(std::string_view baseUrl) {
  const std::string padUrl = std::string(baseUrl) + "/demo/pad.xml";
  return R"(<?xml version="1.0" encoding="UTF-8" ?>
<XML_DIZ_INFO>
  <MASTER_PAD_VERSION_INFO>
    <MASTER_PAD_VERSION>3.11</MASTER_PAD_VERSION>
    <MASTER_PAD_EDITOR>Quillfern PAD Editor 1.2</MASTER_PAD_EDITOR>
    <MASTER_PAD_INFO>Portable Application Description, or PAD for short, is a data set that is used by shareware authors to disseminate information to anyone interested in their software products.</MASTER_PAD_INFO>
  </MASTER_PAD_VERSION_INFO>
  <Company_Info>
    <Company_Name>Quillfern Games</Company_Name>
    <Address_1>12 Lantern Row</Address_1>
    <Address_2></Address_2>
    <City_Town>Millbrook</City_Town>
    <State_Province>Vermont</State_Province>
    <Zip_Postal_Code>05000</Zip_Postal_Code>
    <Country>USA</Country>
    <Company_WebSite_URL>https://www.quillfern.example/</Company_WebSite_URL>
    <Contact_Info>
      <Author_First_Name>Maren</Author_First_Name>
      <Author_Last_Name>Holt</Author_Last_Name>
      <Author_Email>maren@quillfern.example</Author_Email>
      <Contact_First_Name>Maren</Contact_First_Name>
      <Contact_Last_Name>Holt</Contact_Last_Name>
      <Contact_Email>support@quillfern.example</Contact_Email>
    </Contact_Info>
    <Support_Info>
      <Sales_Email>sales@quillfern.example</Sales_Email>
      <Support_Email>support@quillfern.example</Support_Email>
      <General_Email>info@quillfern.example</General_Email>
    </Support_Info>
  </Company_Info>
  <Program_Info>
    <Program_Name>Tile Tumble</Program_Name>
    <Program_Version>2.4</Program_Version>
    <Program_Release_Month>11</Program_Release_Month>
    <Program_Release_Day>20</Program_Release_Day>
    <Program_Release_Year>2026</Program_Release_Year>
    <Program_Cost_Dollars>14.95</Program_Cost_Dollars>
    <Program_Cost_Other_Code>EUR</Program_Cost_Other_Code>
    <Program_Cost_Other>13.95</Program_Cost_Other>
    <Program_Type>Shareware</Program_Type>
    <Program_Release_Status>Major Update</Program_Release_Status>
    <Program_Install_Support>Install and Uninstall</Program_Install_Support>
    <Program_OS_Support>Win7 x64,WinOther,Linux</Program_OS_Support>
    <Program_Language>English,German,French</Program_Language>
    <Program_Change_Info>New hexagon boards, a relaxed mode without a clock and 120 new levels.</Program_Change_Info>
    <Program_Specific_Category>Games</Program_Specific_Category>
    <Program_Category_Class>Games &amp; Entertainment::Puzzle &amp; Word Games</Program_Category_Class>
    <Program_System_Requirements>1 GHz processor, 256 MB RAM, OpenGL 2.1</Program_System_Requirements>
    <File_Info>
      <File_Size_Bytes>4718592</File_Size_Bytes>
      <File_Size_K>4608</File_Size_K>
      <File_Size_MB>4.50</File_Size_MB>
    </File_Info>
    <Expire_Info>
      <Has_Expire_Info>Y</Has_Expire_Info>
      <Expire_Count>30</Expire_Count>
      <Expire_Based_On>Days</Expire_Based_On>
    </Expire_Info>
  </Program_Info>
  <Program_Descriptions>
    <English>
      <Keywords>puzzle, tiles, match, hexagon, relaxing, brain teaser, casual game</Keywords>
      <Char_Desc_45>Slide, tumble and match tiles on 300 boards</Char_Desc_45>
      <Char_Desc_80>Slide, tumble and match colourful tiles on 300 square and hexagon puzzle boards.</Char_Desc_80>
      <Char_Desc_250>Tile Tumble is a relaxing puzzle game: slide rows of colourful tiles, let them tumble into place and clear the board in as few moves as you can. 300 hand-made levels on square and hexagon boards, a daily puzzle and a mode without a clock.</Char_Desc_250>
      <Char_Desc_450>Tile Tumble is a relaxing puzzle game for the whole family. Slide rows of colourful tiles, let them tumble into place and clear the board in as few moves as you can. 300 hand-made levels on square and hexagon boards grow gently harder; a daily puzzle brings something new every morning, and the relaxed mode lets you think without a clock. Undo as often as you like, and pick up where you left off.</Char_Desc_450>
      <Char_Desc_2000>Tile Tumble is a relaxing puzzle game for the whole family. Slide rows of colourful tiles, let them tumble into place and clear the board in as few moves as you can. 300 hand-made levels on square and hexagon boards grow gently harder; a daily puzzle brings something new every morning, and the relaxed mode lets you think without a clock. Undo as often as you like, pick up where you left off, and compare your best move counts with friends. Version 2.4 adds hexagon boards and 120 new levels.</Char_Desc_2000>
    </English>
  </Program_Descriptions>
  <Web_Info>
    <Application_URLs>
      <Application_Info_URL>https://www.quillfern.example/tiletumble/</Application_Info_URL>
      <Application_Order_URL>https://www.quillfern.example/tiletumble/buy.html</Application_Order_URL>
      <Application_Screenshot_URL>https://www.quillfern.example/tiletumble/screen.png</Application_Screenshot_URL>
      <Application_Icon_URL>https://www.quillfern.example/tiletumble/icon.png</Application_Icon_URL>
      <Application_XML_File_URL>)" +
         HtmlEscape(padUrl) + R"(</Application_XML_File_URL>
    </Application_URLs>
    <Download_URLs>
      <Primary_Download_URL>https://www.quillfern.example/download/tiletumble24.zip</Primary_Download_URL>
      <Secondary_Download_URL>https://mirror.quillfern.example/tiletumble24.zip</Secondary_Download_URL>
    </Download_URLs>
  </Web_Info>
  <Permissions>
    <Distribution_Permissions>You may put the unchanged installer on download sites, magazine discs and compilations, free of charge.</Distribution_Permissions>
    <EULA>Tile Tumble may be tried free of charge for 30 days. After that a licence is needed to go on using it.</EULA>
  </Permissions>
</XML_DIZ_INFO>
)";
}

}  // namespace tesselwick::site

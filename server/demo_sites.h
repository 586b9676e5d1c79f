#pragma once

#include <string>
#include <string_view>

#include "core/submit/report.h"

namespace tesselwick::site {

// How a demo download site answers a submission.
enum class DemoAnswer {
  ThankYou,     // 200, a thank-you page: the program judges it "Pass"
  ErrorPage,    // 200, a page saying "Error: ...": judged "Fail"
  NotFound,     // 404 with an error page: judged "Fail"
  ServerError,  // 500 with an error page: judged "Fail"
};

// Demo sites are numbered from 1. Most thank the author; every few sites one
// fails in one of the three ways, so a run's report shows both outcomes.
DemoAnswer DemoSiteAnswer(int number);
std::string DemoSiteTitle(int number);

// The site list of `count` demo sites reached under `baseUrl`
// ("http://127.0.0.1:8417"), in pad.dat format with CR LF line ends:
// SCRIPTVERSION first, then TITLE, URL, SUBMITURL and GETORPOST per site.
// Each site is requested as <baseUrl>/demo/sites/<n>/submit?pad=%PADURL%&cat=%CATEGORY%.
std::string DemoSiteList(std::string_view baseUrl, int count, std::string_view scriptVersion);

// The sample PAD file of a fictional puzzle game, published at
// <baseUrl>/demo/pad.xml; its category is "Games &amp; Entertainment::Puzzle &amp; Word Games",
// one of the official PAD categories, and it passes CheckPadFields without an
// error or a warning.
std::string DemoPadXml(std::string_view baseUrl);

// The pages of demo site `number`.
std::string DemoSiteHomePage(int number);
std::string DemoSiteSubmitForm(int number);
struct DemoReply {
  int status = 200;
  std::string body;
};
// The answer to a submission with the query values `pad` and `category`
// (already decoded). A submission without a PAD address is refused with an
// error page whatever the site's usual answer, as a real site would.
DemoReply DemoSubmissionReply(int number, std::string_view pad, std::string_view category);

// A complete HTML page in the site's look (inline style, no outside resources).
std::string HtmlPage(std::string_view title, std::string_view body);

// Pages escape their texts as the program's report does.
using tesselwick::HtmlEscape;

}  // namespace tesselwick::site

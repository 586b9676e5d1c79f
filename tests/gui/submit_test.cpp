#include <atomic>
#include <chrono>
#include <csignal>
#include <ctime>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/submit_tool.h"
#include "core/text/replace.h"
#include "gui/gui_testing.h"
#include "gui/main_window_fixture.h"
#include "support/refusing_port.h"
#include "support/sample_sites.h"
#include "support/temp_folder.h"
#include "support/test_http_server.h"
#include "ui/adapters.h"
#include "ui/ids.h"
#include "ui/main_window.h"

namespace tesselwick::ui {
namespace {

using test::RefusingPort;

using SubmitTest = MainWindowFixture;

TEST_F(SubmitTest, AnUnreachablePadFileIsReportedAndAnEmptyReportOpened) {
  folder.Write("pad.dat",
               "TITLE=Some Site\nURL=http://site.example/\nGETORPOST=http://"
               "site.example/?pad=%PADURL%\n");
  window = new MainWindow(folder.Path(), Browser());
  window->Show();
  RefusingPort refusing;
  const std::string padUrl = refusing.Url("/pad.xml");
  window->PadUrlBox()->ChangeValue(padUrl);

  wxCommandEvent click(wxEVT_BUTTON, kIdSubmit);
  click.SetEventObject(window->FindWindow(kIdSubmit));
  wxTEST_DIALOG(window->ProcessWindowEvent(click),
                ExpectMessage("12029", "Error Loading Your PAD File."));

  // The URL is remembered and still shown; the report has the heading row only.
  EXPECT_EQ(window->PadUrlBox()->GetValue().ToStdString(), padUrl);
  EXPECT_EQ(window->PadUrlBox()->GetCount(), 1u);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].rfind("file://", 0), 0u);
  EXPECT_EQ(opened[0].substr(opened[0].size() - 10), "Report.htm");
  const std::string report = folder.Read("Report.htm");
  EXPECT_NE(report.find("<td>Submission Date</td></tr></table>"), std::string::npos);
  EXPECT_NE(report.find("PAD File: " + padUrl + "<br>"), std::string::npos);
}

TEST_F(SubmitTest, TheCommandLineToolWritesTheSameReportAndHistoryAsSubmit) {
  test::TestHttpServer server;
  RefusingPort refusing;
  server.Set("/pad.xml", test::Reply::Text("<XML_DIZ_INFO><Program_Category_Class>Games &amp; "
                                           "Entertainment::Puzzle</Program_Category_Class>"
                                           "</XML_DIZ_INFO>"));
  server.Set("/thanks", test::Reply::Text("Thank you"));
  server.Set("/error", test::Reply::Text("Error: no such category", 500));
  auto site = [](const std::string& title, const std::string& request) {
    return "TITLE=" + title + "\r\nURL=http://" + title + ".example/?a=1&b=2\r\nSUBMITURL=http://" +
           title + ".example/add\r\nGETORPOST=" + request + "\r\n";
  };
  const std::string sites = site("Thanks", server.Url("/thanks?pad=%PADURL%&cat=%CATEGORY%")) +
                            site("Broken", server.Url("/error")) +
                            site("Gone", refusing.Url("/x")) +
                            site("<Quoted \"Name\">", server.Url("/thanks"));
  const std::string padUrl = server.Url("/pad.xml?v=1&lang=en");
  folder.Write("pad.dat", sites);
  folder.Write("tesselwick.ini", "URL1=http://earlier.example/pad.xml\n");
  test::TempFolder toolFolder;
  toolFolder.Write("pad.dat", sites);
  toolFolder.Write("tesselwick.ini", "URL1=http://earlier.example/pad.xml\n");

  // The window: the URL typed, Submit, Quit.
  MainWindow& w = Open();
  w.PadUrlBox()->ChangeValue(padUrl);
  // The file lacks what sites require; it is submitted all the same.
  wxTEST_DIALOG(Click(kIdSubmit), wxExpectModal<wxMessageDialog>(wxID_YES));
  w.Logic().Pull();
  w.Logic().CloseDown();

  // The tool, over the same list and server.
  std::ostringstream out, err;
  cli::SubmitToolEnvironment env;
  const int status =
      cli::RunSubmitTool({"--folder", toolFolder.Path().string(), padUrl}, out, err, env);
  EXPECT_EQ(status, cli::exit_status::kSomeFailed) << err.str();

  const std::string report = folder.Read("Report.htm");
  EXPECT_NE(report.find("<td>Pass</td>"), std::string::npos);
  EXPECT_NE(report.find("<td>Fail</td>"), std::string::npos);
  EXPECT_EQ(toolFolder.Read("Report.htm"), report);
  EXPECT_EQ(toolFolder.Read("tesselwick.ini"), folder.Read("tesselwick.ini"));
  EXPECT_EQ(toolFolder.Read("pad.dat"), folder.Read("pad.dat"));
}

TEST_F(SubmitTest, ASignalToEndClosesTheWindowDownAsQuitDoesAndStopsARunFirst) {
  using namespace std::chrono_literals;
  test::TestHttpServer server;
  const std::string padUrl = server.Url("/pad.xml");
  server.Set("/pad.xml", test::Reply::Text(test::CheckedPad(padUrl)));
  server.Set("/thanks", test::Reply::Text("Thank you"));
  server.Set("/stall", test::Reply::Stall(30s));
  folder.Write("pad.dat", test::Site("Stalled", server.Url("/stall")) +
                              test::Site("Quick", server.Url("/thanks")));
  std::atomic<int> signal{0};
  MainWindow& w = Open();
  w.Hide();
  w.CloseDownWhenSet(signal);

  // While nothing is under way: the typed URL is taken and remembered, as
  // by Quit.
  w.PadUrlBox()->ChangeValue("http://typed.example/pad.xml");
  signal = SIGTERM;
  EXPECT_EQ(w.RunModal(), wxID_OK);
  EXPECT_NE(folder.Read("tesselwick.ini").find("URL=http://typed.example/pad.xml"),
            std::string::npos);

  // During a run, once the stalled site has been asked and the quick one
  // has answered: the run stops, the report lists what had answered, the
  // results close, and then the window.
  signal = 0;
  std::thread sender([&server, &signal] {
    for (int i = 0; i < 1000 && server.Requests().size() < 3; ++i)
      std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(300ms);
    signal = SIGTERM;
  });
  w.CallAfter([&] {
    w.PadUrlBox()->ChangeValue(padUrl);
    Click(kIdSubmit);
  });
  EXPECT_EQ(w.RunModal(), wxID_OK);
  sender.join();
  const std::string report = folder.Read("Report.htm");
  EXPECT_NE(report.find("<br>Stopped after 1 of 2 sites.<br>"), std::string::npos) << report;
  EXPECT_EQ(test::RowsOf(report), test::Row("Quick", "Pass"));
  EXPECT_NE(folder.Read("tesselwick.ini").find("URL1=" + padUrl), std::string::npos);
}

// The words of a box that asks before any site is asked.
struct Question {
  std::string caption;
  std::string yes;
  std::string no;
};
const Question kPadProblems{"Check Your PAD File", "Submit Anyway", "Cancel"};
const Question kAlreadyAccepted{"Already Accepted", "Ask Again", "Skip Them"};

// A box that asks before the sites: its words, its buttons (the safe one,
// No, the default), and what it leaves the caller; nothing else happens while
// it is shown.
class ExpectQuestion : public wxExpectModal<wxMessageDialog> {
 public:
  ExpectQuestion(int answer, std::string text, test::TestHttpServer& server,
                 Question words = kPadProblems)
      : wxExpectModal<wxMessageDialog>(answer),
        text_(std::move(text)),
        server_(server),
        words_(std::move(words)) {}

 protected:
  int OnInvoked(wxMessageDialog* box) const override {
    EXPECT_EQ(box->GetMessage().ToStdString(), text_);
    EXPECT_EQ(box->GetTitle().ToStdString(), words_.caption);
    EXPECT_EQ(box->GetYesLabel().ToStdString(), words_.yes);
    EXPECT_EQ(box->GetNoLabel().ToStdString(), words_.no);
    EXPECT_NE(box->GetMessageDialogStyle() & wxNO_DEFAULT, 0);
    // No site has been asked yet.
    for (const auto& request : server_.Requests()) EXPECT_EQ(request.path, "/pad.xml");
    return wxExpectModal<wxMessageDialog>::OnInvoked(box);
  }

 private:
  std::string text_;
  test::TestHttpServer& server_;
  Question words_;
};

TEST_F(SubmitTest, APadFileWithProblemsIsShownBeforeAnySiteAndSubmittedOnlyWhenTheUserSaysSo) {
  test::TestHttpServer server;
  const std::string padUrl = server.Url("/pad.xml");
  // Says it lives elsewhere, and its version has a blank inside.
  server.Set("/pad.xml",
             test::Reply::Text(ReplaceAll(test::CheckedPad("http://elsewhere.example/pad.xml"),
                                          "<Program_Version>1.0<", "<Program_Version>1.0 beta<")));
  server.Set("/site", test::Reply::Text("Thank you"));
  folder.Write("pad.dat", test::Site("Only", server.Url("/site")));
  const std::string text =
      "Download sites are likely to reject your PAD file:\n"
      "\nXML_DIZ_INFO/Web_Info/Application_URLs/Application_XML_File_URL "
      "\"http://elsewhere.example/pad.xml\" is not the address submitted, \"" +
      padUrl +
      "\"."
      "\nXML_DIZ_INFO/Program_Info/Program_Version \"1.0 beta\" has white space inside; a "
      "version is one word, such as \"2.4\"."
      "\n\nSubmit it to every site anyway?";

  MainWindow& w = Open();
  w.PadUrlBox()->ChangeValue(padUrl);
  // Cancel: no site is asked; the report, as for a file without a category,
  // has no rows.
  wxTEST_DIALOG(Click(kIdSubmit), ExpectQuestion(wxID_NO, text, server));
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(test::RowsOf(folder.Read("Report.htm")), "");
  EXPECT_EQ(opened.size(), 1u);

  // Submit Anyway: the run goes on as for a file without problems.
  wxTEST_DIALOG(Click(kIdSubmit), ExpectQuestion(wxID_YES, text, server));
  ASSERT_EQ(server.Requests().size(), 3u);
  EXPECT_EQ(server.Requests()[2].path, "/site");
  EXPECT_EQ(test::RowsOf(folder.Read("Report.htm")), test::Row("Only", "Pass"));
  EXPECT_EQ(opened.size(), 2u);
}

// A site's row in the results window: status, reason, last accepted.
struct ResultRow {
  std::string status;
  std::string reason;
  std::string lastAccepted;
  bool operator==(const ResultRow&) const = default;
};
std::ostream& operator<<(std::ostream& out, const ResultRow& row) {
  return out << '{' << row.status << " | " << row.reason << " | " << row.lastAccepted << '}';
}

// What the results window of one run showed: its summary, and each site's
// row by title.
struct ShownResults {
  std::string summary;
  std::map<std::string, ResultRow> rows;
};

TEST_F(SubmitTest, SitesThatAcceptedThisVersionAreSkippedOrAskedAgainAsTheUserSays) {
  test::TestHttpServer server;
  const std::string padUrl = server.Url("/pad.xml");
  server.Set("/pad.xml", test::Reply::Text(test::CheckedPad(padUrl)));
  server.Set("/alpha", test::Reply::Text("Thank you"));
  server.Set("/beta", test::Reply::Text("Thank you"));
  server.Set("/gamma", test::Reply::Text("Error: no such category", 500));
  folder.Write("pad.dat", test::Site("Alpha", server.Url("/alpha")) +
                              test::Site("Beta", server.Url("/beta")) +
                              test::Site("Gamma", server.Url("/gamma")));
  MainWindow& w = Open();
  w.PadUrlBox()->ChangeValue(padUrl);

  std::vector<ShownResults> shown;
  GoogleTestModalHook::onResults = [&shown](ProgressWindow& results) {
    ShownResults seen{results.SummaryText()->GetLabel().ToStdString(), {}};
    for (std::size_t row = 0; row < 3; ++row)
      seen.rows[results.CellText(row, 1).ToStdString()] = {results.CellText(row, 0).ToStdString(),
                                                           results.CellText(row, 2).ToStdString(),
                                                           results.CellText(row, 3).ToStdString()};
    shown.push_back(seen);
    return wxID_CLOSE;
  };
  struct Unhook {
    ~Unhook() { GoogleTestModalHook::onResults = nullptr; }
  } unhook;
  auto asked = [&server](const std::string& path) {
    std::size_t count = 0;
    for (const auto& request : server.Requests()) count += request.path == path ? 1 : 0;
    return count;
  };
  const ResultRow failed{"Fail", "HTTP 500", ""};

  // The first run: nothing to ask; Alpha and Beta pass, Gamma fails.
  {
    GoogleTestModalHook noBox(__FILE__, __LINE__, __func__);
    Click(kIdSubmit);
  }
  // The run log keeps the run's start in UTC.
  char date[11];
  const std::time_t now = std::time(nullptr);
  std::strftime(date, sizeof date, "%Y-%m-%d", std::gmtime(&now));
  const std::string day = date;
  const ResultRow before{"Pass", "HTTP 200", ""};
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].summary, "2 passed, 1 failed");
  EXPECT_EQ(shown[0].rows["Alpha"], before);
  EXPECT_EQ(shown[0].rows["Beta"], before);
  EXPECT_EQ(shown[0].rows["Gamma"], failed);

  // Skip Them: only Gamma is asked; the others show as skipped, with their
  // earlier pass, and have no row in the report.
  const std::string text =
      "2 sites already accepted Box 1.0 (last on " + day + "). Ask them again?";
  server.ClearRequests();
  wxTEST_DIALOG(Click(kIdSubmit), ExpectQuestion(wxID_NO, text, server, kAlreadyAccepted));
  EXPECT_EQ(asked("/alpha"), 0u);
  EXPECT_EQ(asked("/beta"), 0u);
  EXPECT_EQ(asked("/gamma"), 1u);
  const ResultRow skipped{"Skipped", "accepted 1.0 on " + day, day + " 1.0"};
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].summary, "0 passed, 1 failed, 2 skipped");
  EXPECT_EQ(shown[1].rows["Alpha"], skipped);
  EXPECT_EQ(shown[1].rows["Beta"], skipped);
  EXPECT_EQ(shown[1].rows["Gamma"], failed);
  EXPECT_EQ(test::RowsOf(folder.Read("Report.htm")), test::Row("Gamma", "Fail"));

  // Ask Again: every site is asked; the skipped run took nothing from the
  // earlier passes, which the list still shows.
  server.ClearRequests();
  wxTEST_DIALOG(Click(kIdSubmit), ExpectQuestion(wxID_YES, text, server, kAlreadyAccepted));
  EXPECT_EQ(asked("/alpha"), 1u);
  EXPECT_EQ(asked("/beta"), 1u);
  EXPECT_EQ(asked("/gamma"), 1u);
  const ResultRow again{"Pass", "HTTP 200", day + " 1.0"};
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[2].summary, "2 passed, 1 failed");
  EXPECT_EQ(shown[2].rows["Alpha"], again);
  EXPECT_EQ(shown[2].rows["Beta"], again);
  EXPECT_EQ(shown[2].rows["Gamma"], failed);
  EXPECT_EQ(test::RowsOf(folder.Read("Report.htm")),
            test::Row("Gamma", "Fail") + test::Row("Beta", "Pass") + test::Row("Alpha", "Pass"));

  // Once every site took this version, Skip Them asks none: the results
  // still show, every site skipped.
  server.Set("/gamma", test::Reply::Text("Thanks"));
  server.ClearRequests();
  wxTEST_DIALOG(Click(kIdSubmit), ExpectQuestion(wxID_YES, text, server, kAlreadyAccepted));
  server.ClearRequests();
  const std::string all = "3 sites already accepted Box 1.0 (last on " + day + "). Ask them again?";
  wxTEST_DIALOG(Click(kIdSubmit), ExpectQuestion(wxID_NO, all, server, kAlreadyAccepted));
  EXPECT_EQ(server.Requests().size(), 1u);  // the PAD file alone
  ASSERT_EQ(shown.size(), 5u);
  EXPECT_EQ(shown[4].summary, "0 passed, 0 failed, 3 skipped");
  EXPECT_EQ(shown[4].rows["Gamma"], skipped);
}

}  // namespace
}  // namespace tesselwick::ui

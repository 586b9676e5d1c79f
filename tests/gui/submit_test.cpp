#include <atomic>
#include <chrono>
#include <csignal>
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

// The box that lists a PAD file's problems: its words, its buttons, and
// what it leaves the caller; nothing else happens while it is shown.
class ExpectQuestion : public wxExpectModal<wxMessageDialog> {
 public:
  ExpectQuestion(int answer, std::string text, test::TestHttpServer& server)
      : wxExpectModal<wxMessageDialog>(answer), text_(std::move(text)), server_(server) {}

 protected:
  int OnInvoked(wxMessageDialog* box) const override {
    EXPECT_EQ(box->GetMessage().ToStdString(), text_);
    EXPECT_EQ(box->GetTitle().ToStdString(), "Check Your PAD File");
    EXPECT_EQ(box->GetYesLabel().ToStdString(), "Submit Anyway");
    EXPECT_EQ(box->GetNoLabel().ToStdString(), "Cancel");
    // No site has been asked yet.
    for (const auto& request : server_.Requests()) EXPECT_EQ(request.path, "/pad.xml");
    return wxExpectModal<wxMessageDialog>::OnInvoked(box);
  }

 private:
  std::string text_;
  test::TestHttpServer& server_;
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

}  // namespace
}  // namespace tesselwick::ui

#include "ui/progress_window.h"

#include <wx/timer.h>

#include <chrono>
#include <string>
#include <vector>

#include "core/platform/date.h"
#include "core/submit/report.h"
#include "gui/gui_testing.h"
#include "gui/main_window_fixture.h"
#include "support/temp_folder.h"
#include "support/test_http_server.h"
#include "ui/adapters.h"
#include "ui/ids.h"
#include "ui/main_window.h"

namespace tesselwick::ui {
namespace {

using namespace std::chrono_literals;
using test::Reply;
using test::TestHttpServer;

std::string Site(const std::string& title, const std::string& request) {
  return "TITLE=" + title + "\r\nURL=http://" + title + ".example/\r\nSUBMITURL=http://" + title +
         ".example/add\r\nGETORPOST=" + request + "\r\n";
}

std::string Row(const std::string& title, const char* status) {
  return ReportRow({title, "http://" + title + ".example/", "http://" + title + ".example/add", ""},
                   status, Today());
}

// What the progress window showed at one moment.
struct Seen {
  std::string done;
  std::vector<std::string> waiting;
  std::string tally;
  bool stopEnabled = false;
  bool modal = false;
  bool mainWindowClosed = true;
};

using ProgressWindowTest = MainWindowFixture;

TEST_F(ProgressWindowTest, ShowsTheRunAndStopEndsItWithTheFinishedSites) {
  TestHttpServer server;
  server.Set("/pad.xml", Reply::Text("<XML_DIZ_INFO><Program_Category_Class>Games"
                                     "</Program_Category_Class></XML_DIZ_INFO>"));
  server.Set("/stall", Reply::Stall(30s));
  server.Set("/thanks", Reply::Text("Thank you"));
  server.Set("/error", Reply::Text("Error: no such category", 500));
  // The file's last site is the list's top row: Quick, Stalled, Broken, Later.
  folder.Write("pad.dat", Site("Later", server.Url("/thanks?n=2")) +
                              Site("Broken", server.Url("/error")) +
                              Site("Stalled", server.Url("/stall")) +
                              Site("Quick", server.Url("/thanks?n=1")));
  window = new MainWindow(folder.Path(), Browser());
  window->Show();
  window->PadUrlBox()->ChangeValue(server.Url("/pad.xml"));

  // Looks at the progress window while the run works; once every site but the
  // stalled one has answered, notes what it shows and presses Stop.
  Seen seen;
  bool pressed = false;
  int ticks = 0;
  wxTimer watcher;
  watcher.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    ProgressWindow* progress = window->Progress();
    if (progress == nullptr || pressed) return;
    const bool settled = progress->DoneText()->GetLabel() == "3 of 4 sites done" &&
                         progress->WaitingList()->GetCount() == 1;
    // A run that never gets there is stopped all the same, and fails below.
    if (!settled && ++ticks < 500) return;
    seen.done = progress->DoneText()->GetLabel().ToStdString();
    for (const wxString& title : progress->WaitingList()->GetStrings())
      seen.waiting.push_back(title.ToStdString());
    seen.tally = progress->TallyText()->GetLabel().ToStdString();
    seen.stopEnabled = progress->StopButton()->IsEnabled();
    // Modal over the main window: that takes no input while the run works.
    seen.modal = progress->IsModal();
    EXPECT_EQ(progress->GetParent(), window);
    EXPECT_EQ(progress->StopButton()->GetLabel(), "Stop");
    // Closing the main window waits for the run.
    seen.mainWindowClosed = window->Close();
    pressed = true;
    wxCommandEvent click(wxEVT_BUTTON, progress->StopButton()->GetId());
    click.SetEventObject(progress->StopButton());
    progress->StopButton()->ProcessWindowEvent(click);
  });
  watcher.Start(20);

  wxCommandEvent submit(wxEVT_BUTTON, kIdSubmit);
  submit.SetEventObject(window->FindWindow(kIdSubmit));
  // The PAD file lacks what sites require; it is submitted all the same.
  wxTEST_DIALOG(window->ProcessWindowEvent(submit), wxExpectModal<wxMessageDialog>(wxID_YES));
  watcher.Stop();

  ASSERT_TRUE(pressed) << "the progress window never showed";
  EXPECT_EQ(seen.done, "3 of 4 sites done");
  EXPECT_EQ(seen.waiting, std::vector<std::string>{"Stalled"});
  EXPECT_EQ(seen.tally, "Pass: 2    Fail: 1");
  EXPECT_TRUE(seen.stopEnabled);
  EXPECT_TRUE(seen.modal);
  EXPECT_FALSE(seen.mainWindowClosed);
  // The window has closed itself.
  EXPECT_EQ(window->Progress(), nullptr);

  // The report lists the sites that finished, in list order.
  const std::string report = folder.Read("Report.htm");
  const std::string rows = Row("Quick", "Pass") + Row("Broken", "Fail") + Row("Later", "Pass");
  EXPECT_NE(report.find("</tr>" + rows + "</table>"), std::string::npos) << report;
  EXPECT_EQ(opened.size(), 1u);
  EXPECT_EQ(window->Logic().CurrentSite.Title, "Later");
}

TEST_F(ProgressWindowTest, ASlowPadFileKeepsTheWindowsRepaintingAndARunThatEndsClosesTheWindow) {
  TestHttpServer server;
  Reply pad = Reply::Text("<XML_DIZ_INFO><Program_Category_Class>Games</Program_Category_Class>");
  pad.delay = 1s;
  server.Set("/pad.xml", pad);
  Reply thanks = Reply::Text("Thank you");
  thanks.delay = 300ms;
  server.Set("/thanks", thanks);
  folder.Write("pad.dat", Site("Second", server.Url("/thanks?n=2")) +
                              Site("First", server.Url("/thanks?n=1")));
  window = new MainWindow(folder.Path(), Browser());
  window->Show();
  window->PadUrlBox()->ChangeValue(server.Url("/pad.xml"));

  // Events are handled while the PAD file is awaited: the timer ticks, and
  // a modal progress window keeps the main window from taking input.
  int ticksWhileWaiting = 0;
  bool progressShown = false;
  wxTimer watcher;
  watcher.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    ProgressWindow* progress = window->Progress();
    if (progress == nullptr) return;
    if (server.Requests().size() == 1) {
      if (progress->IsModal()) ++ticksWhileWaiting;
    } else {
      progressShown = true;
    }
  });
  watcher.Start(20);

  wxCommandEvent submit(wxEVT_BUTTON, kIdSubmit);
  submit.SetEventObject(window->FindWindow(kIdSubmit));
  // The PAD file lacks what sites require; it is submitted all the same.
  wxTEST_DIALOG(window->ProcessWindowEvent(submit), wxExpectModal<wxMessageDialog>(wxID_YES));
  watcher.Stop();

  EXPECT_GT(ticksWhileWaiting, 0);
  EXPECT_TRUE(window->IsEnabled());
  // The progress window showed while the sites were awaited, and closed
  // itself once they had answered.
  EXPECT_TRUE(progressShown);
  EXPECT_EQ(window->Progress(), nullptr);
  const std::string rows = Row("First", "Pass") + Row("Second", "Pass");
  EXPECT_NE(folder.Read("Report.htm").find("</tr>" + rows + "</table>"), std::string::npos);
  EXPECT_EQ(opened.size(), 1u);
}

TEST_F(ProgressWindowTest, TheResultsShowWhyASiteFailedAndRetryFailedAsksItAgain) {
  TestHttpServer server;
  server.Set("/pad.xml", Reply::Text("<XML_DIZ_INFO><Program_Category_Class>Games"
                                     "</Program_Category_Class></XML_DIZ_INFO>"));
  server.Set("/flaky", Reply::Text("Busy, come back later", 503));
  server.Set("/thanks", Reply::Text("Thank you"));
  // The list: Flaky, Fine.
  folder.Write("pad.dat",
               Site("Fine", server.Url("/thanks")) + Site("Flaky", server.Url("/flaky")));
  window = new MainWindow(folder.Path(), Browser());
  window->Show();
  window->PadUrlBox()->ChangeValue(server.Url("/pad.xml"));

  struct Shown {
    std::string caption, summary, flakyStatus, flakyReason, fineStatus, fineTime;
    bool retryEnabled = false;
    std::size_t reportsOpened = 0;
    std::string report;
  };
  std::vector<Shown> shown;
  auto look = [&](ProgressWindow& results) {
    shown.push_back({results.GetTitle().ToStdString(),
                     results.SummaryText()->GetLabel().ToStdString(),
                     results.CellText(0, 0).ToStdString(), results.CellText(0, 2).ToStdString(),
                     results.CellText(1, 0).ToStdString(), results.CellText(1, 4).ToStdString(),
                     results.RetryButton()->IsEnabled(), opened.size(), folder.Read("Report.htm")});
  };
  bool resultsShown = false;
  GoogleTestModalHook::onResults = [&](ProgressWindow& results) {
    resultsShown = true;
    EXPECT_EQ(results.GetParent(), window);
    EXPECT_NE(results.GetWindowStyle() & wxRESIZE_BORDER, 0);
    EXPECT_EQ(results.ResultsList()->GetName(), "Results of the sites");
    look(results);
    // The site answers now; Retry Failed asks it again.
    server.Set("/flaky", Reply::Text("Thank you"));
    results.Show();
    wxCommandEvent click(wxEVT_BUTTON, results.RetryButton()->GetId());
    click.SetEventObject(results.RetryButton());
    results.ProcessWindowEvent(click);
    look(results);
    results.Hide();
    return wxID_CLOSE;
  };
  wxCommandEvent submit(wxEVT_BUTTON, kIdSubmit);
  submit.SetEventObject(window->FindWindow(kIdSubmit));
  // The PAD file lacks what sites require; it is submitted all the same.
  wxTEST_DIALOG(window->ProcessWindowEvent(submit), wxExpectModal<wxMessageDialog>(wxID_YES));
  GoogleTestModalHook::onResults = nullptr;

  ASSERT_TRUE(resultsShown);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].caption, "Submission Results");
  EXPECT_EQ(shown[0].summary, "1 passed, 1 failed");
  EXPECT_EQ(shown[0].flakyStatus, "Fail");
  EXPECT_EQ(shown[0].flakyReason, "HTTP 503");
  EXPECT_EQ(shown[0].fineStatus, "Pass");
  EXPECT_NE(shown[0].fineTime.find(" s"), std::string::npos);
  EXPECT_TRUE(shown[0].retryEnabled);
  // The report was written and opened when the run ended.
  EXPECT_EQ(shown[0].reportsOpened, 1u);
  EXPECT_NE(shown[0].report.find("</tr>" + Row("Flaky", "Fail") + Row("Fine", "Pass")),
            std::string::npos);

  // After the retry the row changed, nothing is left to retry, and the
  // report was written and opened again.
  EXPECT_EQ(shown[1].summary, "2 passed, 0 failed");
  EXPECT_EQ(shown[1].flakyStatus, "Pass");
  EXPECT_EQ(shown[1].flakyReason, "HTTP 200");
  EXPECT_FALSE(shown[1].retryEnabled);
  EXPECT_EQ(shown[1].reportsOpened, 2u);
  EXPECT_NE(shown[1].report.find("</tr>" + Row("Flaky", "Pass") + Row("Fine", "Pass")),
            std::string::npos);
  std::size_t flakyAsked = 0;
  for (const auto& request : server.Requests()) flakyAsked += request.path == "/flaky" ? 1 : 0;
  EXPECT_EQ(flakyAsked, 2u);
  EXPECT_EQ(window->Progress(), nullptr);
}

}  // namespace
}  // namespace tesselwick::ui

namespace tesselwick::ui {
namespace {

TEST_F(ProgressWindowTest, StopGivesUpOnASlowPadFile) {
  TestHttpServer server;
  server.Set("/pad.xml", Reply::Stall(30s));
  server.Set("/site", Reply::Text("Thank you"));
  folder.Write("pad.dat", Site("Only", server.Url("/site")));
  window = new MainWindow(folder.Path(), Browser());
  window->Show();
  window->PadUrlBox()->ChangeValue(server.Url("/pad.xml"));

  // Stop is pressed as soon as the window that waits for the PAD file shows.
  std::string shown;
  wxTimer watcher;
  watcher.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    ProgressWindow* progress = window->Progress();
    if (progress == nullptr || !progress->StopButton()->IsEnabled()) return;
    shown = progress->DoneText()->GetLabel().ToStdString();
    wxCommandEvent stop(wxEVT_BUTTON, wxID_CANCEL);
    stop.SetEventObject(progress->StopButton());
    progress->ProcessWindowEvent(stop);
  });
  watcher.Start(50);

  wxCommandEvent submit(wxEVT_BUTTON, kIdSubmit);
  submit.SetEventObject(window->FindWindow(kIdSubmit));
  // No error box: the user gave up on the PAD file, nothing failed.
  window->ProcessWindowEvent(submit);
  watcher.Stop();

  EXPECT_EQ(shown, "Fetching your PAD file...");
  // No site was asked, and the report, still written, has no rows.
  for (const auto& request : server.Requests()) EXPECT_NE(request.path, "/site");
  EXPECT_EQ(folder.Read("Report.htm").find("<td>Pass</td>"), std::string::npos);
  EXPECT_EQ(opened.size(), 1u);
}

}  // namespace
}  // namespace tesselwick::ui

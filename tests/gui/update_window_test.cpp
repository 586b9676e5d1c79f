#include "ui/update_window.h"

#include <wx/button.h>
#include <wx/statbox.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include <functional>
#include <string>

#include "gui/gui_testing.h"
#include "support/temp_folder.h"
#include "support/test_http_server.h"
#include "ui/ids.h"
#include "ui/main_window.h"

namespace tesselwick::ui {
namespace {

using namespace std::chrono_literals;

// Answers the update dialog when the main window runs it: `drive` works the
// dialog and returns how it was closed.
class DriveUpdateWindow : public wxExpectModalBase<UpdateWindow, DriveUpdateWindow> {
 public:
  explicit DriveUpdateWindow(std::function<int(UpdateWindow&)> drive) : drive_(std::move(drive)) {}

 protected:
  int OnInvoked(UpdateWindow* dialog) const override { return drive_(*dialog); }

 private:
  std::function<int(UpdateWindow&)> drive_;
};

void Click(wxWindow* window, int id) {
  wxCommandEvent click(wxEVT_BUTTON, id);
  click.SetEventObject(window->FindWindow(id));
  window->ProcessWindowEvent(click);
}

wxString BoxText(wxWindow* window, int id) {
  auto* box = wxDynamicCast(window->FindWindow(id), wxTextCtrl);
  return box ? box->GetValue() : wxString("<no box>");
}

wxButton* Button(wxWindow* window, int id) {
  return wxDynamicCast(window->FindWindow(id), wxButton);
}

// A local update server and a working folder whose pad.dat is at version 5.
class UpdateWindowTest : public ::testing::Test {
 protected:
  UpdateWindowTest() {
    folder.Write("pad.dat", "SCRIPTVERSION=5\r\nTITLE=Old\r\n");
    server.Set("/cgi-bin/versioncheck.pl",
               test::Reply::Text("VERSION=1.01\r\nSCRIPTVERSION=6\r\n"));
    server.Set(
        "/cgi-bin/versionupdate.pl",
        test::Reply::Text(
            "SCRIPTVERSION=6\r\nTITLE=New A\r\nGETORPOST=a\r\nTITLE=New B\r\nGETORPOST=b\r\n"));
  }
  ~UpdateWindowTest() override {
    if (window) window->Destroy();
  }

  test::TestHttpServer server;
  test::TempFolder folder;
  wxWindow* window = nullptr;
};

TEST_F(UpdateWindowTest, OpensWithTheInstalledVersionsReturnFocusedAndUpdateDisabled) {
  auto* dialog = new UpdateWindow(nullptr, folder.Path(), "1.01", "5", server.Url());
  window = dialog;
  dialog->Show();
  wxYield();
  EXPECT_EQ(dialog->GetTitle(), "Update TesselWick");

  wxButton* back = Button(dialog, wxID_OK);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->GetLabel(), "Return");
  EXPECT_EQ(dialog->GetDefaultItem(), back);
  EXPECT_EQ(wxWindow::FindFocus(), back);
  ASSERT_NE(Button(dialog, kIdCheckVersion), nullptr);
  EXPECT_EQ(Button(dialog, kIdCheckVersion)->GetLabel(), "Check Version");
  EXPECT_TRUE(Button(dialog, kIdCheckVersion)->IsEnabled());
  ASSERT_NE(Button(dialog, kIdUpdate), nullptr);
  EXPECT_EQ(Button(dialog, kIdUpdate)->GetLabel(), "Update");
  EXPECT_FALSE(Button(dialog, kIdUpdate)->IsEnabled());

  EXPECT_EQ(BoxText(dialog, kIdProgramVersion), "1.01");
  EXPECT_EQ(BoxText(dialog, kIdSitesVersion), "5");
  EXPECT_EQ(BoxText(dialog, kIdServerProgramVersion), "");
  EXPECT_EQ(BoxText(dialog, kIdServerSitesVersion), "");
  for (int id :
       {kIdProgramVersion, kIdServerProgramVersion, kIdSitesVersion, kIdServerSitesVersion}) {
    auto* box = wxDynamicCast(dialog->FindWindow(id), wxTextCtrl);
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(box->IsEditable());
  }

  // Nothing lies on top of anything else: the frame holds the version boxes,
  // every other control stands apart and inside the dialog.
  const wxRect client = dialog->GetClientRect();
  for (wxWindow* a : dialog->GetChildren()) {
    EXPECT_TRUE(client.Contains(a->GetRect())) << a->GetLabel();
    if (a->IsKindOf(wxCLASSINFO(wxStaticBox)) || !a->IsShown()) continue;
    for (wxWindow* b : dialog->GetChildren()) {
      if (a == b || b->IsKindOf(wxCLASSINFO(wxStaticBox)) || !b->IsShown()) continue;
      EXPECT_FALSE(a->GetRect().Intersects(b->GetRect()))
          << a->GetLabel() << " overlaps " << b->GetLabel();
    }
  }
}

TEST_F(UpdateWindowTest, CheckShowsTheAnswerAndUpdateDownloadsTheNewList) {
  auto* dialog = new UpdateWindow(nullptr, folder.Path(), "1.01", "5", server.Url());
  window = dialog;
  server.Set("/cgi-bin/versioncheck.pl", test::Reply::Text("VERSION=1.02\r\nSCRIPTVERSION=6\r\n"));
  // The message boxes show the logic's CR LF as plain line breaks.
  wxTEST_DIALOG(Click(dialog, kIdCheckVersion),
                ExpectMessage("VERSION=1.02\nSCRIPTVERSION=6\n", "linkpage"),
                ExpectMessage("A new version of the program is available.\nPlease close the "
                              "program and visit our website to download a new version.",
                              "New Program Version Available"));
  EXPECT_EQ(BoxText(dialog, kIdServerProgramVersion), "1.02");
  EXPECT_EQ(BoxText(dialog, kIdServerSitesVersion), "6");
  EXPECT_TRUE(Button(dialog, kIdUpdate)->IsEnabled());

  // The server's error page is not a site list; the user may try again.
  server.Set("/cgi-bin/versionupdate.pl",
             test::Reply::Text("<html><body>Internal Server Error</body></html>", 500));
  wxTEST_DIALOG(Click(dialog, kIdUpdate),
                ExpectMessage("Script not downloaded, please try again.\nEnsure you are "
                              "connected to the internet.",
                              "Error"));
  EXPECT_EQ(folder.Read("pad.dat"), "SCRIPTVERSION=5\r\nTITLE=Old\r\n");
  EXPECT_EQ(BoxText(dialog, kIdSitesVersion), "5");
  EXPECT_TRUE(Button(dialog, kIdUpdate)->IsEnabled());

  server.Set(
      "/cgi-bin/versionupdate.pl",
      test::Reply::Text(
          "SCRIPTVERSION=6\r\nTITLE=New A\r\nGETORPOST=a\r\nTITLE=New B\r\nGETORPOST=b\r\n"));
  wxTEST_DIALOG(Click(dialog, kIdUpdate),
                ExpectMessage("Site update complete", "TesselWick Update:"));
  EXPECT_EQ(folder.Read("pad.dat"),
            "SCRIPTVERSION=6\r\nTITLE=New A\r\nGETORPOST=a\r\nTITLE=New B\r\nGETORPOST=b\r\n\r\n");
  EXPECT_EQ(BoxText(dialog, kIdSitesVersion), "6");
  EXPECT_FALSE(Button(dialog, kIdUpdate)->IsEnabled());
}

void PressEscape(wxWindow* window) {
  wxKeyEvent escape(wxEVT_CHAR_HOOK);
  escape.m_keyCode = WXK_ESCAPE;
  escape.SetEventObject(window);
  window->ProcessWindowEvent(escape);
}

// A server that trickles its answer never meets the stall rule: the dialog
// waits for it alive, says what it waits for, and Stop or Esc give the
// request up at once, without an error box, leaving the dialog usable.
TEST_F(UpdateWindowTest, ASlowServerIsWaitedForAliveAndStopOrEscGiveItUp) {
  server.Set("/cgi-bin/versioncheck.pl",
             test::Reply::Trickle("VERSION=1.01\r\nSCRIPTVERSION=6\r\n", 500ms));
  auto* dialog = new UpdateWindow(nullptr, folder.Path(), "1.01", "5", server.Url());
  window = dialog;
  dialog->Show();
  wxYield();

  for (const bool byEscape : {false, true}) {
    SCOPED_TRACE(byEscape ? "Esc" : "Stop");
    struct {
      int ticks = 0;
      wxString status;
      bool stopShown = false, returnShown = true, checkEnabled = true, stopFocused = false;
    } seen;
    wxTimer watcher;
    watcher.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
      if (!dialog->Waiting()) return;
      // A few ticks of the window's own loop while the answer trickles in.
      if (++seen.ticks < 4) return;
      seen.status = dialog->WaitingText()->GetLabel();
      seen.stopShown = dialog->StopButton()->IsShown();
      seen.returnShown = Button(dialog, wxID_OK)->IsShown();
      seen.checkEnabled = Button(dialog, kIdCheckVersion)->IsEnabled();
      seen.stopFocused = wxWindow::FindFocus() == dialog->StopButton();
      if (byEscape) {
        PressEscape(dialog);
      } else {
        Click(dialog, dialog->StopButton()->GetId());
      }
    });
    watcher.Start(50);
    {
      // No box at all: the user gave the request up, nothing failed.
      GoogleTestModalHook noBoxes(__FILE__, __LINE__, __func__);
      Click(dialog, kIdCheckVersion);
    }
    watcher.Stop();

    EXPECT_GE(seen.ticks, 4);
    EXPECT_EQ(seen.status, "Asking the update server for its versions...");
    EXPECT_TRUE(seen.stopShown);
    EXPECT_FALSE(seen.returnShown);
    EXPECT_FALSE(seen.checkEnabled);
    EXPECT_TRUE(seen.stopFocused);
    EXPECT_FALSE(dialog->Waiting());
    EXPECT_TRUE(dialog->IsShown());
    EXPECT_TRUE(Button(dialog, wxID_OK)->IsShown());
    EXPECT_FALSE(dialog->StopButton()->IsShown());
    EXPECT_TRUE(Button(dialog, kIdCheckVersion)->IsEnabled());
    EXPECT_EQ(BoxText(dialog, kIdServerSitesVersion), "");
  }

  // Usable afterwards: a prompt server is asked as usual.
  server.Set("/cgi-bin/versioncheck.pl", test::Reply::Text("VERSION=1.01\r\nSCRIPTVERSION=6\r\n"));
  wxTEST_DIALOG(Click(dialog, kIdCheckVersion),
                ExpectMessage("VERSION=1.01\nSCRIPTVERSION=6\n", "linkpage"));
  EXPECT_EQ(BoxText(dialog, kIdServerSitesVersion), "6");
}

// After an update has disabled its own button, the focus moves on, so Esc
// still reaches the dialog and closes it.
TEST_F(UpdateWindowTest, EscClosesTheDialogAfterAnUpdate) {
  auto* dialog = new UpdateWindow(nullptr, folder.Path(), "1.01", "5", server.Url());
  window = dialog;
  dialog->Show();
  wxTEST_DIALOG(Click(dialog, kIdCheckVersion),
                ExpectMessage("VERSION=1.01\nSCRIPTVERSION=6\n", "linkpage"));
  Button(dialog, kIdUpdate)->SetFocus();
  wxTEST_DIALOG(Click(dialog, kIdUpdate),
                ExpectMessage("Site update complete", "TesselWick Update:"));
  wxWindow* focus = wxWindow::FindFocus();
  ASSERT_NE(focus, nullptr);
  EXPECT_TRUE(focus->IsEnabled());
  PressEscape(dialog);
  EXPECT_FALSE(dialog->IsShown());
}

TEST_F(UpdateWindowTest, TheMainListShowsTheDownloadedSitesAfterReturn) {
  auto* main = new MainWindow(folder.Path());
  window = main;
  main->Show();
  ASSERT_EQ(main->SiteList()->GetItemCount(), 1);

  wxTEST_DIALOG(Click(main, kIdUpdate), DriveUpdateWindow([&](UpdateWindow& update) {
                  EXPECT_EQ(update.GetParent(), main);
                  EXPECT_EQ(BoxText(&update, kIdProgramVersion), "1.01");
                  EXPECT_EQ(BoxText(&update, kIdSitesVersion), "5");
                  update.Logic().siteUrl = server.Url();
                  Click(&update, kIdCheckVersion);
                  Click(&update, kIdUpdate);
                  // The list is not reloaded before the dialog closes.
                  EXPECT_EQ(main->SiteList()->GetItemCount(), 1);
                  return wxID_OK;
                }),
                ExpectMessage("VERSION=1.01\nSCRIPTVERSION=6\n", "linkpage"),
                ExpectMessage("Site update complete", "TesselWick Update:"));

  EXPECT_EQ(main->SiteList()->GetItemCount(), 2);
  EXPECT_EQ(main->SiteList()->GetItemText(0, 0), "New B");
  EXPECT_EQ(main->SiteList()->GetItemText(1, 0), "New A");
  EXPECT_EQ(main->SiteCountBox()->GetValue(), "2");
  EXPECT_EQ(main->Logic().SitesVersion, "6");
}

}  // namespace
}  // namespace tesselwick::ui

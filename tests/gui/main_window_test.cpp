#include "ui/main_window.h"

#include <wx/button.h>
#include <wx/dcclient.h>
#include <wx/uiaction.h>

#include "gui/gui_testing.h"
#include "gui/main_window_fixture.h"
#include "support/temp_folder.h"
#include "ui/about_dialog.h"
#include "ui/adapters.h"
#include "ui/ids.h"
#include "ui/text_convert.h"
#include "ui/update_window.h"

template <>
class wxExpectModal<tesselwick::ui::AboutDialog>
    : public wxExpectModalBase<tesselwick::ui::AboutDialog> {
 public:
  explicit wxExpectModal(int id) : id_(id) {}

 protected:
  int OnInvoked(tesselwick::ui::AboutDialog*) const override { return id_; }

 private:
  int id_;
};

namespace tesselwick::ui {
namespace {

using MainWindowTest = MainWindowFixture;

TEST_F(MainWindowTest, ShowsTheSitesWithTheLastOnTopAndTheCount) {
  folder.Write("pad.dat", "TITLE=First\nURL=u1\nTITLE=Second\nTITLE=Third\nGETORPOST=g3\n");
  MainWindow& w = Open();
  EXPECT_EQ(w.GetTitle(), "TesselWick");
  EXPECT_EQ(w.SiteList()->GetItemCount(), 3);
  EXPECT_EQ(w.SiteList()->GetItemText(0, 0), "Third");
  EXPECT_EQ(w.SiteList()->GetItemText(0, 1), "u1");
  EXPECT_EQ(w.SiteList()->GetItemText(0, 3), "g3");
  EXPECT_EQ(w.SiteList()->GetItemText(2, 0), "First");
  EXPECT_EQ(w.SiteCountBox()->GetValue(), "3");
  EXPECT_EQ(w.SiteList()->GetColumnCount(), 4);
}

TEST_F(MainWindowTest, StartsWithSubmitFocusedAndQuitAsDefault) {
  MainWindow& w = Open();
  wxYield();
  auto* submit = w.FindWindow(kIdSubmit);
  ASSERT_NE(submit, nullptr);
  EXPECT_EQ(wxWindow::FindFocus(), submit);
  auto* quit = wxDynamicCast(w.FindWindow(wxID_OK), wxButton);
  ASSERT_NE(quit, nullptr);
  EXPECT_EQ(quit->GetLabel(), "Quit");
  EXPECT_EQ(w.GetDefaultItem(), quit);
  EXPECT_FALSE(std::filesystem::exists(folder / "missing"));
  EXPECT_TRUE(std::filesystem::exists(folder / "pad.dat"));
}

TEST_F(MainWindowTest, ColumnsFitTheirHeadingOrTheirWidestCellUpToHalfTheList) {
  folder.Write("pad.dat", "TITLE=A\nURL=" + std::string(120, 'w') + "\n");
  MainWindow& w = Open();
  wxYield();
  SiteListView& list = *w.SiteList();
  wxClientDC dc(list.Table());
  dc.SetFont(list.Table()->GetFont());
  EXPECT_GE(list.GetColumnWidth(0), dc.GetTextExtent("Title").x);
  EXPECT_LT(list.GetColumnWidth(0), dc.GetTextExtent("Title").x + 60);
  // The long URL takes half the list and shows whole in its tooltip; the
  // short title needs none.
  const int half = list.Table()->GetSize().x / 2;
  EXPECT_EQ(list.GetColumnWidth(1), half);
  const wxRect urlCell = list.CellRect(0, 1);
  EXPECT_EQ(list.ToolTipAt(urlCell.GetPosition() + wxPoint(4, 4)), wxString(120, 'w'));
  const wxRect titleCell = list.CellRect(0, 0);
  EXPECT_EQ(list.ToolTipAt(titleCell.GetPosition() + wxPoint(4, 4)), "");
  // A wider window gives the list, and so the column, more room.
  w.SetClientSize(w.GetClientSize() + wxSize(200, 0));
  for (int i = 0; i < 5; ++i) {
    wxMilliSleep(20);
    wxYield();
  }
  EXPECT_GT(list.GetColumnWidth(1), half);
  EXPECT_EQ(list.GetColumnWidth(1), list.Table()->GetSize().x / 2);
}

TEST_F(MainWindowTest, AnEmptyListSaysHowToGetSites) {
  MainWindow& w = Open();
  EXPECT_TRUE(w.SiteList()->EmptyBox()->IsShown());
  EXPECT_FALSE(w.SiteList()->Table()->IsShown());
  EXPECT_EQ(w.SiteList()->EmptyText()->GetLabel(),
            "No sites yet: press Update to download the site list");
  folder.Write("pad.dat", "TITLE=B\n");
  wxTEST_DIALOG(Click(kIdUpdate), wxExpectDismissableModal<UpdateWindow>(wxID_OK));
  EXPECT_FALSE(w.SiteList()->EmptyBox()->IsShown());
  EXPECT_TRUE(w.SiteList()->Table()->IsShown());
}

TEST_F(MainWindowTest, GrowsFromTheTemplateSizeWithTheButtonsAtTheRightAndRemembersItsSize) {
  const std::filesystem::path sizeFile = folder / "config" / "tesselwick" / "window.ini";
  auto* first = new MainWindow(folder.Path(), Browser(), sizeFile);
  first->Show();
  const wxSize start = first->GetClientSize();
  EXPECT_EQ(start, first->ConvertDialogToPixels(wxSize(320, 121)));
  EXPECT_EQ(first->GetMinClientSize(), start);
  wxWindow* quit = first->FindWindow(wxID_OK);
  const int quitMargin = start.x - quit->GetRect().GetRight();
  const wxSize listSize = first->SiteList()->GetSize();

  first->SetClientSize(start + wxSize(150, 80));
  wxYield();
  EXPECT_EQ(first->GetClientSize().x - quit->GetRect().GetRight(), quitMargin);
  EXPECT_EQ(first->SiteList()->GetSize(), listSize + wxSize(150, 80));
  first->CallAfter([first] { first->EndModal(wxID_CANCEL); });
  first->RunModal();
  first->Destroy();
  EXPECT_EQ(folder.Read("config/tesselwick/window.ini"),
            "WIDTH=" + std::to_string(start.x + 150) +
                "\r\nHEIGHT=" + std::to_string(start.y + 80) + "\r\n");

  // The next start opens at that size; a size file that makes no sense is
  // left alone and the window opens at the template's size.
  window = new MainWindow(folder.Path(), Browser(), sizeFile);
  EXPECT_EQ(window->GetClientSize(), start + wxSize(150, 80));
  window->Destroy();
  folder.Write("config/tesselwick/window.ini", "WIDTH=-5\nHEIGHT=x\n");
  window = new MainWindow(folder.Path(), Browser(), sizeFile);
  EXPECT_EQ(window->GetClientSize(), start);
  window->Destroy();
  // Nor is a file far larger than the program writes read at all.
  folder.Write("config/tesselwick/window.ini",
               "WIDTH=900\r\nHEIGHT=400\r\n" + std::string(8192, '\n'));
  window = new MainWindow(folder.Path(), Browser(), sizeFile);
  EXPECT_EQ(window->GetClientSize(), start);
}

TEST_F(MainWindowTest, F1IsHelpAndCtrlQIsQuit) {
  MainWindow& w = Open();
  w.Hide();
  auto press = [&w](int key, int modifiers) {
    wxKeyEvent event(wxEVT_CHAR_HOOK);
    event.m_keyCode = key;
    event.m_controlDown = (modifiers & wxMOD_CONTROL) != 0;
    w.ProcessWindowEvent(event);
  };
  press(WXK_F1, wxMOD_NONE);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], std::string(TESSELWICK_SITE_URL) + "/manual.htm");
  w.CallAfter([&] {
    w.PadUrlBox()->ChangeValue("http://typed.example/pad.xml");
    press('Q', wxMOD_CONTROL);
  });
  EXPECT_EQ(w.RunModal(), wxID_OK);
  EXPECT_EQ(w.Logic().PadUrl, "http://typed.example/pad.xml");
}

TEST_F(MainWindowTest, HelpOpensTheManual) {
  Open();
  Click(kIdHelp);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], std::string(TESSELWICK_SITE_URL) + "/manual.htm");
}

TEST_F(MainWindowTest, QuitTakesTheTypedUrlAndEscapeDoesNot) {
  MainWindow& w = Open();
  w.Hide();
  w.CallAfter([&] {
    w.PadUrlBox()->ChangeValue("http://typed.example/pad.xml");
    Click(wxID_OK);
  });
  EXPECT_EQ(w.RunModal(), wxID_OK);
  EXPECT_EQ(w.Logic().PadUrl, "http://typed.example/pad.xml");

  w.CallAfter([&] {
    w.PadUrlBox()->ChangeValue("http://other.example/pad.xml");
    wxKeyEvent escape(wxEVT_CHAR_HOOK);
    escape.m_keyCode = WXK_ESCAPE;
    w.ProcessWindowEvent(escape);
  });
  EXPECT_EQ(w.RunModal(), wxID_CANCEL);
  EXPECT_EQ(w.Logic().PadUrl, "http://typed.example/pad.xml");

  // The close box does not take the text either.
  w.CallAfter([&] {
    w.PadUrlBox()->ChangeValue("http://third.example/pad.xml");
    w.Close();
  });
  EXPECT_EQ(w.RunModal(), wxID_CANCEL);
  EXPECT_EQ(w.Logic().PadUrl, "http://typed.example/pad.xml");
  // Every way of closing saved the history with the last URL taken.
  EXPECT_NE(folder.Read("tesselwick.ini").find("\r\nURL=http://typed.example/pad.xml\r\n"),
            std::string::npos);
}

TEST_F(MainWindowTest, UpdateEmptiesAndReloadsTheList) {
  folder.Write("pad.dat", "TITLE=A\n");
  MainWindow& w = Open();
  folder.Write("pad.dat", "TITLE=B\nTITLE=C\n");
  // The update dialog is closed with Return at once.
  wxTEST_DIALOG(Click(kIdUpdate), wxExpectDismissableModal<UpdateWindow>(wxID_OK));
  EXPECT_EQ(w.SiteList()->GetItemCount(), 2);
  EXPECT_EQ(w.SiteList()->GetItemText(0, 0), "C");
  EXPECT_EQ(w.SiteCountBox()->GetValue(), "2");
}

TEST_F(MainWindowTest, AboutBoxShowsTheVersion) {
  Open();
  AboutDialog about(window);
  EXPECT_EQ(about.GetTitle(), "About TesselWick");
  bool found = false;
  for (wxWindow* child : about.GetChildren())
    if (child->GetLabel() == "TesselWick Version 1.0") found = true;
  EXPECT_TRUE(found);
  wxTEST_DIALOG(about.ShowModal(), wxExpectModal<AboutDialog>(wxID_OK));
}

TEST_F(MainWindowTest, TextsThatAreNotUtf8AreShownAsWindows1252) {
  folder.Write("pad.dat", "TITLE=Caf\xe9 Downloads\n");
  MainWindow& w = Open();
  EXPECT_EQ(w.SiteList()->GetItemText(0, 0), wxString::FromUTF8("Caf\xc3\xa9 Downloads"));
}

}  // namespace
}  // namespace tesselwick::ui

namespace tesselwick::ui {
namespace {

TEST_F(MainWindowTest, AHugeValueIsShownShortenedAndKeptWhole) {
  const std::string huge(10 * 1024 * 1024, 'x');
  folder.Write("pad.dat", "TITLE=Big\nURL=" + huge + "\nTITLE=\x01\x02\xff\n");
  MainWindow& w = Open();
  ASSERT_EQ(w.SiteList()->GetItemCount(), 2);
  const wxString shown = w.SiteList()->GetItemText(1, 1);
  EXPECT_LT(shown.length(), 2000u);
  EXPECT_TRUE(shown.StartsWith("xxxx"));
  EXPECT_EQ(w.Logic().Sites().Row(1).Url, huge);
}

}  // namespace
}  // namespace tesselwick::ui

namespace tesselwick::ui {
namespace {

// Answers a message box after noting the length of the text it shows.
class MeasureMessage : public wxExpectModal<wxMessageDialog> {
 public:
  explicit MeasureMessage(std::size_t* shown)
      : wxExpectModal<wxMessageDialog>(wxID_OK), shown_(shown) {}

 protected:
  int OnInvoked(wxMessageDialog* dlg) const override {
    *shown_ = dlg->GetMessage().length();
    return wxExpectModal<wxMessageDialog>::OnInvoked(dlg);
  }

 private:
  std::size_t* shown_;
};

TEST_F(MainWindowTest, AMessageOfMegabytesShowsItsBeginningOnly) {
  MainWindow& w = Open();
  WindowMessages messages(&w);
  std::size_t shown = 0;
  wxTEST_DIALOG(messages.ShowMessage(std::string(4 * 1024 * 1024, 'y'), "linkpage"),
                MeasureMessage(&shown));
  EXPECT_GT(shown, 1000u);
  EXPECT_LT(shown, 5000u);
}

}  // namespace
}  // namespace tesselwick::ui

namespace tesselwick::ui {
namespace {

TEST_F(MainWindowTest, BytesThatAreNotUtf8SurviveTheUrlBoxAndAlwaysShow) {
  const std::string url = "http://x.example/caf\xe9\x81.xml";
  folder.Write("tesselwick.ini", "URL=" + url + "\r\nURL1=" + url + "\r\n");
  MainWindow& w = Open();
  EXPECT_FALSE(w.PadUrlBox()->GetValue().empty());
  w.Logic().Pull();
  EXPECT_EQ(w.Logic().PadUrl, url);
  w.Logic().RememberPadUrl();
  EXPECT_EQ(w.Logic().History().Entries(), std::vector<std::string>{url});
  EXPECT_EQ(w.PadUrlBox()->GetCount(), 1u);
  // Every byte shows as something, also those that Windows-1252 leaves undefined.
  EXPECT_EQ(ToWx("a\x81\x8d\x8f\x90\x9d").length(), 6u);
}

TEST_F(MainWindowTest, TheUrlBoxKeepsItsOwnContextMenu) {
  MainWindow& w = Open();
  wxContextMenuEvent menu(wxEVT_CONTEXT_MENU, w.PadUrlBox()->GetId());
  menu.SetEventObject(w.PadUrlBox());
  EXPECT_FALSE(w.ProcessWindowEvent(menu));
}

}  // namespace
}  // namespace tesselwick::ui

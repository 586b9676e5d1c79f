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

TEST_F(MainWindowTest, ColumnsFitTheirHeadingOrTheirWidestCell) {
  folder.Write("pad.dat", "TITLE=A\nURL=" + std::string(120, 'w') + "\n");
  MainWindow& w = Open();
  wxClientDC dc(w.SiteList());
  dc.SetFont(w.SiteList()->GetFont());
  EXPECT_GE(w.SiteList()->GetColumnWidth(0), dc.GetTextExtent("Title").x);
  EXPECT_LT(w.SiteList()->GetColumnWidth(0), dc.GetTextExtent("Title").x + 60);
  EXPECT_GE(w.SiteList()->GetColumnWidth(1), dc.GetTextExtent(wxString(120, 'w')).x);
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

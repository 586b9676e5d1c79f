#include <string>
#include <vector>

#include "gui/gui_testing.h"
#include "gui/main_window_fixture.h"
#include "support/refusing_port.h"
#include "support/temp_folder.h"
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
  window = new MainWindow(folder.Path());
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

}  // namespace
}  // namespace tesselwick::ui

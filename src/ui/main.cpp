#include <chrono>

#ifdef __WXGTK__
#include <glib.h>
#endif

#include "core/net/background_fetch.h"
#include "ui/app.h"

wxIMPLEMENT_APP_NO_MAIN(tesselwick::ui::SubmissionApp);

int main(int argc, char** argv) {
  // --help and --version are answered before the toolkit looks for a display.
  if (const auto code = tesselwick::ui::AnswerWithoutDisplay(argc, argv)) return *code;
#ifdef __WXGTK__
  // The program's name for the desktop is its desktop entry's ID, so that
  // docks and Wayland compositors match its windows with the entry.
  g_set_prgname(TESSELWICK_APP_ID);
#endif
  const int code = wxEntry(argc, argv);
  // A request the user gave up a moment ago may still be winding down.
  tesselwick::BackgroundFetch::WaitForUnfinished(std::chrono::seconds(2));
  return code;
}

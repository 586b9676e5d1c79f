#include <chrono>
#include <cstdio>

#ifdef _WIN32
#include <wx/msw/wrapwin.h>
#endif

#ifdef __WXGTK__
#include <glib.h>
#endif

#include "core/net/background_fetch.h"
#include "ui/app.h"

wxIMPLEMENT_APP_NO_MAIN(tesselwick::ui::SubmissionApp);

int main(int argc, char** argv) {
#ifdef _WIN32
  // A windowed program has no console of its own: --help and --version
  // answer in the one it was started from, when there is one.
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if ((out == nullptr || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
  }
#endif
  // --help and --version are answered before the toolkit looks for a display.
  if (const auto code = tesselwick::ui::AnswerWithoutDisplay(argc, argv)) return *code;
  // A SIGTERM from here on closes the window down as Quit does.
  tesselwick::ui::CatchStopSignals();
#ifdef __WXGTK__
  // The program's name for the desktop is its desktop entry's ID, so that
  // docks and Wayland compositors match its windows with the entry.
  g_set_prgname(TESSELWICK_APP_ID);
#endif
#ifdef _WIN32
  // From the wide command line, so that a folder of any name arrives whole.
  const int code = wxEntry(GetModuleHandleW(nullptr), nullptr, nullptr, SW_SHOWNORMAL);
#else
  const int code = wxEntry(argc, argv);
#endif
  // A request the user gave up a moment ago may still be winding down: it is
  // joined, or, should it not end in time, the program ends without the exit
  // handlers that it may still be using.
  if (!tesselwick::BackgroundFetch::WaitForUnfinished(std::chrono::seconds(2)))
    tesselwick::BackgroundFetch::EndWithoutCleanup(code);
  return code;
}

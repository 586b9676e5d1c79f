#include <chrono>

#include "core/net/background_fetch.h"
#include "ui/app.h"

wxIMPLEMENT_APP_NO_MAIN(tesselwick::ui::SubmissionApp);

int main(int argc, char** argv) {
  // --help and --version are answered before the toolkit looks for a display.
  if (const auto code = tesselwick::ui::AnswerWithoutDisplay(argc, argv)) return *code;
  const int code = wxEntry(argc, argv);
  // A request the user gave up a moment ago may still be winding down.
  tesselwick::BackgroundFetch::WaitForUnfinished(std::chrono::seconds(2));
  return code;
}

#include "ui/app.h"

wxIMPLEMENT_APP_NO_MAIN(tesselwick::ui::SubmissionApp);

int main(int argc, char** argv) {
  // --help and --version are answered before the toolkit looks for a display.
  if (const auto code = tesselwick::ui::AnswerWithoutDisplay(argc, argv)) return *code;
  return wxEntry(argc, argv);
}

#pragma once

#include <wx/app.h>
#include <wx/string.h>

#include <filesystem>
#include <optional>

class wxCmdLineParser;

namespace tesselwick::ui {

// Starts the network layer, makes sure of the folder where the program keeps
// its files and runs the main window over it; the program ends when the
// window closes.
class SubmissionApp : public wxApp {
 public:
  bool OnInit() override;
  int OnRun() override;
  bool OnExceptionInMainLoop() override;
  void OnInitCmdLine(wxCmdLineParser& parser) override;
  bool OnCmdLineParsed(wxCmdLineParser& parser) override;
  bool OnCmdLineHelp(wxCmdLineParser& parser) override;
  bool OnCmdLineError(wxCmdLineParser& parser) override;

  // The options the program understands, with their help texts.
  static void DescribeCommandLine(wxCmdLineParser& parser);

 private:
  // Set when the command line has done the whole job (--help, --version) or
  // was wrong: the program ends with this code and opens no window.
  std::optional<int> exitCode_;
  // The folder asked for on the command line: empty for the folder the
  // program was started in.
  wxString askedFolder_;
  // Where the files live, as the main window is given it.
  std::filesystem::path folder_ = ".";
};

// Answers --help and --version on standard output before the toolkit starts,
// so that both also work without a display. Gives the exit code when it
// answered, nothing when the program should start as usual.
std::optional<int> AnswerWithoutDisplay(int argc, char** argv);

}  // namespace tesselwick::ui

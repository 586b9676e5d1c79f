#pragma once

#include <wx/app.h>
#include <wx/string.h>

#include <atomic>
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

// The number of the signal (SIGTERM or SIGHUP) that asked the program to
// end, or 0.
const std::atomic<int>& StopSignal();

// From now on SIGTERM and SIGHUP ask the program to end as Quit does: their
// handler only sets StopSignal, which the main window looks at; the program
// then ends with 128 plus the signal's number. A second one of the same
// ends the program at once; one that was ignored when the program started
// (nohup) stays ignored. Nothing on Windows, where closing the window and
// ending the session reach the program as the window's own messages.
void CatchStopSignals();

// Answers --help and --version on standard output before the toolkit starts,
// so that both also work without a display. Gives the exit code when it
// answered, nothing when the program should start as usual.
std::optional<int> AnswerWithoutDisplay(int argc, char** argv);

}  // namespace tesselwick::ui

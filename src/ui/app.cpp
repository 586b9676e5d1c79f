#include "ui/app.h"

#include <wx/cmdline.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>
#include <wx/msgout.h>
#include <wx/stdpaths.h>

#include <cstdio>
#include <exception>
#include <string_view>

#include "core/app/texts.h"
#include "core/net/http_fetch.h"
#include "core/platform/system.h"
#include "core/platform/working_folder.h"
#include "ui/main_window.h"
#include "ui/text_convert.h"

namespace tesselwick::ui {

namespace {
// The exit code of a command line that could not be understood (sysexits' EX_USAGE).
constexpr int kUsageError = 64;

wxString ExecutableName() {
  return wxFileName(wxStandardPaths::Get().GetExecutablePath()).GetName();
}
}  // namespace

bool SubmissionApp::OnInit() {
  if (!wxApp::OnInit()) return false;  // reads the command line
  if (exitCode_) return true;          // OnRun ends at once with this code
  if (!InitNetwork()) {
    wxMessageBox(texts::kSocketsFailed, ExecutableName(), wxOK | wxICON_EXCLAMATION);
    return false;
  }
  if (!askedFolder_.empty()) {
    const WorkingFolder prepared =
        PrepareWorkingFolder(platform::PathFromUtf8(FromWx(askedFolder_)));
    if (!prepared.problem.empty()) {
      wxMessageBox(ToWx(prepared.problem), ExecutableName(), wxOK | wxICON_ERROR);
      return false;
    }
    // Files in it are named as those in the folder the program was started
    // in ("<folder>/./pad.dat"), so that messages name them the same way.
    folder_ = prepared.path / ".";
  }
  return true;
}

void SubmissionApp::OnInitCmdLine(wxCmdLineParser& parser) {
  wxApp::OnInitCmdLine(parser);
  DescribeCommandLine(parser);
}

void SubmissionApp::DescribeCommandLine(wxCmdLineParser& parser) {
  parser.SetLogo(
      "TesselWick submits your PAD file to download sites. It keeps pad.dat, tesselwick.ini,\n"
      "ReportTemplate.htm and Report.htm in the folder it is started in, unless told otherwise.\n");
#ifdef _WIN32
  parser.AddSwitch("", "user-folder",
                   "keep the files in the TesselWick folder of your application data, created "
                   "when missing");
#else
  parser.AddSwitch("", "user-folder",
                   "keep the files in ~/.local/share/tesselwick (under $XDG_DATA_HOME when set), "
                   "created when missing");
#endif
  parser.AddOption("", "folder", "keep the files in the given folder, created when missing");
  parser.AddSwitch("", "version", "print the version and end");
}

bool SubmissionApp::OnCmdLineParsed(wxCmdLineParser& parser) {
  if (!wxApp::OnCmdLineParsed(parser)) return false;
  if (parser.Found("version")) {
    std::printf("TesselWick %s\n", texts::kProgramVersion);
    exitCode_ = 0;
    return true;
  }
  wxString folder;
  const bool userFolder = parser.Found("user-folder");
  if (parser.Found("folder", &folder) && userFolder) {
    wxMessageOutputStderr().Printf("%s: give --folder or --user-folder, not both\n",
                                   ExecutableName());
    exitCode_ = kUsageError;
    return true;
  }
  if (userFolder) folder = ToWx(platform::Utf8FromPath(UserFilesFolder()));
  askedFolder_ = folder;
  return true;
}

bool SubmissionApp::OnCmdLineHelp(wxCmdLineParser& parser) {
  parser.Usage();
  exitCode_ = 0;
  return true;
}

bool SubmissionApp::OnCmdLineError(wxCmdLineParser& parser) {
  parser.Usage();
  exitCode_ = kUsageError;
  return true;
}

int SubmissionApp::OnRun() {
  if (exitCode_) return *exitCode_;
  auto* window = new MainWindow(folder_);
  window->RunModal();
  window->Destroy();
  return 0;
}

bool SubmissionApp::OnExceptionInMainLoop() {
  // A command that fails unexpectedly is reported and the window stays.
  wxString text = texts::kInternalError;
  try {
    throw;
  } catch (const std::exception& error) {
    const wxString what = ToWx(error.what());
    if (!what.empty()) text = what;
  } catch (...) {
  }
  wxMessageBox(text, ExecutableName(), wxOK | wxICON_ERROR);
  return true;
}

std::optional<int> AnswerWithoutDisplay(int argc, char** argv) {
  bool help = false;
  bool version = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") break;
    help = help || arg == "--help" || arg == "-h" || arg == "-?";
    version = version || arg == "--version";
  }
  if (help) {
    wxCmdLineParser parser(argc, argv);
    parser.AddSwitch("h", "help", "show this help message", wxCMD_LINE_OPTION_HELP);
    SubmissionApp::DescribeCommandLine(parser);
    std::fputs(parser.GetUsageString().utf8_str(), stdout);
    return 0;
  }
  if (version) {
    std::printf("TesselWick %s\n", texts::kProgramVersion);
    return 0;
  }
  return std::nullopt;
}

}  // namespace tesselwick::ui

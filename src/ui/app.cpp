#include "ui/app.h"

#include <wx/cmdline.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/msgout.h>
#include <wx/stdpaths.h>
#include <wx/translation.h>

#ifndef _WIN32
#include <signal.h>
#endif

#include <cstdio>
#include <exception>
#include <string_view>

#include "core/text/messages.h"
#include "core/app/window_size.h"
#include "core/net/http_fetch.h"
#include "core/platform/system.h"
#include "core/platform/working_folder.h"
#include "core/text/translation.h"
#include "ui/main_window.h"
#include "ui/text_convert.h"

namespace tesselwick::ui {

namespace {

std::atomic<int> stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the stop signal is set in a signal handler");

#ifndef _WIN32
extern "C" void OnStopSignal(int signal) {
  int none = 0;
  stopSignal.compare_exchange_strong(none, signal);
}
#endif

// The exit code of a command line that could not be understood (sysexits' EX_USAGE).
constexpr int kUsageError = 64;

wxString ExecutableName() {
  return wxFileName(wxStandardPaths::Get().GetExecutablePath()).GetName();
}

// The folder of the running program: the build tree's, or bin/ of an
// installation.
wxString ProgramFolder() {
  return wxFileName(wxStandardPaths::Get().GetExecutablePath()).GetPath();
}

// The program's texts in the user's language (the system locale): the
// catalogue "tesselwick" is looked for beside the program (the build tree
// puts its compiled catalogues in locale/ there), under the installation's
// share/locale, and in the system's folder. English needs no catalogue, so in
// an English or C locale every text stays as it is written.
void SetUpTranslations() {
  wxFileTranslationsLoader::AddCatalogLookupPathPrefix(ProgramFolder() + "/locale");
  wxFileTranslationsLoader::AddCatalogLookupPathPrefix(ProgramFolder() + "/../share/locale");
  auto* translations = new wxTranslations;
  wxTranslations::Set(translations);
  {
    wxLogNull quiet;  // a language without a catalogue is no error
    translations->AddCatalog("tesselwick", wxLANGUAGE_ENGLISH_US);
  }
  SetTranslator([](const char* text) {
    return std::string(wxGetTranslation(wxString::FromUTF8(text)).utf8_str());
  });
}

// The installed manual: share/tesselwick/manual.htm of the installation, or
// beside the program where the Windows installer puts it.
std::filesystem::path InstalledManual() {
#ifdef _WIN32
  return platform::PathFromUtf8(FromWx(ProgramFolder()) + "/manual.htm");
#else
  return FromWx(ProgramFolder()) + "/../share/tesselwick/manual.htm";
#endif
}

// The settings file of the main window's size, under the user's
// configuration folder (~/.config, or $XDG_CONFIG_HOME, on Linux).
std::filesystem::path SizeFile() {
  wxStandardPaths& paths = wxStandardPaths::Get();
#ifdef __WXGTK__
  paths.SetFileLayout(wxStandardPaths::FileLayout_XDG);
#endif
  const wxString folder = paths.GetUserConfigDir();
  if (folder.empty()) return {};
  return WindowSizeFile(FromWx(folder));
}
}  // namespace

bool SubmissionApp::OnInit() {
  if (!wxApp::OnInit()) return false;  // reads the command line
  if (exitCode_) return true;          // OnRun ends at once with this code
  SetUpTranslations();
  if (!InitNetwork()) {
    wxMessageBox(_(texts::kSocketsFailed), ExecutableName(), wxOK | wxICON_EXCLAMATION);
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
    std::printf("TesselWick %s\n", program::kProgramVersion);
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
  // The window class (which wx takes from the application's name), like the
  // program's name set in main, is the desktop entry's ID, so that docks and
  // Wayland compositors match the windows with the entry.
  SetAppName(TESSELWICK_APP_ID);
  auto* window = new MainWindow(folder_, OpenInDefaultBrowser, SizeFile());
  window->Logic().manualAddress = ManualAddress(program::kSiteUrl, InstalledManual());
  window->CloseDownWhenSet(stopSignal);
  window->RunModal();
  window->Destroy();
  // Ended by a signal: 128 plus its number, as a shell reports a program
  // that signal ended.
  const int signal = stopSignal.load();
  return signal != 0 ? 128 + signal : 0;
}

bool SubmissionApp::OnExceptionInMainLoop() {
  // A command that fails unexpectedly is reported and the window stays.
  wxString text = _(texts::kInternalError);
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

const std::atomic<int>& StopSignal() { return stopSignal; }

void CatchStopSignals() {
#ifndef _WIN32
  for (const int signal : {SIGTERM, SIGHUP}) platform::CatchSignalOnce(signal, OnStopSignal);
#endif
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
    std::printf("TesselWick %s\n", program::kProgramVersion);
    return 0;
  }
  return std::nullopt;
}

}  // namespace tesselwick::ui

// The command-line tool on Windows: wide arguments, the console, Ctrl+C and
// the console's closing, and the shell's file associations.
// windows.h first: the others build on it.
#include <windows.h>
//
#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include "cli/submit_tool.h"
#include "cli/system.h"
#include "core/platform/system.h"

namespace tesselwick::cli {

namespace {

std::atomic<bool>* interruptFlag = nullptr;
std::atomic<StopCause>* stopCause = nullptr;
std::atomic<bool> interruptedOnce{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  const bool closing =
      event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
  if (!closing && event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  // FALSE hands a second Ctrl+C to the default handler, which ends the program.
  if (!closing && interruptedOnce.exchange(true)) return FALSE;
  StopCause none = StopCause::kNone;
  stopCause->compare_exchange_strong(none, closing ? StopCause::kTerminate : StopCause::kInterrupt);
  interruptFlag->store(true);
  // Windows ends the program as soon as this returns from a close, log-off or
  // shutdown: it waits here while the run stops and writes its report, and
  // the program's end ends this thread (Windows gives up after a few
  // seconds all the same).
  if (closing) Sleep(INFINITE);
  return TRUE;
}

}  // namespace

std::vector<std::string> CommandLineArguments(int, char**) {
  // The tool writes UTF-8; the console shows it as such.
  SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> args;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return args;
  for (int i = 1; i < count; ++i)
    args.push_back(platform::Utf8FromPath(std::filesystem::path(wide[i])));
  LocalFree(wide);
  return args;
}

bool StderrIsTerminal(int& columns) {
  if (!_isatty(_fileno(stderr))) return false;
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
    const int width = info.srWindow.Right - info.srWindow.Left + 1;
    if (width > 0) columns = width;
  }
  return true;
}

void CatchStopSignals(std::atomic<bool>& flag, std::atomic<StopCause>& cause) {
  interruptFlag = &flag;
  stopCause = &cause;
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool OpenWithDesktop(const std::string& path, std::string& why) {
  const std::wstring file = platform::PathFromUtf8(path).wstring();
  // Whatever program the user has chosen for the file's kind opens it; not
  // waited for.
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (result > 32) return true;
  switch (result) {
    case SE_ERR_NOASSOC:
      why = "no program is set to open this kind of file";
      break;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      why = "the file is not there";
      break;
    default:
      why = "the shell could not open it (error " + std::to_string(result) + ")";
  }
  return false;
}

}  // namespace tesselwick::cli

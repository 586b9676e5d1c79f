#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "cli/submit_tool.h"

// What the command-line tool needs from the system it runs on: system_posix.cpp
// for Linux, system_windows.cpp for Windows.
namespace tesselwick::cli {

// The arguments after the program's name, as UTF-8 text (on Windows from the
// wide command line, so that any folder name arrives whole). Also makes the
// console show the tool's UTF-8 output as such.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Whether standard error is a terminal (a console), and then its width in
// `columns` when known.
bool StderrIsTerminal(int& columns);

// The first Ctrl+C, SIGTERM or SIGHUP sets `flag` and says which it was in
// `cause`, so the run stops cleanly (the report, the JSON and the history are
// still written); a second one of the same kind ends the program at once. A
// signal that the shell has the program ignore (Ctrl+C for a background job,
// SIGHUP under nohup) stays ignored. A closed pipe on standard output makes
// the writes there fail (exit status 74) instead of ending the program before
// its report and history are written. On Windows, closing the console window,
// logging off and shutting down count as SIGTERM: the program finishes its run
// within the few seconds Windows gives it.
void CatchStopSignals(std::atomic<bool>& flag, std::atomic<StopCause>& cause);

}  // namespace tesselwick::cli

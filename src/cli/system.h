#pragma once

#include <atomic>
#include <string>
#include <vector>

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

// The first Ctrl+C sets `flag`, so the run stops cleanly (the report is still
// written); a second one ends the program at once. A Ctrl+C that the shell has
// the program ignore (a background job) stays ignored.
void CatchInterrupt(std::atomic<bool>& flag);

}  // namespace tesselwick::cli

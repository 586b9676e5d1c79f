#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/submit/pad_check.h"

namespace tesselwick {

// How many of the problems are of that level.
std::size_t CountPadProblems(const std::vector<PadProblem>& problems, PadProblemLevel level);

// Whether any of them is an error.
bool HasPadErrors(const std::vector<PadProblem>& problems);

// The lines of `tesselwick-submit --check`: the errors as they are, then
// the warnings, each "warning: " and its text.
std::vector<std::string> PadCheckLines(const std::vector<PadProblem>& problems);

// What `--check` says of the file at the end: "the PAD file passed every
// check", "the PAD file has 1 problem", "the PAD file has 2 problems and 3
// warnings", "the PAD file has no problem and 1 warning".
std::string PadCheckSummary(const std::vector<PadProblem>& problems);

// `--check --json`: {"pad_url": ..., "problems": [{"level": "error" or
// "warning", "path": "XML_DIZ_INFO/..." or null, "text": ...}, ...]} and a
// line feed. Bytes that are not UTF-8 become U+FFFD.
std::string PadCheckJson(std::string_view padUrl, const std::vector<PadProblem>& problems);

// What a submission says of its PAD file before it asks the sites: each
// error as "warning: " and its text (the run goes on), then, when there are
// warnings, "--check lists N further warnings about the PAD file".
std::vector<std::string> PadRunLines(const std::vector<PadProblem>& problems);

// The list in the window's box, in the user's language, its lines broken by
// CR LF: the errors, then, when there are warnings, a blank line, "and N
// warnings, among them:" and the first kBoxWarnings of them.
std::string PadProblemsBoxList(const std::vector<PadProblem>& problems);
inline constexpr std::size_t kBoxWarnings = 3;

}  // namespace tesselwick

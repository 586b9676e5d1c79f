#include "core/submit/pad_check_output.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "core/text/json_text.h"
#include "core/text/translation.h"

namespace tesselwick {

std::size_t CountPadProblems(const std::vector<PadProblem>& problems, PadProblemLevel level) {
  return static_cast<std::size_t>(std::count_if(
      problems.begin(), problems.end(), [level](const PadProblem& p) { return p.level == level; }));
}

bool HasPadErrors(const std::vector<PadProblem>& problems) {
  return CountPadProblems(problems, PadProblemLevel::kError) > 0;
}

namespace {

// The errors first, then the warnings, each in its order.
std::vector<const PadProblem*> ByLevel(const std::vector<PadProblem>& problems) {
  std::vector<const PadProblem*> sorted;
  for (const PadProblemLevel level : {PadProblemLevel::kError, PadProblemLevel::kWarning}) {
    for (const PadProblem& problem : problems) {
      if (problem.level == level) sorted.push_back(&problem);
    }
  }
  return sorted;
}

std::string Counted(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::vector<std::string> PadCheckLines(const std::vector<PadProblem>& problems) {
  std::vector<std::string> lines;
  for (const PadProblem* problem : ByLevel(problems)) {
    lines.push_back(problem->level == PadProblemLevel::kWarning ? "warning: " + problem->text
                                                                : problem->text);
  }
  return lines;
}

std::string PadCheckSummary(const std::vector<PadProblem>& problems) {
  const std::size_t errors = CountPadProblems(problems, PadProblemLevel::kError);
  const std::size_t warnings = CountPadProblems(problems, PadProblemLevel::kWarning);
  if (errors == 0 && warnings == 0) return "the PAD file passed every check";
  std::string summary = "the PAD file has ";
  summary += errors == 0 ? "no problem" : Counted(errors, "problem", "problems");
  if (warnings > 0) summary += " and " + Counted(warnings, "warning", "warnings");
  return summary;
}

std::string PadCheckJson(std::string_view padUrl, const std::vector<PadProblem>& problems) {
  // The fields in the order a reader expects them, not sorted by name.
  using json = nlohmann::ordered_json;
  json list = json::array();
  for (const PadProblem* problem : ByLevel(problems)) {
    list.push_back({
        {"level", problem->level == PadProblemLevel::kError ? "error" : "warning"},
        {"path", problem->path.empty() ? json(nullptr) : json(problem->path)},
        {"text", problem->text},
    });
  }
  const json check = {{"pad_url", std::string(padUrl)}, {"problems", std::move(list)}};
  return TerminalSafeJson(check.dump(2, ' ', false, json::error_handler_t::replace) + "\n");
}

std::vector<std::string> PadRunLines(const std::vector<PadProblem>& problems) {
  std::vector<std::string> lines;
  for (const PadProblem& problem : problems) {
    if (problem.level == PadProblemLevel::kError) lines.push_back("warning: " + problem.text);
  }
  const std::size_t warnings = CountPadProblems(problems, PadProblemLevel::kWarning);
  if (warnings > 0) {
    lines.push_back("--check lists " + Counted(warnings, "further warning", "further warnings") +
                    " about the PAD file");
  }
  return lines;
}

std::string PadProblemsBoxList(const std::vector<PadProblem>& problems) {
  std::string text;
  for (const PadProblem& problem : problems) {
    if (problem.level != PadProblemLevel::kError) continue;
    if (!text.empty()) text += "\r\n";
    text += problem.text;
  }
  const std::size_t warnings = CountPadProblems(problems, PadProblemLevel::kWarning);
  if (warnings == 0) return text;
  text += "\r\n\r\n";
  if (warnings == 1) {
    text += Tr("and 1 warning:");
  } else if (warnings <= kBoxWarnings) {
    text += FormatText(Tr("and %1$s warnings:"), {std::to_string(warnings)});
  } else {
    text += FormatText(Tr("and %1$s warnings, among them:"), {std::to_string(warnings)});
  }
  std::size_t shown = 0;
  for (const PadProblem& problem : problems) {
    if (problem.level != PadProblemLevel::kWarning || shown == kBoxWarnings) continue;
    text += "\r\n" + problem.text;
    ++shown;
  }
  return text;
}

}  // namespace tesselwick

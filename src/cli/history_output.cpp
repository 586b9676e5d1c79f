#include "cli/history_output.h"

#include <nlohmann/json.hpp>
#include <string>
#include <system_error>
#include <vector>

#include "cli/console_progress.h"
#include "cli/run_json.h"
#include "cli/submit_tool.h"
#include "core/runs/run_log.h"

namespace tesselwick::cli {

namespace {

using json = nlohmann::ordered_json;

constexpr const char* kProgram = "tesselwick-submit";

const char* OutcomeWord(SiteOutcome outcome) {
  switch (outcome) {
    case SiteOutcome::Pass:
      return "Pass";
    case SiteOutcome::Skipped:
      return "Skipped";
    case SiteOutcome::Fail:
      break;
  }
  return "Fail";
}

json RunObject(const LoggedRun& run) {
  return {
      {"id", run.id},           {"started", run.started}, {"pad_url", run.padUrl},
      {"program", run.program}, {"version", run.version}, {"category", run.category},
      {"sites", run.siteCount}, {"passed", run.passed},   {"failed", run.failed},
      {"skipped", run.skipped}, {"ended", run.ended},
  };
}

json SiteObject(const LoggedSite& site) {
  return SiteJson({site.title, site.url, site.submitUrl,
                   site.requestUrl.empty() ? std::nullopt : std::optional(site.requestUrl),
                   OutcomeWord(site.outcome), site.reason, site.httpStatus, site.error,
                   site.seconds});
}

// "3  2026-12-08T10:00:00Z  Puzzle Box 2.4  8 passed, 4 failed, 0 skipped of
// 12 sites  ended  http://example.com/pad.xml"
std::string RunLine(const LoggedRun& run) {
  std::string product = run.program;
  if (!run.version.empty()) product += (product.empty() ? "" : " ") + run.version;
  if (product.empty()) product = "(no program name)";
  const char* state = !run.ended ? "not ended" : run.stopped ? "stopped" : "ended";
  return std::to_string(run.id) + "  " + PrintableText(run.started) + "  " +
         PrintableText(product) + "  " + std::to_string(run.passed) + " passed, " +
         std::to_string(run.failed) + " failed, " + std::to_string(run.skipped) + " skipped of " +
         std::to_string(run.siteCount) + (run.siteCount == 1 ? " site  " : " sites  ") + state +
         "  " + PrintableText(run.padUrl);
}

// "Pass  TITLE", "Fail  TITLE  (REASON)", "Skipped  TITLE  (REASON)", as the
// run printed its sites.
std::string SiteLine(const LoggedSite& site) {
  std::string line = OutcomeWord(site.outcome);
  line += "  " + PrintableText(site.title);
  if (site.outcome != SiteOutcome::Pass) line += "  (" + PrintableText(site.reason) + ")";
  return line;
}

int Unreadable(const RunLogProblem& problem, std::ostream& err) {
  err << kProgram << ": the run log cannot be read: " << PrintableText(problem.reason) << std::endl;
  return exit_status::kRunLogUnreadable;
}

int NoSuchRun(std::int64_t id, std::ostream& err) {
  err << kProgram << ": the run log has no run " << id << std::endl;
  return exit_status::kRunLogUnreadable;
}

int ShowRuns(const std::vector<LoggedRun>& runs, bool asJson, std::ostream& out) {
  if (asJson) {
    json list = json::array();
    for (const LoggedRun& run : runs) list.push_back(RunObject(run));
    out << PrintedJson(json{{"runs", std::move(list)}}) << std::flush;
  } else if (runs.empty()) {
    out << "no runs recorded" << std::endl;
  } else {
    for (const LoggedRun& run : runs) out << RunLine(run) << "\n";
    out << std::flush;
  }
  return exit_status::kAllPassed;
}

}  // namespace

int ShowHistory(const std::filesystem::path& folder, std::optional<std::int64_t> run, bool asJson,
                std::ostream& out, std::ostream& err) {
  // Without a log nothing was recorded; opening one would create it.
  std::error_code ec;
  const bool present = std::filesystem::exists(folder / RunLog::kFileName, ec);
  if (ec) return Unreadable({RunLogProblem::Kind::Unusable, ec.message()}, err);
  if (!present) return run ? NoSuchRun(*run, err) : ShowRuns({}, asJson, out);

  RunLog::Options options;
  options.readOnly = true;
  RunLog log(folder, options);
  if (log.Problem()) return Unreadable(*log.Problem(), err);
  if (!run) {
    const std::vector<LoggedRun> runs = log.Runs();
    // A query that failed gave no runs and left its problem.
    if (log.Problem()) return Unreadable(*log.Problem(), err);
    return ShowRuns(runs, asJson, out);
  }

  const std::optional<LoggedRun> found = log.Run(*run);
  const std::vector<LoggedSite> sites = found ? log.Sites(*run) : std::vector<LoggedSite>{};
  if (log.Problem()) return Unreadable(*log.Problem(), err);
  if (!found) return NoSuchRun(*run, err);
  if (asJson) {
    // "sites" is the list of the run's rows here, in place of how many
    // sites the run was to ask: one name cannot stand for both.
    json object = RunObject(*found);
    object.erase("sites");
    json list = json::array();
    for (const LoggedSite& site : sites) list.push_back(SiteObject(site));
    object["sites"] = std::move(list);
    out << PrintedJson(object) << std::flush;
  } else {
    out << RunLine(*found) << "\n";
    for (const LoggedSite& site : sites) out << SiteLine(site) << "\n";
    out << std::flush;
  }
  return exit_status::kAllPassed;
}

}  // namespace tesselwick::cli

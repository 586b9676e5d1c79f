// tesselwick-submit: the Submit button (and, with --update, the Update
// window) for release scripts. It calls the services the windows use, so the
// judging, the report and the URL history are the window's.

#include "cli/submit_tool.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

#include "cli/console_progress.h"
#include "cli/history_output.h"
#include "cli/run_json.h"
#include "core/history/url_history.h"
#include "core/net/request_pool.h"
#include "core/platform/date.h"
#include "core/platform/system.h"
#include "core/sites/site_catalog.h"
#include "core/sites/site_list_messages.h"
#include "core/sites/site_list_update.h"
#include "core/sites/site_update.h"
#include "core/submit/pad_check.h"
#include "core/submit/pad_check_output.h"
#include "core/submit/report.h"
#include "core/submit/run_results.h"
#include "core/submit/submission.h"
#include "core/submit/submit_flow.h"
#include "core/text/messages.h"
#include "core/text/replace.h"

namespace tesselwick::cli {

namespace {

constexpr const char* kProgram = "tesselwick-submit";

// The longest overall time limit --timeout takes: a day.
constexpr long kLongestTimeout = 86400;

struct Options {
  std::filesystem::path folder = ".";
  bool update = false;
  bool open = false;
  // --check: only fetch the PAD file and say what is wrong with it.
  bool check = false;
  // --json: the run (or the check) as one JSON object on standard output,
  // not its lines.
  bool json = false;
  // --timeout: the overall time limit of every request, in seconds.
  std::optional<long> timeoutSeconds;
  // --parallel: how many sites are requested at once at most.
  int parallel = RequestPool::kDefaultConcurrency;
  bool parallelGiven = false;
  // --history: show the run log rather than submit; --run: one run of it.
  bool history = false;
  std::optional<std::int64_t> run;
  // --skip-accepted: sites that took this version before are not asked.
  bool skipAccepted = false;
  // --retry-failed: ask the sites that failed in the newest recorded run of
  // the PAD URL again.
  bool retryFailed = false;
  std::string padUrl;
};

// The seconds of --timeout: a whole number from 1 to kLongestTimeout.
std::optional<long> TimeoutSeconds(std::string_view text) {
  long seconds = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (seconds < 1 || seconds > kLongestTimeout) return std::nullopt;
  return seconds;
}

// The value of an option that takes one, when args[i] is that option: the
// next argument ("--folder DIR", which it then skips) or what follows "="
// ("--folder=DIR"); empty when there is none.
std::optional<std::string> OptionValue(const std::vector<std::string>& args, std::size_t& i,
                                       std::string_view name) {
  const std::string& arg = args[i];
  if (arg == name) return i + 1 < args.size() ? args[++i] : std::string();
  if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 && arg[name.size()] == '=')
    return arg.substr(name.size() + 1);
  return std::nullopt;
}

// Either the options, or the usage error in plain words.
struct Parsed {
  std::optional<Options> options;
  std::string error;
  bool help = false;
  bool version = false;
};

Parsed ParseArguments(const std::vector<std::string>& args) {
  Parsed parsed;
  // --help and --version win wherever they stand among the options.
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h") {
      parsed.help = true;
      return parsed;
    }
    if (arg == "--version") parsed.version = true;
  }
  if (parsed.version) return parsed;

  Options options;
  std::vector<std::string> operands;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      operands.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--update") {
      options.update = true;
    } else if (arg == "--open") {
      options.open = true;
    } else if (arg == "--check") {
      options.check = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--retry-failed") {
      options.retryFailed = true;
    } else if (arg == "--skip-accepted") {
      options.skipAccepted = true;
    } else if (arg == "--history") {
      options.history = true;
    } else if (std::optional<std::string> number = OptionValue(args, i, "--run")) {
      std::int64_t id = 0;
      const auto [end, ec] = std::from_chars(number->data(), number->data() + number->size(), id);
      if (number->empty()) {
        parsed.error = "option '--run' needs a run number";
        return parsed;
      }
      if (ec != std::errc() || end != number->data() + number->size() || id < 1) {
        parsed.error = "option '--run' takes a run number, a whole number from 1, not '" +
                       PrintableText(*number) + "'";
        return parsed;
      }
      options.run = id;
    } else if (std::optional<std::string> folder = OptionValue(args, i, "--folder")) {
      if (folder->empty()) {
        parsed.error = "option '--folder' needs a folder";
        return parsed;
      }
      options.folder = platform::PathFromUtf8(*folder);
    } else if (std::optional<std::string> value = OptionValue(args, i, "--timeout")) {
      if (value->empty()) {
        parsed.error = "option '--timeout' needs a number of seconds";
        return parsed;
      }
      options.timeoutSeconds = TimeoutSeconds(*value);
      if (!options.timeoutSeconds) {
        parsed.error = "option '--timeout' takes a whole number of seconds from 1 to " +
                       std::to_string(kLongestTimeout) + ", not '" + PrintableText(*value) + "'";
        return parsed;
      }
    } else if (std::optional<std::string> count = OptionValue(args, i, "--parallel")) {
      int n = 0;
      const auto [end, ec] = std::from_chars(count->data(), count->data() + count->size(), n);
      if (count->empty() || ec != std::errc() || end != count->data() + count->size() || n < 1 ||
          n > RequestPool::kMostConcurrency) {
        parsed.error = "option '--parallel' takes a whole number of requests from 1 to " +
                       std::to_string(RequestPool::kMostConcurrency) + ", not '" +
                       PrintableText(*count) + "'";
        return parsed;
      }
      options.parallel = n;
      options.parallelGiven = true;
    } else {
      parsed.error = "unknown option '" + PrintableText(arg) + "'";
      return parsed;
    }
  }

  if (options.check && (options.update || options.open)) {
    parsed.error = "option '--check' only checks the PAD file: it takes no '--update' or '--open'";
    return parsed;
  }
  if (options.skipAccepted && (options.check || options.history)) {
    parsed.error = std::string("option '--skip-accepted' is for a submission: it takes no '") +
                   (options.check ? "--check" : "--history") + "'";
    return parsed;
  }
  if (options.retryFailed &&
      (options.check || options.history || options.update || options.skipAccepted)) {
    parsed.error =
        "option '--retry-failed' asks the sites of the recorded run again: it takes no "
        "'--check', '--history', '--update' or '--skip-accepted'";
    return parsed;
  }
  if (options.run && !options.history) {
    parsed.error = "option '--run' needs '--history'";
    return parsed;
  }
  if (options.history) {
    if (options.update || options.open || options.check || options.timeoutSeconds ||
        options.parallelGiven) {
      parsed.error =
          "option '--history' only reads the run log: it takes no '--update', '--open', "
          "'--check', '--timeout' or '--parallel'";
      return parsed;
    }
    if (!operands.empty()) {
      parsed.error =
          "option '--history' takes no PAD URL, not '" + PrintableText(operands[0]) + "'";
      return parsed;
    }
  } else if (operands.empty()) {
    parsed.error = "no PAD URL given";
    return parsed;
  }
  // --history has no PAD URL to check.
  if (!options.history) {
    if (operands.size() > 1) {
      parsed.error = "only one PAD URL may be given, not also '" + PrintableText(operands[1]) + "'";
      return parsed;
    }
    if (operands[0].empty()) {
      parsed.error = "the PAD URL is empty";
      return parsed;
    }
    // Neither requested nor remembered: it would split the history's lines.
    if (HasControlCharacter(operands[0])) {
      parsed.error = "the PAD URL holds a line break or another control character: '" +
                     PrintableText(operands[0]) + "'";
      return parsed;
    }
    options.padUrl = operands[0];
  }

  std::error_code ec;
  if (!std::filesystem::is_directory(options.folder, ec)) {
    parsed.error =
        "no such folder: '" + PrintableText(platform::Utf8FromPath(options.folder)) + "'";
    return parsed;
  }
  parsed.options = std::move(options);
  return parsed;
}

// The absolute path of a file in the working folder, as the user reads it:
// a control character in a folder's name is shown as '?', so that it cannot
// steer the terminal.
std::string ShownPath(const std::filesystem::path& folder, const char* name) {
  std::error_code ec;
  std::filesystem::path path = std::filesystem::absolute(folder / name, ec);
  if (ec) path = folder / name;
  return PrintableText(platform::Utf8FromPath(path.lexically_normal()));
}

// A message box's caption and text as one line: "Caption: text", or
// "Caption. text" when the caption ends in a stop or colon; line breaks
// inside the text become blanks.
std::string MessageLine(std::string_view caption, std::string_view text) {
  std::string flat = ReplaceAll(std::string(text), "\r\n", " ");
  std::replace(flat.begin(), flat.end(), '\n', ' ');
  std::string line(caption);
  if (!line.empty()) line += (line.back() == '.' || line.back() == ':') ? " " : ": ";
  return PrintableText(line + flat);
}

// Where the report goes once written: to the browser with --open, nowhere
// otherwise.
class ReportOpener {
 public:
  ReportOpener(bool open, const SubmitToolEnvironment& env, std::ostream& err)
      : open_(open), env_(env), err_(err) {}

  void Open(const std::string& target) {
    if (!open_) return;
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(platform::PathFromUtf8(target), ec);
    const std::string shown = ec ? target : platform::Utf8FromPath(path.lexically_normal());
    if (env_.openInBrowser) {
      env_.openInBrowser(shown);
      return;
    }
    std::string why;
    if (!OpenWithDesktop(shown, why)) {
      err_ << kProgram << ": could not open " << PrintableText(shown) << " in the browser: " << why
           << std::endl;
    }
  }

 private:
  const bool open_;
  const SubmitToolEnvironment& env_;
  std::ostream& err_;
};

bool Interrupted(const SubmitToolEnvironment& env) {
  return env.interrupted != nullptr && env.interrupted->load();
}

// The exit status of a stop: 128 plus the number of the signal that asked
// for it, as a shell reports a program that signal ended.
int StoppedStatus(const SubmitToolEnvironment& env) {
  switch (env.stopCause != nullptr ? env.stopCause->load() : StopCause::kNone) {
    case StopCause::kTerminate:
      return exit_status::kTerminated;
    case StopCause::kHangUp:
      return exit_status::kHungUp;
    default:
      return exit_status::kStopped;
  }
}

// "1 site", "3 sites".
std::string Sites(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " site" : " sites");
}

std::string VersionNote(const std::string& version) {
  return version.empty() ? std::string() : " (version " + PrintableText(version) + ")";
}

// What Check Version and Update tell, as lines on standard error in the words
// of the Update window's boxes; the server's answer itself is not shown.
class UpdateLines : public UpdateObserver {
 public:
  explicit UpdateLines(std::ostream& err) : err_(err) {}

  void RequestFailed(const FetchResult& answer) override {
    err_ << OpenUrlFailedLine(answer.error) << std::endl;
  }
  void NoVersions() override { Say(texts::kNotDownloadedCaption, texts::kNotDownloaded); }
  void NewProgramOffered() override { Say(texts::kNewProgramCaption, texts::kNewProgram); }
  void SiteListSaved() override { Say(texts::kUpdateCompleteCaption, texts::kUpdateComplete); }
  void SiteListNotSaved(SiteListSave why) override {
    if (const auto notSaved = NotSavedMessage(why)) Say(notSaved->second, notSaved->first);
  }

 private:
  void Say(std::string_view caption, std::string_view text) {
    err_ << kProgram << ": " << MessageLine(caption, text) << std::endl;
  }

  std::ostream& err_;
};

// Check Version and Update without a window: asks the update server for its
// versions and, when it has another site list, downloads it. Says on `err`
// what came of it, in the words of the Update window's messages where it
// has them; a failure leaves pad.dat as it was and the run goes on with it.
void UpdateSiteList(const std::string& programVersion, const std::string& sitesVersion,
                    const std::filesystem::path& folder, const SubmitToolEnvironment& env,
                    std::ostream& err) {
  FetchLimits limits = env.fetchLimits;
  // Ctrl+C abandons the update's request; what was under way then is no news
  // of the update server's, and the update stops without a word.
  limits.cancel = env.interrupted;
  const SiteUpdate update(env.siteUrl, folder / program::kSiteFile, limits);
  const std::string server = PrintableText(env.siteUrl);
  const std::string carryOn = std::string(kProgram) + ": carrying on with the current site list" +
                              VersionNote(sitesVersion);
  UpdateLines lines(err);

  const VersionCheck check = CheckVersions(update, programVersion, sitesVersion, nullptr, lines);
  if (check.stopped) return;
  if (!check.answer.ok()) {
    err << kProgram << ": the update server " << server << " could not be asked: error "
        << DescribeFetchError(check.answer) << "\n"
        << carryOn << std::endl;
    return;
  }
  const std::optional<ServerVersions>& versions = check.offer.versions;
  const std::string serverSites = versions ? versions->sites.value_or("") : std::string();
  if (!check.offer.otherSiteList) {
    if (serverSites.empty()) {
      err << kProgram << ": the update server " << server << " named no site list version\n"
          << carryOn << std::endl;
    } else {
      err << kProgram << ": the site list is up to date" << VersionNote(sitesVersion) << std::endl;
    }
    return;
  }

  const SiteListDownload download = DownloadSiteList(update, sitesVersion, nullptr, lines);
  if (download.stopped) return;
  if (download.save == SiteListSave::Saved) {
    err << kProgram << ": site list updated" << VersionNote(serverSites) << std::endl;
    return;
  }
  if (!download.answer.ok()) {
    err << kProgram << ": the new site list could not be downloaded from " << server << ": error "
        << DescribeFetchError(download.answer) << "\n";
  }
  err << carryOn << std::endl;
}

// A request that could not be made, as every failed retrieval says it.
void SayUnreachable(const FetchResult& failed, std::ostream& err) {
  err << OpenUrlFailedLine(failed.error) << std::endl;
}

// Why the PAD file could not be fetched, as the window's box says it; a
// failed request was told first (SayUnreachable).
void SayPadFileFailed(const PadFile& pad, const std::string& aboutPad, std::ostream& err) {
  const std::string why = pad.failure == PadFile::Failure::ErrorStatus
                              ? pad.FailureShown()
                              : "error " + DescribeFetchError(pad.answer);
  err << kProgram << ": " << MessageLine(texts::kPadFileCaption, why) << aboutPad << std::endl;
}

// --check: fetches the PAD file and prints its problems on `out`, one a line
// (errors, then warnings) or as JSON; no site is asked, no file of the
// working folder is read or written. Only an error fails the check.
int CheckOnly(const Options& options, std::ostream& out, std::ostream& err,
              const SubmitToolEnvironment& env) {
  ConsoleRunProgress progress(out, err, env.stderrIsTerminal, env.terminalColumns, env.interrupted,
                              options.padUrl);
  const std::string aboutPad = " (" + PrintableText(options.padUrl) + ")";
  const PadFile pad = FetchPadFile(options.padUrl, env.fetchLimits, &progress);
  if (pad.outcome == PadFile::Outcome::Stopped) {
    err << kProgram << ": stopped; the PAD file was not checked" << std::endl;
    return StoppedStatus(env);
  }
  if (pad.outcome == PadFile::Outcome::Failed) {
    if (!pad.answer.ok()) SayUnreachable(pad.answer, err);
    SayPadFileFailed(pad, aboutPad, err);
    return exit_status::kPadFileFailed;
  }
  const std::vector<PadProblem> problems = CheckPadFields(pad.answer.body, options.padUrl);
  if (options.json) {
    out << PadCheckJson(options.padUrl, problems);
  } else {
    for (const std::string& line : PadCheckLines(problems)) out << PrintableText(line) << "\n";
  }
  out << std::flush;
  err << kProgram << ": " << PadCheckSummary(problems) << aboutPad << std::endl;
  return HasPadErrors(problems) ? exit_status::kPadFileProblems : exit_status::kAllPassed;
}

// The command-line tool's side of a Submit: each of the window's boxes as a
// line on standard error, with the file or URL it is about; the waits and
// the sites' lines through the console's progress.
class ConsoleSubmit : public SubmitObserver {
 public:
  ConsoleSubmit(ConsoleRunProgress& progress, const Options& options,
                const SubmitToolEnvironment& env, std::ostream& err)
      : progress_(progress),
        folder_(options.folder),
        aboutPad_(" (" + PrintableText(options.padUrl) + ")"),
        opener_(options.open, env, err),
        skipAccepted_(options.skipAccepted),
        err_(err) {}

  void Wait(BackgroundFetch& fetch) override { progress_.Wait(fetch); }
  void FollowSites(SiteRun& run) override { progress_.FollowSites(run); }
  void Unreachable(const FetchResult& failed) override { SayUnreachable(failed, err_); }
  void PadFileFailed(const PadFile& pad) override { SayPadFileFailed(pad, aboutPad_, err_); }
  void NoCategory() override { Say(texts::kPadFileCaption, texts::kNoCategory, aboutPad_); }
  // What download sites are likely to reject the file for; the run goes on.
  bool GoOn(const std::vector<PadProblem>& problems) override {
    for (const std::string& line : PadRunLines(problems))
      err_ << kProgram << ": " << PrintableText(line) << std::endl;
    return true;
  }
  // Without --skip-accepted every site is asked, as it always was.
  bool AskAgain(const AlreadyAccepted&) override { return !skipAccepted_; }
  void ReportTemplateUnreadable() override {
    Say(texts::kTemplateUnreadableCaption, texts::kTemplateUnreadable,
        About(program::kReportTemplateFile, "; the built-in layout is used"));
  }
  void ReportNotWritten() override {
    Say(texts::kReportUnwritableCaption, texts::kReportUnwritable, About(program::kReportFile));
  }
  void ReportReady(const std::filesystem::path& file) override {
    opener_.Open(platform::Utf8FromPath(file));
  }
  void HistoryNotSaved() override {
    Say(texts::kHistoryUnwritableCaption, texts::kHistoryUnwritable, About(program::kHistoryFile));
  }
  void RunLogFault(const RunLogProblem& problem) override {
    err_ << kProgram << ": " << PrintableText(RunLogFaultText(problem)) << std::endl;
  }

 private:
  void Say(std::string_view caption, std::string_view text, const std::string& about) {
    err_ << kProgram << ": " << MessageLine(caption, text) << about << std::endl;
  }
  std::string About(const char* name, std::string_view more = {}) const {
    return " (" + ShownPath(folder_, name) + std::string(more) + ")";
  }

  ConsoleRunProgress& progress_;
  const std::filesystem::path& folder_;
  const std::string aboutPad_;
  ReportOpener opener_;
  const bool skipAccepted_;
  std::ostream& err_;
};

int Submit(const Options& options, std::ostream& out, std::ostream& err,
           const SubmitToolEnvironment& env) {
  const std::filesystem::path& folder = options.folder;
  // The window's boxes, as lines on standard error, each with the file or URL
  // it is about.
  auto say = [&err](std::string_view caption, std::string_view text, const std::string& about) {
    err << kProgram << ": " << MessageLine(caption, text) << about << std::endl;
  };

  // What the window loads when it opens: the site list and the history.
  SiteCatalog sites;
  auto loadSites = [&] {
    SiteRecord working;
    const SiteCatalog::Loaded loaded = sites.Load(folder / program::kSiteFile, working);
    if (loaded.problem) {
      say(texts::kSiteListUnreadableCaption,
          UnreadableSiteListText(folder / program::kSiteFile, *loaded.problem), "");
    }
  };
  loadSites();
  UrlHistory history;
  history.Load(folder / program::kHistoryFile);
  if (options.update) {
    // As the Update button does: the update, then the list loaded anew.
    UpdateSiteList(program::kProgramVersion, sites.Version(), folder, env, err);
    sites.Clear();
    loadSites();
    if (Interrupted(env)) {
      err << kProgram << ": stopped; nothing was submitted" << std::endl;
      return StoppedStatus(env);
    }
  }
  if (sites.Count() == 0) {
    err << kProgram << ": the site list is empty (" << ShownPath(folder, program::kSiteFile)
        << "): no site will be requested" << (options.update ? "" : "; --update fetches one")
        << std::endl;
  }

  // With --json the site lines are left out: the JSON says it all.
  std::ostream noLines(nullptr);
  ConsoleRunProgress progress(options.json ? noLines : out, err, env.stderrIsTerminal,
                              env.terminalColumns, env.interrupted, options.padUrl);
  ConsoleSubmit console(progress, options, env, err);
  SubmitRequest request;
  request.folder = folder;
  request.padUrl = options.padUrl;
  request.limits = env.fetchLimits;
  request.maxConcurrent = options.parallel;
  request.sites = &sites;
  request.history = &history;
  request.saveHistory = true;
  SubmitOutcome outcome =
      options.retryFailed ? RetryRecordedRun(request, console) : SubmitPadFile(request, console);
  if (outcome.noRecordedRun) {
    err << kProgram << ": the run log has no run of " << PrintableText(options.padUrl)
        << " to retry" << std::endl;
    return exit_status::kRunLogUnreadable;
  }
  // The PAD file let the sites be asked (a retry may find none that failed).
  const bool padFileReady = outcome.results != nullptr;
  if (options.retryFailed && padFileReady && !progress.SitesRequested()) {
    err << kProgram << ": every site of the recorded run passed; none was asked again" << std::endl;
  }
  // A run that stopped at the PAD file has no sites.
  if (!outcome.results) {
    outcome.results = std::make_unique<RunResults>(std::vector<SiteRecord>{}, options.padUrl,
                                                   outcome.category, outcome.date);
  }

  if (progress.Stopped()) {
    err << kProgram << ": stopped; "
        << (progress.SitesRequested()
                ? Sites(progress.Unfinished()) + " had not answered (left out of the report)"
                : std::string("no site was requested"))
        << std::endl;
  }
  if (outcome.report.written) {
    err << kProgram << ": report written to " << ShownPath(folder, program::kReportFile)
        << std::endl;
  }
  if (options.json) {
    out << RunJson(*outcome.results, progress.Stopped()) << std::flush;
  } else if (options.retryFailed) {
    // The recorded run as it now stands, the retried sites in their places.
    out << outcome.results->Passed() << " passed, " << outcome.results->Failed() << " failed"
        << std::endl;
  } else {
    out << progress.Passed() << " passed, " << progress.Failed() << " failed";
    if (options.skipAccepted) out << ", " << outcome.results->Skipped() << " skipped";
    out << std::endl;
  }

  if (progress.Stopped()) return StoppedStatus(env);
  if (!padFileReady) return exit_status::kPadFileFailed;
  if (!outcome.report.written) return exit_status::kReportNotWritten;
  return progress.Failed() > 0 ? exit_status::kSomeFailed : exit_status::kAllPassed;
}

}  // namespace

std::string SubmitToolUsage() {
  return std::string(
             "Usage: tesselwick-submit [--folder DIR] [--update] [--open] [--json]\n"
             "                         [--timeout SECONDS] [--parallel N] [--skip-accepted]\n"
             "                         PAD_URL\n"
             "       tesselwick-submit [--folder DIR] --retry-failed [--open] [--json]\n"
             "                         [--timeout SECONDS] [--parallel N] PAD_URL\n"
             "       tesselwick-submit --check [--json] [--timeout SECONDS] PAD_URL\n"
             "       tesselwick-submit [--folder DIR] --history [--run N] [--json]\n"
             "\n"
             "Submits the PAD file at PAD_URL to every download site of the site list\n"
             "(pad.dat) as TesselWick's Submit button does: the sites are requested side by\n"
             "side, each answer is judged Pass or Fail, Report.htm is written and the URL is\n"
             "remembered in tesselwick.ini. Before any site is asked, the PAD file is checked\n"
             "for what download sites reject; each problem is printed as a warning on\n"
             "standard error, and the run goes on; it also says how many further\n"
             "warnings --check lists. Every run is kept in the run log beside pad.dat\n"
             "(tesselwick-runs.db); a log that cannot be written is said once, and the\n"
             "run goes on without it.\n"
             "\n"
             "Options:\n"
             "  --folder DIR  work in DIR, with its pad.dat, tesselwick.ini,\n"
             "                ReportTemplate.htm and Report.htm (default: the current folder)\n"
             "  --update      first ask the update server (") +
         program::kSiteUrl +
         ") for a newer\n"
         "                site list and download it, as the Update window does\n"
         "  --open        open Report.htm in the default browser afterwards\n"
         "  --json        print the run as one JSON object on standard output in\n"
         "                place of the site lines (see below)\n"
         "  --check       only check the PAD file: print its problems on standard\n"
         "                output, one a line, ask no site and write no file. First\n"
         "                the errors, what download sites reject; then the warnings\n"
         "                (\"warning: ...\"), every other field whose text does not\n"
         "                keep to the PAD format's pattern for it. With --json, one\n"
         "                JSON object: {\"pad_url\": \"...\", \"problems\": [{\"level\":\n"
         "                \"error\" or \"warning\", \"path\": \"XML_DIZ_INFO/...\" or null,\n"
         "                \"text\": \"...\"}, ...]}\n"
         "  --timeout SECONDS\n"
         "                give up on any request (the PAD file, a site, the update\n"
         "                server) that has not ended after SECONDS, from 1 to 86400\n"
         "                (default: 120). Besides, connecting may take at most 60\n"
         "                seconds, and a request that receives nothing for 60 seconds\n"
         "                is given up too.\n"
         "  --parallel N  request at most N sites at once, from 1 to " +
         std::to_string(RequestPool::kMostConcurrency) +
         " (default: " + std::to_string(RequestPool::kDefaultConcurrency) +
         ");\n"
         "                never more than " +
         std::to_string(RequestPool::kPerHost) +
         " at once to one host\n"
         "  --skip-accepted\n"
         "                do not ask the sites that passed this PAD URL with the same\n"
         "                Program_Version in a recorded run: they show as \"Skipped\"\n"
         "                (reason \"accepted VERSION on DATE\"), are counted in\n"
         "                \"skipped\", get no row in Report.htm, and the last line\n"
         "                becomes \"N passed, M failed, K skipped\"\n"
         "  --retry-failed\n"
         "                fetch the PAD file again and ask only the sites that failed\n"
         "                (not those skipped) in the newest recorded run of PAD_URL,\n"
         "                with the requests that run made; the report and the JSON\n"
         "                hold that run's sites with the retried outcomes in place,\n"
         "                and the last line counts them all\n"
         "  --history     only show the run log of the folder (tesselwick-runs.db),\n"
         "                every run newest first, one a line: its number, start\n"
         "                (UTC), program and version, how many sites passed, failed\n"
         "                and were skipped, whether it ended, was stopped or did not\n"
         "                end (killed, or still under way), and its PAD URL. Nothing\n"
         "                is submitted; the log is only read. With --json:\n"
         "                {\"runs\": [{\"id\": 3, \"started\": \"2026-12-08T10:00:00Z\",\n"
         "                \"pad_url\": \"...\", \"program\": \"...\", \"version\": \"...\",\n"
         "                \"category\": \"...\", \"sites\": 12, \"passed\": 8, \"failed\": 4,\n"
         "                \"skipped\": 0, \"ended\": true}, ...]}\n"
         "  --run N       with --history: only run N, then a line per site of it as\n"
         "                the run printed them (\"Skipped  TITLE  (REASON)\" for a\n"
         "                site it did not ask). With --json, the run's object with\n"
         "                \"sites\" the list of its sites, each as --json of a run\n"
         "                prints it (\"status\" also \"Skipped\"). Which sites took\n"
         "                version 2.4:\n"
         "                  for n in $(tesselwick-submit --history --json |\n"
         "                      jq '.runs[] | select(.version == \"2.4\") | .id'); do\n"
         "                    tesselwick-submit --history --run \"$n\" --json |\n"
         "                      jq -r '.sites[] | select(.status == \"Pass\") | .title'\n"
         "                  done | sort -u\n"
         "  --help        show this help and exit\n"
         "  --version     show the version and exit\n"
         "\n"
         "Output: one line per site on standard output, as each site answers:\n"
         "  Pass  TITLE\n"
         "  Fail  TITLE  (REASON)\n"
         "REASON is \"error N: WORDS\" (the site could not be reached), \"HTTP N\" (an\n"
         "error status), or 'answer contains \"Error\"' or 'answer contains \"404\"'.\n"
         "The last line is \"N passed, M failed\". Messages go to standard error, and so\n"
         "does the progress when it is a terminal. Ctrl+C stops the run; the report\n"
         "then lists the sites that had answered. SIGTERM (as timeout(1) sends it)\n"
         "and SIGHUP stop it the same way. The report, the JSON and the history are\n"
         "still written.\n"
         "\n"
         "With --json, standard output holds one JSON object instead, for example:\n"
         "  {\"pad_url\": \"http://example.com/pad.xml\", \"category\": \"Games\",\n"
         "   \"date\": \"07-Dec-2026\", \"stopped\": false, \"passed\": 1, \"failed\": 1,\n"
         "   \"skipped\": 0,\n"
         "   \"sites\": [{\"title\": \"Shareware Harbor\", \"url\": \"http://harbor.example/\",\n"
         "     \"submit_url\": \"http://harbor.example/add.htm\",\n"
         "     \"request\": \"http://harbor.example/submit?pad=http://example.com/pad.xml\",\n"
         "     \"status\": \"Pass\", \"reason\": \"HTTP 200\", \"http_status\": 200,\n"
         "     \"error\": null, \"seconds\": 0.214},\n"
         "    {\"title\": \"ByteBarn\", ..., \"status\": \"Fail\",\n"
         "     \"reason\": \"error 12029: cannot connect\", \"http_status\": null,\n"
         "     \"error\": 12029, \"seconds\": 0.003}]}\n"
         "Each site of the list is there, in its order; \"failed\" counts every site\n"
         "that did not pass, also those a stopped run never reached (their reason is\n"
         "\"not sent: the run was stopped\" or \"no answer: the run was stopped\", and\n"
         "their seconds null). A record without a GETORPOST line fails with \"no\n"
         "request template\".\n"
         "\n"
         "Exit status:\n"
         "  0    every site asked passed (also when the site list is empty)\n"
         "  1    one or more sites failed\n"
         "  2    the PAD file could not be fetched or names no category\n"
         "  3    Report.htm could not be written\n"
         "  64   usage error (unknown option, no or two PAD URLs, a PAD URL with a\n"
         "       line break or another control character, no such folder)\n"
         "  65   --check found problems in the PAD file: errors (0: none, or only\n"
         "       warnings; 2: not fetched)\n"
         "  66   --history: the run log cannot be read (not a database, locked by\n"
         "       another run for too long, no permission), or it has no run N;\n"
         "       --retry-failed: the run log has no run of PAD_URL\n"
         "  74   standard output could not be written (a full disk, a closed pipe);\n"
         "       the report and the history are still written (a stop keeps 129,\n"
         "       130 or 143)\n"
         "  129  stopped by SIGHUP\n"
         "  130  stopped with Ctrl+C\n"
         "  143  stopped by SIGTERM (on Windows: the console window was closed)\n";
}

namespace {

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        const SubmitToolEnvironment& env) {
  const Parsed parsed = ParseArguments(args);
  if (parsed.help) {
    out << SubmitToolUsage() << std::flush;
    return exit_status::kAllPassed;
  }
  if (parsed.version) {
    out << kProgram << " " << program::kProgramVersion << std::endl;
    return exit_status::kAllPassed;
  }
  if (!parsed.options) {
    err << kProgram << ": " << parsed.error << "\n"
        << "Try '" << kProgram << " --help'." << std::endl;
    return exit_status::kUsage;
  }
  // --timeout holds for every request of the run, the update's included.
  SubmitToolEnvironment runEnv = env;
  if (parsed.options->timeoutSeconds)
    runEnv.fetchLimits.totalTimeoutSeconds = *parsed.options->timeoutSeconds;
  if (parsed.options->check) return CheckOnly(*parsed.options, out, err, runEnv);
  if (parsed.options->history)
    return ShowHistory(parsed.options->folder, parsed.options->run, parsed.options->json, out, err);
  return Submit(*parsed.options, out, err, runEnv);
}

}  // namespace

int RunSubmitTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  const SubmitToolEnvironment& env) {
  const int status = Run(args, out, err, env);
  // A script that reads the site lines or the JSON must learn that they are
  // incomplete (a full disk, a closed pipe); the report and the history are
  // written all the same. A stop keeps its own status: the output of a
  // stopped run is incomplete anyway, and when the terminal went away
  // (SIGHUP) it is why nothing could be written there.
  out.flush();
  if (!out.fail()) return status;
  err << kProgram << ": could not write to standard output; what it shows is incomplete"
      << std::endl;
  const bool stopped = status == exit_status::kStopped || status == exit_status::kTerminated ||
                       status == exit_status::kHungUp;
  return stopped ? status : exit_status::kOutputFailed;
}

}  // namespace tesselwick::cli

// tesselwick-submit: the Submit button (and, with --update, the Update
// window; with --retry-failed, Retry Failed) for release scripts. It takes
// the roads the windows take and draws what they tell as its lines, its JSON
// and its exit status, so the judging, the report, the URL history and the
// run log are the window's.

#include "cli/submit_tool.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

#include "cli/arguments.h"
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

#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The run log: every submission the program makes, kept in an SQLite file
// beside pad.dat (tesselwick-runs.db), so that a later run knows which site
// took which release of a PAD file, and when, and which sites failed.
//
// A run is written as it goes: its start (BeginRun), the rows of its sites as
// they are judged (Record, collected in memory and written in short
// transactions by Flush, by a full batch, or by a batch that has waited long
// enough), and its end (EndRun). A process killed at any moment leaves a file
// that opens, with every row flushed before the kill and the run shown as not
// ended. The counts of a run are kept by the database itself from the rows as
// they are inserted, so they always say what the rows say.
//
// Faults never stop a submission: a log that cannot be opened or written, or
// that another run holds locked for longer than the busy timeout, becomes a
// problem that the caller reports once (TakeProblem), after which the log
// does nothing more. A file that is not a database is renamed
// tesselwick-runs.db.corrupt-YYYYMMDD-HHMMSS (the UTC time) and a new log is
// started; nothing is ever deleted.
//
// A RunLog is one connection to the file, used by one thread at a time; two
// runs at once (two programs, or two threads) each have their own, and the
// busy timeout lets their short transactions take turns.
namespace tesselwick {

// How a site of a run fared. The numbers are stored in the file.
enum class SiteOutcome : int { Fail = 0, Pass = 1, Skipped = 2 };

// What is known of a run when it starts.
struct RunStart {
  std::time_t started = 0;
  std::string padUrl;
  // The PAD file's Program_Name and Program_Version, empty when absent.
  std::string program;
  std::string version;
  // The category as sent to the sites.
  std::string category;
  // The site list's version (SCRIPTVERSION).
  std::string sitesVersion;
  // How many sites the run is to ask (or skip).
  std::size_t siteCount = 0;
  // The run whose failed sites this one asks again; 0 for a new submission.
  std::int64_t retryOf = 0;
};

// One site's row of a run.
struct LoggedSite {
  // The site's index in the run's list; a site is recorded once per run.
  std::size_t position = 0;
  std::string title;
  std::string url;
  std::string submitUrl;
  // The URL the site was asked with (empty when it was not asked).
  std::string requestUrl;
  SiteOutcome outcome = SiteOutcome::Fail;
  std::string reason;
  std::optional<long> httpStatus;
  std::optional<int> error;
  std::optional<double> seconds;
};

// A run as the log keeps it.
struct LoggedRun {
  std::int64_t id = 0;
  // UTC, "2026-12-08T10:00:00Z".
  std::string started;
  std::string padUrl;
  std::string program;
  std::string version;
  std::string category;
  std::string sitesVersion;
  std::size_t siteCount = 0;
  std::int64_t retryOf = 0;
  // Counted from the rows of its sites.
  std::size_t passed = 0;
  std::size_t failed = 0;
  std::size_t skipped = 0;
  // EndRun was called: false for a run under way or one that was killed.
  bool ended = false;
  // It ended because the user stopped it.
  bool stopped = false;
};

// Which site a row is about: a site is the same site in two runs when its
// title and URL are the same.
struct SiteKey {
  std::string title;
  std::string url;
};

// A Pass of a site in an earlier run.
struct Acceptance {
  std::int64_t run = 0;
  // The run's start, UTC, as LoggedRun::started.
  std::string started;
  // The Program_Version the run sent.
  std::string version;
};

struct AcceptedSite {
  SiteKey site;
  // Its newest Pass of that version.
  std::string started;
};

struct RunLogProblem {
  enum class Kind {
    // The log cannot be opened or written: the run goes on without it.
    Unusable,
    // The file was not a database: it was renamed and a new log started.
    Replaced,
  };
  Kind kind = Kind::Unusable;
  // In plain words, naming the file: "tesselwick-runs.db: attempt to write a
  // readonly database".
  std::string reason;
};

class RunLog {
 public:
  static constexpr const char* kFileName = "tesselwick-runs.db";
  // The schema this program writes, kept in PRAGMA user_version.
  static constexpr int kSchemaVersion = 1;

  struct Options {
    // How long a write waits for another run that holds the log.
    std::chrono::milliseconds busyTimeout = std::chrono::seconds(5);
    // Rows collected before they are written without waiting for Flush.
    std::size_t batchRows = 64;
    // The longest a recorded row waits in memory before Record writes it.
    std::chrono::milliseconds batchDelay = std::chrono::milliseconds(250);
    // Only reading, for a program that shows the log: the file is opened
    // read-only and never created, its journal mode is left as it is, and a
    // file that is not a database is a problem (Unusable) rather than
    // renamed. An empty file has no runs.
    bool readOnly = false;
  };

  // Opens the log in `folder`, creating it when missing (unless readOnly).
  explicit RunLog(const std::filesystem::path& folder);
  RunLog(const std::filesystem::path& folder, Options options);
  ~RunLog();
  RunLog(RunLog&&) noexcept;
  RunLog& operator=(RunLog&&) noexcept;

  // The log can be read and written; false once a fault made it give up.
  bool Usable() const;
  // The first problem, the first time it is asked for; nothing after that
  // and while there has been none.
  std::optional<RunLogProblem> TakeProblem();
  // The first problem, each time.
  const std::optional<RunLogProblem>& Problem() const;
  std::filesystem::path Path() const;

  // Recording one run at a time. BeginRun ends (as not ended) any run still
  // open and returns the new run's id, 0 when the log is not usable.
  std::int64_t BeginRun(const RunStart& start);
  void Record(const LoggedSite& site);
  // Writes the rows recorded so far.
  void Flush();
  // Writes what is left and marks the run ended (stopped by the user or not).
  void EndRun(bool stopped);
  std::int64_t CurrentRun() const;

  // Queries; empty when the log is not usable.
  // Every run, newest first.
  std::vector<LoggedRun> Runs();
  std::optional<LoggedRun> Run(std::int64_t id);
  // A run's rows in list order.
  std::vector<LoggedSite> Sites(std::int64_t run);
  // The newest run of a PAD URL.
  std::optional<LoggedRun> NewestRun(const std::string& padUrl);
  // The rows of a run whose outcome is Fail, in list order.
  std::vector<LoggedSite> FailedSites(std::int64_t run);
  // A run's sites as its results stand once it ended: for a run that asked
  // the failed sites of another again (retryOf), the rows of that run, itself
  // merged so, with this run's rows in their places; in list order.
  std::vector<LoggedSite> MergedSites(std::int64_t run);
  // For each site, the newest Pass for this PAD URL in a run before
  // `beforeRun` (every run when 0).
  std::vector<std::optional<Acceptance>> LastAccepted(const std::string& padUrl,
                                                      const std::vector<SiteKey>& sites,
                                                      std::int64_t beforeRun = 0);
  // The sites that passed this PAD URL with this Program_Version, with the
  // date of their newest such Pass, newest first; none for an empty version.
  std::vector<AcceptedSite> AcceptedVersion(const std::string& padUrl, const std::string& version);

  // The UTC form the log keeps times in: "2026-12-08T10:00:00Z".
  static std::string UtcTimestamp(std::time_t when);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tesselwick

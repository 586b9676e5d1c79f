#include "core/runs/run_log.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <string_view>
#include <system_error>
#include <utility>

#include "core/platform/system.h"
#include "core/runs/sqlite_db.h"

namespace tesselwick {

namespace fs = std::filesystem;
using sqlite::Database;
using sqlite::Statement;
using sqlite::Transaction;

namespace {

// Targets are the sites as one PAD URL asks them: a site's title, addresses
// and request URL are the same in most runs, so each row refers to one copy.
// The counts of a run are kept by a trigger as its rows are inserted.
constexpr std::string_view kSchema = R"sql(
CREATE TABLE runs(
  id INTEGER PRIMARY KEY,
  started TEXT NOT NULL,
  pad_url TEXT NOT NULL,
  program TEXT NOT NULL,
  version TEXT NOT NULL,
  category TEXT NOT NULL,
  sites_version TEXT NOT NULL,
  site_count INTEGER NOT NULL,
  retry_of INTEGER,
  state INTEGER NOT NULL DEFAULT 0,
  passed INTEGER NOT NULL DEFAULT 0,
  failed INTEGER NOT NULL DEFAULT 0,
  skipped INTEGER NOT NULL DEFAULT 0);
CREATE INDEX runs_by_pad ON runs(pad_url, version);
CREATE TABLE targets(
  id INTEGER PRIMARY KEY,
  pad_url TEXT NOT NULL,
  title TEXT NOT NULL,
  url TEXT NOT NULL,
  submit_url TEXT NOT NULL,
  request_url TEXT NOT NULL,
  UNIQUE(pad_url, title, url, submit_url, request_url));
CREATE TABLE results(
  run_id INTEGER NOT NULL REFERENCES runs(id),
  position INTEGER NOT NULL,
  target_id INTEGER NOT NULL REFERENCES targets(id),
  outcome INTEGER NOT NULL,
  reason TEXT NOT NULL,
  http_status INTEGER,
  error INTEGER,
  seconds REAL,
  PRIMARY KEY(run_id, position)) WITHOUT ROWID;
CREATE INDEX results_by_target ON results(target_id, outcome, run_id);
CREATE TRIGGER results_count AFTER INSERT ON results BEGIN
  UPDATE runs SET passed = passed + (NEW.outcome = 1), failed = failed + (NEW.outcome = 0),
    skipped = skipped + (NEW.outcome = 2) WHERE id = NEW.run_id;
END;
)sql";

// runs.state
constexpr int kUnderWay = 0;
constexpr int kEnded = 1;
constexpr int kStopped = 2;

constexpr const char* kRunColumns =
    "id, started, pad_url, program, version, category, sites_version, site_count, "
    "retry_of, state, passed, failed, skipped";

LoggedRun ReadRun(const Statement& row) {
  LoggedRun run;
  run.id = row.Int(0);
  run.started = row.Text(1);
  run.padUrl = row.Text(2);
  run.program = row.Text(3);
  run.version = row.Text(4);
  run.category = row.Text(5);
  run.sitesVersion = row.Text(6);
  run.siteCount = static_cast<std::size_t>(row.Int(7));
  run.retryOf = row.OptionalInt(8).value_or(0);
  const auto state = row.Int(9);
  run.ended = state != kUnderWay;
  run.stopped = state == kStopped;
  run.passed = static_cast<std::size_t>(row.Int(10));
  run.failed = static_cast<std::size_t>(row.Int(11));
  run.skipped = static_cast<std::size_t>(row.Int(12));
  return run;
}

std::string TwoDigits(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02u", value % 100);
  return text;
}

struct UtcParts {
  int year;
  unsigned month, day, hour, minute, second;
};

UtcParts SplitUtc(std::time_t when) {
  using namespace std::chrono;
  const auto time = sys_seconds(seconds(when));
  const auto day = floor<days>(time);
  const year_month_day date(day);
  const hh_mm_ss clock(time - day);
  return {static_cast<int>(date.year()),
          static_cast<unsigned>(date.month()),
          static_cast<unsigned>(date.day()),
          static_cast<unsigned>(clock.hours().count()),
          static_cast<unsigned>(clock.minutes().count()),
          static_cast<unsigned>(clock.seconds().count())};
}

// "20261208-100000", for the name a damaged file is kept under.
std::string CompactUtc(std::time_t when) {
  const UtcParts t = SplitUtc(when);
  return std::to_string(t.year) + TwoDigits(t.month) + TwoDigits(t.day) + "-" + TwoDigits(t.hour) +
         TwoDigits(t.minute) + TwoDigits(t.second);
}

}  // namespace

std::string RunLog::UtcTimestamp(std::time_t when) {
  const UtcParts t = SplitUtc(when);
  return std::to_string(t.year) + "-" + TwoDigits(t.month) + "-" + TwoDigits(t.day) + "T" +
         TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second) + "Z";
}

struct RunLog::Impl {
  Impl(const fs::path& folder, Options given) : path(folder / kFileName), options(given) {}

  fs::path path;
  Options options;
  std::optional<Database> db;
  std::optional<RunLogProblem> problem;
  bool problemTaken = false;

  std::int64_t run = 0;
  std::string runPadUrl;
  std::vector<LoggedSite> pending;
  std::chrono::steady_clock::time_point firstPending;

  // Prepared once, on the first use.
  std::optional<Statement> findTarget, addTarget, addResult;

  std::string Name() const { return platform::Utf8FromPath(path.filename()); }

  void Fail(RunLogProblem::Kind kind, const std::string& reason) {
    if (!problem) problem = RunLogProblem{kind, Name() + ": " + reason};
  }

  // The log gives up: what a failure of SQLite means for the user.
  void GiveUp(const sqlite::Error& error) {
    if (error.Busy()) {
      const auto ms = options.busyTimeout.count();
      Fail(RunLogProblem::Kind::Unusable,
           "another run of the program has held it for more than " +
               (ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms"));
    } else {
      Fail(RunLogProblem::Kind::Unusable, error.what());
    }
    findTarget.reset();
    addTarget.reset();
    addResult.reset();
    db.reset();
    pending.clear();
    run = 0;
  }

  void Connect() {
    db.emplace(platform::Utf8FromPath(path),
               options.readOnly ? Database::Mode::ReadOnly : Database::Mode::ReadWriteCreate);
    db->SetBusyTimeout(static_cast<int>(options.busyTimeout.count()));
    // Reading the header finds a file that is not a database.
    Statement version = db->Prepare("PRAGMA user_version");
    version.Step();
    int schema = static_cast<int>(version.Int(0));
    version.Reset();
    if (options.readOnly) {
      // A log without its tables (an empty file) has no runs to show.
      if (schema == 0) db.reset();
      if (schema > kSchemaVersion) TooNew(schema);
      return;
    }
    db->Execute("PRAGMA journal_mode=WAL");
    // In WAL mode a commit is safe from a killed process without a sync;
    // a power cut may lose the newest commits, never the file.
    db->Execute("PRAGMA synchronous=NORMAL");
    if (schema == 0) {
      // Two programs may start a new log at once: the second one finds the
      // schema there once it has the lock.
      Transaction creating(*db);
      version.Step();
      schema = static_cast<int>(version.Int(0));
      version.Reset();
      if (schema == 0) {
        db->Execute(kSchema);
        db->Execute("PRAGMA user_version=" + std::to_string(kSchemaVersion));
        schema = kSchemaVersion;
      }
      creating.Commit();
    }
    if (schema > kSchemaVersion) TooNew(schema);
  }

  void TooNew(int schema) {
    db.reset();
    Fail(
        RunLogProblem::Kind::Unusable,
        "it was written by a newer version of the program (schema " + std::to_string(schema) + ")");
  }

  // Keeps a file that is not a database under a name of its own, with its
  // journal files, so that a new log can be started in its place.
  bool SetAside() {
    fs::path kept;
    const std::string base =
        platform::Utf8FromPath(path) + ".corrupt-" + CompactUtc(std::time(nullptr));
    kept = platform::PathFromUtf8(base);
    std::error_code error;
    for (int n = 1; fs::exists(kept, error) || error; ++n) {
      if (error) return false;
      kept = platform::PathFromUtf8(base + "-" + std::to_string(n));
    }
    fs::rename(path, kept, error);
    if (error) {
      Fail(RunLogProblem::Kind::Unusable,
           "it is not a database, and it cannot be renamed: " + error.message());
      return false;
    }
    for (const char* suffix : {"-wal", "-shm"}) {
      fs::path side = path;
      side += suffix;
      fs::path keptSide = kept;
      keptSide += suffix;
      std::error_code ignored;
      if (fs::exists(side, ignored)) fs::rename(side, keptSide, ignored);
    }
    Fail(RunLogProblem::Kind::Replaced, "it was not a database; it is kept as " +
                                            platform::Utf8FromPath(kept.filename()) +
                                            " and a new log was started");
    return true;
  }

  // A file that does not begin as every SQLite database does. It is told
  // before SQLite opens it, since SQLite's closing of a file it cannot read
  // removes the journal files beside it.
  bool ForeignFile() const {
    static constexpr std::string_view kMagic("SQLite format 3\0", 16);
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    char head[16] = {};
    file.read(head, sizeof head);
    const auto size = static_cast<std::size_t>(file.gcount());
    // An empty file is an empty database.
    return size > 0 && std::string_view(head, size) != kMagic;
  }

  void Open() {
    // A FIFO would hold the run for ever in the first read of it, SQLite's
    // or ours; a folder, a FIFO or a device in the log's place is no log.
    std::error_code statusError;
    const fs::file_status kind = fs::status(path, statusError);
    if (!statusError && fs::exists(kind) && !fs::is_regular_file(kind)) {
      Fail(RunLogProblem::Kind::Unusable,
           fs::is_directory(kind) ? "it is a folder" : "it is not a regular file");
      return;
    }
    bool setAside = ForeignFile();
    if (!setAside) {
      try {
        Connect();
        return;
      } catch (const sqlite::Error& error) {
        db.reset();
        if (!error.NotADatabase() || options.readOnly) {
          GiveUp(error);
          return;
        }
      }
    }
    // A reader leaves the file as it found it.
    if (options.readOnly) {
      Fail(RunLogProblem::Kind::Unusable, "it is not a database");
      return;
    }
    if (!SetAside()) return;
    try {
      Connect();
    } catch (const sqlite::Error& error) {
      // The reason of the renaming stays the one reported.
      problem.reset();
      GiveUp(error);
    }
  }

  std::int64_t TargetId(const LoggedSite& site, const std::string& padUrl) {
    if (!findTarget) {
      findTarget = db->Prepare(
          "SELECT id FROM targets WHERE pad_url = ?1 AND title = ?2 AND url = ?3 AND "
          "submit_url = ?4 AND request_url = ?5");
      addTarget = db->Prepare(
          "INSERT INTO targets(pad_url, title, url, submit_url, request_url) "
          "VALUES(?1, ?2, ?3, ?4, ?5)");
    }
    for (Statement* s : {&*findTarget, &*addTarget}) {
      s->Bind(1, padUrl).Bind(2, site.title).Bind(3, site.url).Bind(4, site.submitUrl);
      s->Bind(5, site.requestUrl);
    }
    if (findTarget->Step()) {
      const std::int64_t id = findTarget->Int(0);
      findTarget->Reset();
      return id;
    }
    findTarget->Reset();
    addTarget->Run();
    return db->LastInsertId();
  }

  void WritePending() {
    if (!db || pending.empty() || run == 0) {
      pending.clear();
      return;
    }
    try {
      Transaction batch(*db);
      if (!addResult) {
        addResult = db->Prepare(
            "INSERT OR IGNORE INTO results(run_id, position, target_id, outcome, reason, "
            "http_status, error, seconds) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
      }
      for (const LoggedSite& site : pending) {
        const std::int64_t target = TargetId(site, runPadUrl);
        addResult->Bind(1, run).Bind(2, static_cast<std::int64_t>(site.position)).Bind(3, target);
        addResult->Bind(4, static_cast<int>(site.outcome)).Bind(5, site.reason);
        addResult->Bind(
            6, site.httpStatus ? std::optional<std::int64_t>(*site.httpStatus) : std::nullopt);
        addResult->Bind(7, site.error ? std::optional<std::int64_t>(*site.error) : std::nullopt);
        addResult->Bind(8, site.seconds);
        addResult->Run();
      }
      batch.Commit();
      pending.clear();
    } catch (const sqlite::Error& error) {
      GiveUp(error);
    }
  }

  template <typename Query>
  auto Read(Query query) -> decltype(query(*db)) {
    if (!db) return {};
    try {
      return query(*db);
    } catch (const sqlite::Error& error) {
      GiveUp(error);
      return {};
    }
  }
};

RunLog::RunLog(const fs::path& folder) : RunLog(folder, Options{}) {}

RunLog::RunLog(const fs::path& folder, Options options)
    : impl_(std::make_unique<Impl>(folder, options)) {
  impl_->Open();
}

RunLog::~RunLog() {
  // A run the owner never ended keeps its rows and shows as not ended.
  if (impl_) impl_->WritePending();
}

RunLog::RunLog(RunLog&&) noexcept = default;
RunLog& RunLog::operator=(RunLog&&) noexcept = default;

bool RunLog::Usable() const { return impl_->db.has_value(); }

std::optional<RunLogProblem> RunLog::TakeProblem() {
  if (!impl_->problem || impl_->problemTaken) return std::nullopt;
  impl_->problemTaken = true;
  return impl_->problem;
}

const std::optional<RunLogProblem>& RunLog::Problem() const { return impl_->problem; }

fs::path RunLog::Path() const { return impl_->path; }

std::int64_t RunLog::CurrentRun() const { return impl_->run; }

std::int64_t RunLog::BeginRun(const RunStart& start) {
  Impl& log = *impl_;
  log.WritePending();
  log.run = 0;
  if (!log.db) return 0;
  try {
    Statement add = log.db->Prepare(
        "INSERT INTO runs(started, pad_url, program, version, category, sites_version, "
        "site_count, retry_of) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    add.Bind(1, UtcTimestamp(start.started)).Bind(2, start.padUrl).Bind(3, start.program);
    add.Bind(4, start.version).Bind(5, start.category).Bind(6, start.sitesVersion);
    add.Bind(7, static_cast<std::int64_t>(start.siteCount));
    add.Bind(8, start.retryOf ? std::optional<std::int64_t>(start.retryOf) : std::nullopt);
    // A statement of its own is a transaction of its own; the busy timeout
    // covers its wait for the lock.
    add.Run();
    log.run = log.db->LastInsertId();
    log.runPadUrl = start.padUrl;
  } catch (const sqlite::Error& error) {
    log.GiveUp(error);
  }
  return log.run;
}

void RunLog::Record(const LoggedSite& site) {
  Impl& log = *impl_;
  if (!log.db || log.run == 0) return;
  const auto now = std::chrono::steady_clock::now();
  if (log.pending.empty()) log.firstPending = now;
  log.pending.push_back(site);
  if (log.pending.size() >= log.options.batchRows ||
      now - log.firstPending >= log.options.batchDelay)
    log.WritePending();
}

void RunLog::Flush() { impl_->WritePending(); }

void RunLog::EndRun(bool stopped) {
  Impl& log = *impl_;
  log.WritePending();
  if (!log.db || log.run == 0) return;
  try {
    Statement end = log.db->Prepare("UPDATE runs SET state = ?1 WHERE id = ?2");
    end.Bind(1, stopped ? kStopped : kEnded).Bind(2, log.run);
    end.Run();
  } catch (const sqlite::Error& error) {
    log.GiveUp(error);
  }
  log.run = 0;
}

std::vector<LoggedRun> RunLog::Runs() {
  return impl_->Read([](Database& db) {
    std::vector<LoggedRun> runs;
    Statement query =
        db.Prepare(std::string("SELECT ") + kRunColumns + " FROM runs ORDER BY id DESC");
    while (query.Step()) runs.push_back(ReadRun(query));
    return runs;
  });
}

std::optional<LoggedRun> RunLog::Run(std::int64_t id) {
  return impl_->Read([id](Database& db) -> std::optional<LoggedRun> {
    Statement query = db.Prepare(std::string("SELECT ") + kRunColumns + " FROM runs WHERE id = ?1");
    query.Bind(1, id);
    if (!query.Step()) return std::nullopt;
    return ReadRun(query);
  });
}

std::optional<LoggedRun> RunLog::NewestRun(const std::string& padUrl) {
  return impl_->Read([&padUrl](Database& db) -> std::optional<LoggedRun> {
    Statement query = db.Prepare(std::string("SELECT ") + kRunColumns +
                                 " FROM runs WHERE pad_url = ?1 ORDER BY id DESC LIMIT 1");
    query.Bind(1, padUrl);
    if (!query.Step()) return std::nullopt;
    return ReadRun(query);
  });
}

namespace {

std::vector<LoggedSite> ReadSites(Database& db, std::int64_t run, bool failedOnly) {
  std::vector<LoggedSite> sites;
  Statement query = db.Prepare(
      "SELECT s.position, t.title, t.url, t.submit_url, t.request_url, s.outcome, s.reason, "
      "s.http_status, s.error, s.seconds FROM results s JOIN targets t ON t.id = s.target_id "
      "WHERE s.run_id = ?1 AND (?2 = 0 OR s.outcome = 0) ORDER BY s.position");
  query.Bind(1, run).Bind(2, failedOnly ? 1 : 0);
  while (query.Step()) {
    LoggedSite site;
    site.position = static_cast<std::size_t>(query.Int(0));
    site.title = query.Text(1);
    site.url = query.Text(2);
    site.submitUrl = query.Text(3);
    site.requestUrl = query.Text(4);
    site.outcome = static_cast<SiteOutcome>(query.Int(5));
    site.reason = query.Text(6);
    if (auto status = query.OptionalInt(7)) site.httpStatus = static_cast<long>(*status);
    if (auto error = query.OptionalInt(8)) site.error = static_cast<int>(*error);
    site.seconds = query.OptionalReal(9);
    sites.push_back(std::move(site));
  }
  return sites;
}

}  // namespace

std::vector<LoggedSite> RunLog::Sites(std::int64_t run) {
  return impl_->Read([run](Database& db) { return ReadSites(db, run, false); });
}

std::vector<LoggedSite> RunLog::FailedSites(std::int64_t run) {
  return impl_->Read([run](Database& db) { return ReadSites(db, run, true); });
}

std::vector<LoggedSite> RunLog::MergedSites(std::int64_t run) {
  return impl_->Read([run](Database& db) {
    // The runs from the first submission to this one. Each retried run is
    // older than its retry, so the chain ends; a file edited by hand into a
    // loop ends where the ids stop going down.
    std::vector<std::int64_t> chain;
    Statement up = db.Prepare("SELECT retry_of FROM runs WHERE id = ?1");
    for (std::int64_t id = run; id > 0 && (chain.empty() || id < chain.back());) {
      chain.push_back(id);
      up.Bind(1, id);
      id = up.Step() ? up.OptionalInt(0).value_or(0) : 0;
      up.Reset();
    }
    std::map<std::size_t, LoggedSite> merged;
    Transaction reading(db, Transaction::Kind::Read);
    for (auto id = chain.rbegin(); id != chain.rend(); ++id) {
      for (LoggedSite& site : ReadSites(db, *id, false)) merged[site.position] = std::move(site);
    }
    reading.Commit();
    std::vector<LoggedSite> sites;
    sites.reserve(merged.size());
    for (auto& [position, site] : merged) sites.push_back(std::move(site));
    return sites;
  });
}

std::vector<std::optional<Acceptance>> RunLog::LastAccepted(const std::string& padUrl,
                                                            const std::vector<SiteKey>& sites,
                                                            std::int64_t beforeRun) {
  auto found = impl_->Read([&](Database& db) {
    std::vector<std::optional<Acceptance>> accepted;
    accepted.reserve(sites.size());
    // For each target of the site (one per request URL it was asked with),
    // the newest passing run is the last entry of results_by_target.
    Statement query = db.Prepare(
        "SELECT r.id, r.started, r.version FROM runs r WHERE r.id = ("
        " SELECT MAX((SELECT MAX(s.run_id) FROM results s WHERE s.target_id = t.id"
        "  AND s.outcome = 1 AND s.run_id < ?4))"
        " FROM targets t WHERE t.pad_url = ?1 AND t.title = ?2 AND t.url = ?3)");
    const std::int64_t before = beforeRun > 0 ? beforeRun : INT64_MAX;
    // One read transaction for all of them: one snapshot, one lock taken.
    Transaction reading(db, Transaction::Kind::Read);
    for (const SiteKey& site : sites) {
      query.Bind(1, padUrl).Bind(2, site.title).Bind(3, site.url).Bind(4, before);
      if (query.Step()) {
        accepted.push_back(Acceptance{query.Int(0), query.Text(1), query.Text(2)});
      } else {
        accepted.emplace_back();
      }
      query.Reset();
    }
    reading.Commit();
    return accepted;
  });
  // A log that cannot be read knows of no acceptance.
  found.resize(sites.size());
  return found;
}

std::vector<AcceptedSite> RunLog::AcceptedVersion(const std::string& padUrl,
                                                  const std::string& version) {
  if (version.empty()) return {};
  return impl_->Read([&](Database& db) {
    std::vector<AcceptedSite> accepted;
    Statement query = db.Prepare(
        "SELECT t.title, t.url, MAX(r.started) AS newest FROM runs r"
        " JOIN results s ON s.run_id = r.id AND s.outcome = 1"
        " JOIN targets t ON t.id = s.target_id"
        " WHERE r.pad_url = ?1 AND r.version = ?2"
        " GROUP BY t.title, t.url ORDER BY newest DESC, t.title, t.url");
    query.Bind(1, padUrl).Bind(2, version);
    while (query.Step()) accepted.push_back({{query.Text(0), query.Text(1)}, query.Text(2)});
    return accepted;
  });
}

}  // namespace tesselwick

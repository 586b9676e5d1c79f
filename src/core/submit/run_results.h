#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/net/http_fetch.h"
#include "core/net/judgement.h"
#include "core/runs/run_log.h"
#include "core/sites/site_record.h"
#include "core/submit/report.h"
#include "core/submit/site_run.h"

namespace tesselwick {

// How one site of a submission fared, as the results show it.
struct SiteResult {
  SiteRecord site;
  // How the site fared: its answer's judgement, or that the run was stopped
  // before it was asked (NotSent) or before it answered (NoAnswer).
  Judgement judgement;
  // How long the request took, when it finished.
  std::optional<double> seconds;

  // Set when the site was not asked because it had accepted this very
  // version before: its newest such Pass.
  std::optional<Acceptance> skippedFor;

  bool Skipped() const { return skippedFor.has_value(); }
  // The site's request ended, with an answer or an error, or the site had
  // nothing to ask, or it was skipped; false when the run was stopped before
  // that.
  bool Finished() const { return Skipped() || judgement.Finished(); }
  bool Passed() const { return !Skipped() && judgement.Passed(); }
  // Why: "HTTP 200" for a pass; for a failure the error number with its
  // words, the status, the error word of the answer, "no request template",
  // or that the run was stopped (reasons::kNotSent, kNoAnswer); for a skipped
  // site "accepted 2.4 on 2026-12-08".
  std::string Reason() const;
  // The final answer's HTTP status, when there was an answer.
  std::optional<long> HttpStatus() const;
  // The error number, when the request failed.
  std::optional<int> Error() const;

  // The status word: "Pass", "Fail" (a site never asked did not pass) or
  // "Skipped".
  const char* Word() const;
};

// The day of a time the run log keeps, "2026-12-08" of "2026-12-08T10:00:00Z".
std::string LoggedDay(const std::string& started);

// Why a site was skipped: "accepted 2.4 on 2026-12-08", from `pattern`
// (reasons::kAccepted, or its translation where the window shows it).
std::string SkippedReason(const Acceptance& accepted, const char* pattern = reasons::kAccepted);

// An earlier Pass as the results show it: its date (UTC) and the version
// sent, "2026-12-08 2.4"; the date alone when no version was sent.
std::string AcceptedText(const Acceptance& accepted);

// Takes a finished site's answer and how it was judged into its result.
void TakeAnswer(SiteResult& result, const FetchResult& answer, const Judgement& judgement);

// The outcome of a submission's sites, kept after its run so that the user
// can look at it and ask the failed sites again.
class RunResults {
 public:
  RunResults(std::vector<SiteRecord> sites, std::string padUrl, std::string category,
             std::string date);

  // Takes the outcome of every site of `run`, which asked the sites of this
  // result at `listIndices` (its site i is this result's listIndices[i]); an
  // empty `listIndices` means the run asked every site in list order.
  void Take(const SiteRun& run, const std::vector<std::size_t>& listIndices = {});

  // A run over the sites that did not pass, in list order, with the same PAD
  // URL and category; TakeRetry takes its outcome. Nothing when every site
  // passed.
  std::unique_ptr<SiteRun> RetryRun(const FetchLimits& limits, int maxConcurrent);
  void TakeRetry(const SiteRun& retry);

  const std::vector<SiteResult>& Sites() const { return sites_; }
  std::size_t Count() const { return sites_.size(); }
  std::size_t Passed() const;
  // Sites not asked because they had accepted this version before.
  std::size_t Skipped() const;
  // Gives the site at `index` the outcome it had, as a recorded run keeps it.
  void Restore(std::size_t index, Judgement judgement, std::optional<double> seconds) {
    sites_[index].judgement = judgement;
    sites_[index].seconds = seconds;
  }
  // Marks the site at `index` as skipped for its earlier Pass.
  void Skip(std::size_t index, Acceptance accepted) {
    sites_[index].skippedFor = std::move(accepted);
  }
  // Every site asked, or to be asked, that did not pass.
  std::size_t Failed() const { return Count() - Passed() - Skipped(); }
  std::size_t Finished() const;
  // Some site's request never ended because the user stopped the run.
  bool Stopped() const { return Finished() < Count(); }
  // The list indices of the sites that did not pass, the skipped ones left out.
  std::vector<std::size_t> FailedSites() const;

  const std::string& PadUrl() const { return padUrl_; }
  // The category as sent to the sites (escaped for a URL query).
  const std::string& Category() const { return category_; }
  // The date of the latest run, which the report's rows carry.
  const std::string& Date() const { return date_; }
  void SetDate(std::string date) { date_ = std::move(date); }
  // The URL a site is asked with; nothing when it would be too long to send.
  std::optional<std::string> RequestUrl(std::size_t index) const;

  // The run log's run of the latest asking (0: not recorded) and what it was
  // begun with, for the run of a retry.
  void SetLogged(std::int64_t run, RunStart start) {
    loggedRun_ = run;
    loggedStart_ = std::move(start);
  }
  std::int64_t LoggedRun() const { return loggedRun_; }
  // Each site's newest Pass of this PAD URL in an earlier recorded run, as
  // the run log knew them when the run began.
  void SetLastAccepted(std::vector<std::optional<Acceptance>> accepted) {
    lastAccepted_ = std::move(accepted);
  }
  std::optional<Acceptance> LastAccepted(std::size_t index) const {
    return index < lastAccepted_.size() ? lastAccepted_[index] : std::nullopt;
  }
  const RunStart& LoggedStart() const { return loggedStart_; }

  // The report's rows: the sites that finished, in list order, each made as it
  // is written.
  ReportRows Rows() const;
  ReportCounts Counts() const;

 private:
  std::vector<SiteResult> sites_;
  std::string padUrl_;
  std::string category_;
  std::string date_;
  std::int64_t loggedRun_ = 0;
  std::vector<std::optional<Acceptance>> lastAccepted_;
  RunStart loggedStart_;
  // The list indices asked by the retry run under way.
  std::vector<std::size_t> retried_;
};

}  // namespace tesselwick

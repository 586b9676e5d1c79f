#pragma once

#include <atomic>
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/net/http_fetch.h"
#include "core/net/judgement.h"
#include "core/sites/site_record.h"
#include "core/submit/run_progress.h"

namespace tesselwick::cli {

// A text as one printable line: every control character (C0, DEL, and C1
// whether as a raw byte or encoded in UTF-8) becomes '?', so site data can
// neither break the one-line-per-site output nor steer the terminal, be it
// one that reads UTF-8 or single bytes. Other UTF-8 sequences stay whole.
std::string PrintableText(std::string_view text);

// The line printed for a site that finished: "Pass  Title" or
// "Fail  Title  (reason)", without the line feed.
std::string SiteLine(const SiteRecord& site, const Judgement& judgement);

// How the command-line tool follows a submission run: it prints each site's
// line on `out` as the run tells it, and when `err` is a terminal it keeps a
// one-line status there ("\r", rewritten in place, no escape codes). When
// `interrupted` becomes true (Ctrl+C), it asks the run to stop; the requests
// under way are abandoned.
class ConsoleRunProgress : public RunProgress, public SubmissionObserver {
 public:
  // `padUrl` is the PAD URL as typed, for the status line.
  ConsoleRunProgress(std::ostream& out, std::ostream& err, bool showStatus, int columns,
                     const std::atomic<bool>* interrupted, std::string padUrl);

  void Wait(BackgroundFetch& padFile) override;
  void FollowSites(SiteRun& run) override;

  void SiteFinished(std::size_t index, const FetchResult& answer,
                    const Judgement& judgement) override;
  void Awaiting(const std::vector<std::size_t>& indices) override;
  bool StopRequested() override;

  // True once the sites were requested: the PAD file was fetched and had a
  // category (an empty site list counts too).
  bool SitesRequested() const { return sitesRequested_; }
  // The run was stopped before every answer was in.
  bool Stopped() const { return stopped_; }
  int Passed() const { return passed_; }
  int Failed() const { return failed_; }
  // Sites of the run that never finished because it was stopped.
  std::size_t Unfinished() const { return unfinished_; }

 private:
  bool Interrupted() const;
  void ShowStatus(const std::string& text);
  void ClearStatus();

  std::ostream& out_;
  std::ostream& err_;
  const bool showStatus_;
  const std::size_t columns_;
  const std::atomic<bool>* interrupted_;
  const std::string padUrl_;
  // The run being followed, and the status line it last called for.
  SiteRun* run_ = nullptr;
  std::string status_;
  // How many bytes of status are on the terminal's current line.
  std::size_t statusShown_ = 0;
  std::string lastStatus_;

  bool sitesRequested_ = false;
  bool stopped_ = false;
  int passed_ = 0;
  int failed_ = 0;
  std::size_t unfinished_ = 0;
};

}  // namespace tesselwick::cli

#pragma once

#include <atomic>
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/app/controls.h"
#include "core/net/http_fetch.h"
#include "core/sites/site_record.h"

namespace tesselwick::cli {

// A text as one printable line: every control character (C0, DEL, and C1
// whether as a raw byte or encoded in UTF-8) becomes '?', so site data can
// neither break the one-line-per-site output nor steer the terminal, be it
// one that reads UTF-8 or single bytes. Other UTF-8 sequences stay whole.
std::string PrintableText(std::string_view text);

// The line printed for a site that finished: "Pass  Title" or
// "Fail  Title  (reason)", without the line feed.
std::string SiteLine(const SiteRecord& site, const FetchResult& answer);

// How the command-line tool waits for a submission run: it takes every answer
// with Wait as it arrives and prints the site's line on `out` at once; when
// `err` is a terminal it keeps a one-line status there ("\r", rewritten in
// place, no escape codes). When `interrupted` becomes true (Ctrl+C), the run
// is stopped; the requests under way are abandoned.
class ConsoleRunProgress : public RunProgress {
 public:
  ConsoleRunProgress(std::ostream& out, std::ostream& err, bool showStatus, int columns,
                     const std::atomic<bool>* interrupted);

  void WaitForPadFile(SiteRequests& requests, const std::string& padUrl) override;
  void WaitForSites(SiteRequests& requests, const std::vector<SiteRecord>& sites) override;

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

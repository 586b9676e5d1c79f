#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/net/background_fetch.h"
#include "core/sites/site_catalog.h"
#include "core/sites/site_record.h"
#include "core/submit/run_results.h"
#include "core/submit/site_run.h"

namespace tesselwick {

// The small interfaces through which the logic drives its window's controls.
// The wx layer implements them; the tests fake them.

// The PAD-URL box: an editable drop-down whose list order the logic keeps.
class UrlBoxControl {
 public:
  virtual ~UrlBoxControl() = default;
  virtual std::string EditText() const = 0;
  virtual void SetEditText(const std::string& text) = 0;
  virtual void InsertEntry(int index, const std::string& text) = 0;
  // Replaces the whole list.
  virtual void SetEntries(const std::vector<std::string>& entries) = 0;
  virtual void SelectEntry(int index) = 0;
};

// The four-column site table.
class SiteTableControl {
 public:
  virtual ~SiteTableControl() = default;
  virtual void CreateColumns(const std::vector<std::string>& headings) = 0;
  // Shows the sites of `sites`, row 0 at the top. The table reads them from
  // there when it draws, until the next call; it keeps no sites of its own.
  virtual void ShowSites(const SiteCatalog& sites) = 0;
  // Fits every column to the larger of its contents and its heading.
  virtual void FitColumns() = 0;
};

// A read-only or editable single-line text box.
class TextControl {
 public:
  virtual ~TextControl() = default;
  virtual std::string Text() const = 0;
  virtual void SetText(const std::string& text) = 0;
};

// Message boxes owned by the window: OK only, no icon; and a question with
// two buttons of its own words.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void ShowMessage(std::string_view text, std::string_view caption) = 0;
  // A warning box with the buttons `yes` and `no`; true when the user chose
  // `yes`, false for `no` or when the box was closed.
  virtual bool Ask(std::string_view text, std::string_view caption, std::string_view yes,
                   std::string_view no) = 0;
};

// Hands a page or file to the desktop's default browser; never blocks, never
// reports.
class ShellOpener {
 public:
  virtual ~ShellOpener() = default;
  virtual void Open(const std::string& target) = 0;
};

// What the user can do with a run's results: ask the sites that did not pass
// again, and look at the report once more.
class RunResultsActions {
 public:
  virtual ~RunResultsActions() = default;
  // Asks the failed sites again (through RunProgress::FollowSites), takes
  // their outcomes into the results, and writes and opens the report again.
  virtual void RetryFailed() = 0;
  virtual void OpenReport() = 0;
};

// Keeps a front end alive while a submission run waits for the network: the
// PAD file's request (FetchWaiter::Wait, which returns once the fetch is
// Done), then the sites' requests; then shows what came of them.
class RunProgress : public FetchWaiter {
 public:
  // Steps `run` until it is over (SiteRun::Step, with an observer that shows
  // its progress and may stop it).
  virtual void FollowSites(SiteRun& run) = 0;
  // Shows the results of the sites' requests, once their report is written,
  // until the user is done with them; `results` changes when the user asks
  // the failed sites again through `actions`.
  virtual void ShowResults(const RunResults& results, RunResultsActions& actions) {
    (void)results;
    (void)actions;
  }
};

}  // namespace tesselwick

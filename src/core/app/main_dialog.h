#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/app/controls.h"
#include "core/history/url_history.h"
#include "core/net/http_fetch.h"
#include "core/net/request_pool.h"
#include "core/sites/site_catalog.h"
#include "core/sites/site_record.h"
#include "core/submit/report.h"
#include "core/submit/run_progress.h"
#include "core/submit/run_results.h"
#include "core/submit/submit_flow.h"
#include "core/text/messages.h"

namespace tesselwick {

// The controls of the main window that the logic reads and writes.
struct MainDialogControls {
  UrlBoxControl& urlBox;
  SiteTableControl& siteList;
  TextControl& siteCount;
  MessageSink& messages;
  ShellOpener& shell;
};

// The main window's working state and commands, without any widget.
// Pull copies the controls into the fields, Push the fields into the controls;
// both are called exactly where the commands need them, so the PAD URL is
// taken from its box at the same moments as the user expects.
class MainDialog : public RunResultsActions {
 public:
  // Files are kept in `folder` (the program's working folder).
  MainDialog(MainDialogControls controls, std::filesystem::path folder = ".");

  // Runs the update dialog with the program's and the site list's versions.
  std::function<void(const std::string& programVersion, const std::string& sitesVersion)>
      runUpdateDialog;
  // Limits of every retrieval; tests shorten them.
  FetchLimits fetchLimits;
  // Shows a submission run while its sites are requested; without one the run
  // waits for its sites without showing anything.
  RunProgress* runProgress = nullptr;
  // What Help opens: the web site's manual, or the installed one (ManualAddress).
  std::string manualAddress = std::string(program::kSiteUrl) + "/manual.htm";
  // How many sites a submission run requests at once (never more than four
  // to one host).
  int maxConcurrentRequests = RequestPool::kDefaultConcurrency;

  // --- working state ---
  std::string PadCategory;
  std::string ResponseText;
  std::string ErrorText;
  // HTTP status of the last block-mode answer; 0 when the retrieval failed.
  long ResponseStatus = 0;
  std::string SitesVersion;
  SiteRecord CurrentSite;
  int SiteCount = 0;
  std::string PadUrl;

  // --- data exchange ---
  void Pull();
  void Push();

  // --- the window's life ---
  // Creates the site columns, loads pad.dat, then the URL history.
  void Initialise();
  // When the window goes away, however it was closed.
  void CloseDown();

  // --- commands ---
  void OnShowManual();
  void OnUpdateSites();
  void SubmissionRun();
  // What the results of the last run offer: the sites that did not pass
  // asked again with the same PAD URL and category, their outcomes taken and
  // the report written and opened again; the report opened once more.
  void RetryFailed() override;
  void OpenReport() override;
  // The results of the last submission whose sites were asked; nullptr
  // before one.
  const RunResults* LastRun() const { return lastRun_.get(); }

  // --- site list ---
  void CreateSiteColumns();
  void AutosizeSiteColumns();
  void ReadSiteRow(int index);
  void CountSites();
  void LoadSiteFile();
  void ResetCurrentSite();

  // --- URL history ---
  void LoadUrlHistory();
  void RememberPadUrl();
  void SaveUrlHistory();
  // The PAD-URL box's list.
  const UrlHistory& History() const { return history_; }
  // The site list's sites, in its order.
  const SiteCatalog& Sites() const { return sites_; }

  // --- retrieval, category, report ---
  // Takes the PAD file's category, as FetchPadFile took it from ResponseText.
  void ExtractCategory(std::string category);
  void WriteReport(const std::string& rows);
  // Writes the report with the rows that `rows` gives as the page is made,
  // and the run's counts.
  void WriteReport(const ReportRows& rows, const ReportCounts& counts = {});

  std::filesystem::path FilePath(const char* name) const { return folder_ / name; }
  MainDialogControls& Controls() { return controls_; }

 private:
  // Draws a Submit's notices in the window.
  class WindowSubmit;
  // What a Submit or a retry of this window works with.
  SubmitRequest Request();

  MainDialogControls controls_;
  std::filesystem::path folder_;
  UrlHistory history_;
  SiteCatalog sites_;
  std::unique_ptr<RunResults> lastRun_;
};

// What Help opens: the manual installed with the program (`installedManual`,
// a file) when the program's web site is the bundled one on this computer,
// which answers only while someone runs it, and the manual exists; otherwise
// the web site's "manual.htm".
std::string ManualAddress(std::string_view siteUrl, const std::filesystem::path& installedManual);

}  // namespace tesselwick

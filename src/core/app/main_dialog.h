#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/app/controls.h"
#include "core/net/http_fetch.h"
#include "core/sites/site_record.h"
#include "core/submit/report.h"

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
class MainDialog {
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
  // How many sites a submission run requests at once.
  int maxConcurrentRequests = 16;

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
  // The PAD-URL box's list, in its order (see UrlEntryLess).
  std::vector<std::string> UrlEntries;

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

  // --- site list ---
  void CreateSiteColumns();
  void AutosizeSiteColumns();
  void AddSiteRow();
  void ReadSiteRow(int index);
  void CountSites();
  void LoadSiteFile();
  void ResetCurrentSite();

  // --- URL history ---
  void LoadUrlHistory();
  // Takes the history from the text of tesselwick.ini (LF line ends): "URL" is
  // the last session's PAD URL, "URL1" to "URL10" are list entries.
  void ReadUrlHistory(std::string_view text);
  void RememberPadUrl();
  void SaveUrlHistory();
  // Index of the entry equal to text with ASCII letter case ignored, or -1.
  int FindUrlEntryNoCase(const std::string& text) const;
  // Adds an entry at its place in the list order.
  void AddUrlEntry(const std::string& text);

  // --- retrieval, category, report ---
  bool FetchBlocks(const std::string& url);
  void ExtractCategory();
  void WriteReport(const std::string& rows);
  // Writes the report with the rows that `rows` gives as the page is made.
  void WriteReport(const ReportRows& rows);
  std::string ReadTextFile(const std::string& name);

  std::filesystem::path FilePath(const char* name) const { return folder_ / name; }
  MainDialogControls& Controls() { return controls_; }

 private:
  MainDialogControls controls_;
  std::filesystem::path folder_;
  // The PAD URL of the last submission in this run of the program: its entry
  // is always among those saved.
  std::string usedPadUrl_;
};

// The PAD-URL list's order: byte order after folding ASCII letters to lower case.
bool UrlEntryLess(const std::string& a, const std::string& b);
bool EqualsNoCase(const std::string& a, const std::string& b);
// The text with ASCII letters folded to lower case: equal for two texts
// exactly when EqualsNoCase is true.
std::string FoldAsciiCase(std::string text);

}  // namespace tesselwick

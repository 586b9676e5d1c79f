#pragma once

// The program's fixed texts: captions and messages of its windows. Every
// text here is shown on screen and goes into the translators' catalogue as it
// stands; the windows look each one up with Tr or wx's _() where they show it
// (message boxes do it for every text they are given). Texts that go into
// files belong elsewhere. File names, the version and the web site are in
// core/text/program.h.

#include "core/text/program.h"

namespace tesselwick::texts {

inline constexpr const char* kMainCaption = "TesselWick";
inline constexpr const char* kAboutCaption = "About TesselWick";
inline constexpr const char* kAboutVersionLine = "TesselWick Version 1.0";
inline constexpr const char* kAboutSecondLine = "Submits your PAD file to download sites.";
inline constexpr const char* kAboutMenuEntry = "&About TesselWick...";
inline constexpr const char* kSocketsFailed = "Windows sockets initialization failed.";
inline constexpr const char* kInternalError = "Internal application error.";

// The main window's labels and the names that screen readers give its
// controls.
inline constexpr const char* kPadUrlLabel = "PAD URL:";
inline constexpr const char* kSitesLabel = "Sites:";
inline constexpr const char* kSiteListName = "Download sites";
inline constexpr const char* kNoSitesYet = "No sites yet: press Update to download the site list";

// The main window's boxes about its files and the PAD file: text, caption.
inline constexpr const char* kPadFileCaption = "Error Loading Your PAD File.";
inline constexpr const char* kNoCategory = "Your PAD File Needs to Contain a Category";
inline constexpr const char* kPadUrlControlCharacters =
    "Your PAD URL holds a line break or another control character. Type the address on one "
    "line and submit again.";
// The box that lists the PAD file's problems before any site is asked: its
// caption, the line above the problems, the question below, the buttons.
inline constexpr const char* kPadProblemsCaption = "Check Your PAD File";
inline constexpr const char* kPadProblemsIntro =
    "Download sites are likely to reject your PAD file:";
inline constexpr const char* kPadProblemsQuestion = "Submit it to every site anyway?";
inline constexpr const char* kSubmitAnyway = "Submit Anyway";
inline constexpr const char* kCancel = "Cancel";
inline constexpr const char* kTemplateUnreadable = "Error loading file";
inline constexpr const char* kTemplateUnreadableCaption = "Error";
inline constexpr const char* kReportUnwritable = "Could not write to report file";
inline constexpr const char* kReportUnwritableCaption = "Error Log";
inline constexpr const char* kHistoryUnwritable = "Save to File";
inline constexpr const char* kHistoryUnwritableCaption = "Error Writing File";
inline constexpr const char* kSiteListUnreadable = "The site list cannot be read.";
inline constexpr const char* kSiteListUnreadableCaption = "Error Loading Site List";
// The run log's faults, which never stop a submission: %1$s is the reason,
// naming the file.
inline constexpr const char* kRunLogUnusable =
    "The run log cannot be written: %1$s. The submission goes on without it.";
inline constexpr const char* kRunLogReplaced = "The run log was started anew: %1$s.";
inline constexpr const char* kRunLogCaption = "Run Log";
// Before any site is asked, when sites already accepted this version: the
// number of sites, the program, its version, the date of the newest Pass.
inline constexpr const char* kAlreadyAccepted =
    "%1$s sites already accepted %2$s %3$s (last on %4$s). Ask them again?";
inline constexpr const char* kAlreadyAcceptedCaption = "Already Accepted";
inline constexpr const char* kAskAgain = "Ask Again";
inline constexpr const char* kSkipThem = "Skip Them";

// The window that shows a submission run, then its results. The texts with
// %zu take numbers in the order their comments give.
inline constexpr const char* kProgressCaption = "Submitting Your PAD File";
inline constexpr const char* kResultsCaption = "Submission Results";
inline constexpr const char* kFetchingPadFile = "Fetching your PAD file...";
inline constexpr const char* kSitesDone = "%zu of %zu sites done";                 // done, sites
inline constexpr const char* kRetryingSites = "Asking %zu sites again: %zu done";  // sites, done
inline constexpr const char* kWaitingFor = "Waiting for:";
inline constexpr const char* kWaitingListName = "Sites being waited for";
inline constexpr const char* kTally = "Pass: %zu    Fail: %zu";  // passed, failed
inline constexpr const char* kStop = "Stop";
inline constexpr const char* kStopping = "Stopping";
inline constexpr const char* kRunSummary = "%zu passed, %zu failed";  // passed, failed
// Follows kRunSummary when sites were skipped.
inline constexpr const char* kRunSkipped = ", %zu skipped";  // skipped
// Follows kRunSummary when the run was stopped.
inline constexpr const char* kRunStopped = "; stopped after %zu of %zu sites";  // done, sites
inline constexpr const char* kResultsListName = "Results of the sites";
inline constexpr const char* kStatusHeading = "Status";
inline constexpr const char* kSiteHeading = "Site";
inline constexpr const char* kReasonHeading = "Reason";
inline constexpr const char* kLastAcceptedHeading = "Last accepted";
inline constexpr const char* kTimeHeading = "Time";
inline constexpr const char* kSeconds = "%.2f s";  // seconds
inline constexpr const char* kRetryFailed = "Retry Failed";
inline constexpr const char* kOpenReport = "Open Report";
inline constexpr const char* kClose = "Close";

// The update window's boxes: text, caption.
inline constexpr const char* kResponseCaption = "linkpage";
inline constexpr const char* kNotDownloaded =
    "Script not downloaded, please try again.\r\nEnsure you are connected to the internet.";
inline constexpr const char* kNotDownloadedCaption = "Error";
inline constexpr const char* kNewProgram =
    "A new version of the program is available.\r\nPlease close the program and visit our "
    "website to download a new version.";
inline constexpr const char* kNewProgramCaption = "New Program Version Available";
inline constexpr const char* kUpdateComplete = "Site update complete";
inline constexpr const char* kUpdateCompleteCaption = "TesselWick Update:";
inline constexpr const char* kNotASiteList =
    "The update server's answer is not a site list.\r\nNothing was changed.";
inline constexpr const char* kNotASiteListCaption = "Error";
inline constexpr const char* kSaveFailed = "Error Saving Engines File";
inline constexpr const char* kSaveFailedCaption = "Update Data";

}  // namespace tesselwick::texts

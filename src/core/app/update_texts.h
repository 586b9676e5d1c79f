#pragma once

// The update window's messages and their captions, which the command-line
// tool prints as lines of its own.

namespace tesselwick {

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

}  // namespace tesselwick

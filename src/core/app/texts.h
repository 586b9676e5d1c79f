#pragma once

// The program's fixed texts, file names and versions.

namespace tesselwick::texts {

inline constexpr const char* kMainCaption = "TesselWick";
inline constexpr const char* kAboutCaption = "About TesselWick";
inline constexpr const char* kAboutVersionLine = "TesselWick Version 1.0";
inline constexpr const char* kAboutSecondLine = "Submits your PAD file to download sites.";
inline constexpr const char* kAboutMenuEntry = "&About TesselWick...";
inline constexpr const char* kSocketsFailed = "Windows sockets initialization failed.";
inline constexpr const char* kInternalError = "Internal application error.";

// The version the update check reports; the About box and the version record
// carry their own.
inline constexpr const char* kProgramVersion = "1.01";

inline constexpr const char* kSiteFile = "pad.dat";
inline constexpr const char* kHistoryFile = "tesselwick.ini";
inline constexpr const char* kReportTemplateFile = "ReportTemplate.htm";
inline constexpr const char* kReportFile = "Report.htm";

// The maker's web site: manual, update server, report credit.
inline constexpr const char* kSiteUrl = TESSELWICK_SITE_URL;

}  // namespace tesselwick::texts

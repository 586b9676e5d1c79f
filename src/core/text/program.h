#pragma once

// The program's own facts that every layer may need: its version, the maker's
// web site it was built for, and the names of the files it keeps.

namespace tesselwick::program {

// The version the update check reports; the About box and the version record
// carry their own.
inline constexpr const char* kProgramVersion = "1.01";

// The maker's web site: manual, update server, report credit.
inline constexpr const char* kSiteUrl = TESSELWICK_SITE_URL;

inline constexpr const char* kSiteFile = "pad.dat";
inline constexpr const char* kHistoryFile = "tesselwick.ini";
inline constexpr const char* kReportTemplateFile = "ReportTemplate.htm";
inline constexpr const char* kReportFile = "Report.htm";

}  // namespace tesselwick::program

#pragma once

// The program's fixed texts: captions and messages of its windows. File
// names, the version and the web site are in core/text/program.h.

#include "core/text/program.h"

namespace tesselwick::texts {

inline constexpr const char* kMainCaption = "TesselWick";
inline constexpr const char* kAboutCaption = "About TesselWick";
inline constexpr const char* kAboutVersionLine = "TesselWick Version 1.0";
inline constexpr const char* kAboutSecondLine = "Submits your PAD file to download sites.";
inline constexpr const char* kAboutMenuEntry = "&About TesselWick...";
inline constexpr const char* kSocketsFailed = "Windows sockets initialization failed.";
inline constexpr const char* kInternalError = "Internal application error.";

}  // namespace tesselwick::texts

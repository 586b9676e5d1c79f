#pragma once

#include <wx/defs.h>

namespace tesselwick::ui {

// Control identifiers of the main and update dialogs.
enum ControlId : int {
  kIdSubmit = 1002,
  kIdSiteList = 1003,
  kIdHelp = 1004,
  kIdSiteCount = 1010,
  kIdUpdate = 1011,
  kIdProgramVersion = 1012,
  kIdServerProgramVersion = 1013,
  kIdSitesVersion = 1014,
  kIdCheckVersion = 1015,
  kIdServerSitesVersion = 1016,
  kIdPadUrl = 1017,
  kIdAbout = 16,
};

}  // namespace tesselwick::ui

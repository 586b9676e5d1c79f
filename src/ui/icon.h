#pragma once

#include <wx/iconbndl.h>

namespace tesselwick::ui {

// The program's icon at 16 and 32 pixels, drawn at start-up.
wxIconBundle ProgramIcons();
wxIcon ProgramIcon(int size);

}  // namespace tesselwick::ui

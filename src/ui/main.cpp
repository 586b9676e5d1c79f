#include "ui/app.h"

wxIMPLEMENT_APP(tesselwick::ui::SubmissionApp);

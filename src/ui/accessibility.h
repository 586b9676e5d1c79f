#pragma once

#include <wx/string.h>
#include <wx/window.h>

namespace tesselwick::ui {

// What screen readers hear of a control. On GTK they read the accessibility
// tree (ATK), where a box is otherwise named by its contents and a list by
// nothing; elsewhere the native controls take their names from the labels
// before them, and these do nothing.

// `label` labels `control`, whose name becomes `name` (a trailing colon left
// out).
void LabelForScreenReaders(wxWindow* label, wxWindow* control, const wxString& name);
// Names `control` (a list, say) for screen readers.
void NameForScreenReaders(wxWindow* control, const wxString& name);

}  // namespace tesselwick::ui

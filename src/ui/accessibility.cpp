#include "ui/accessibility.h"

#include <vector>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

namespace tesselwick::ui {

#ifdef __WXGTK__
namespace {

// The widgets that stand for `control`: its own and, for a box or list inside
// a frame or scrolled window (a combo box's entry, a data view's tree view),
// the one inside that takes the focus.
std::vector<GtkWidget*> Widgets(wxWindow* control) {
  std::vector<GtkWidget*> widgets;
  auto* widget = static_cast<GtkWidget*>(control->GetHandle());
  if (widget == nullptr) return widgets;
  widgets.push_back(widget);
  if (GTK_IS_BIN(widget)) {
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(widget));
    if (child != nullptr) widgets.push_back(child);
  }
  return widgets;
}

wxString WithoutColon(wxString name) {
  name.Trim();
  if (name.EndsWith(":")) name.RemoveLast();
  return name.Trim();
}

}  // namespace

void LabelForScreenReaders(wxWindow* label, wxWindow* control, const wxString& name) {
  auto* labelWidget = static_cast<GtkWidget*>(label->GetHandle());
  const std::vector<GtkWidget*> widgets = Widgets(control);
  if (labelWidget == nullptr || widgets.empty()) return;
  if (GTK_IS_LABEL(labelWidget))
    gtk_label_set_mnemonic_widget(GTK_LABEL(labelWidget), widgets.back());
  AtkObject* labelObject = gtk_widget_get_accessible(labelWidget);
  for (GtkWidget* widget : widgets) {
    AtkObject* object = gtk_widget_get_accessible(widget);
    atk_object_set_name(object, WithoutColon(name).utf8_str());
    atk_object_add_relationship(object, ATK_RELATION_LABELLED_BY, labelObject);
    atk_object_add_relationship(labelObject, ATK_RELATION_LABEL_FOR, object);
  }
}

void NameForScreenReaders(wxWindow* control, const wxString& name) {
  for (GtkWidget* widget : Widgets(control))
    atk_object_set_name(gtk_widget_get_accessible(widget), name.utf8_str());
}

#else

void LabelForScreenReaders(wxWindow*, wxWindow*, const wxString&) {}
void NameForScreenReaders(wxWindow*, const wxString&) {}

#endif

}  // namespace tesselwick::ui

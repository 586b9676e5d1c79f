#include "core/app/main_dialog.h"

// PAD URL history: filled in by the history work.
namespace tesselwick {
void MainDialog::LoadUrlHistory() {}
void MainDialog::RememberPadUrl() {}
void MainDialog::SaveUrlHistory() {}
}  // namespace tesselwick

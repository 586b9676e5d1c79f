#include "core/app/main_dialog.h"

namespace tesselwick {
void MainDialog::SubmissionRun() {}
bool MainDialog::FetchBlocks(const std::string&) { return false; }
void MainDialog::ExtractCategory() {}
void MainDialog::WriteReport(const std::string&) {}
std::string MainDialog::ReadTextFile(const std::string&) { return {}; }
}  // namespace tesselwick

// tesselwick.ini as the main window reads it: the file's bytes with CR LF
// turned into LF, then the last session's PAD URL and the box's list entries.

#include <algorithm>
#include <string>

#include "core/app/main_dialog.h"
#include "core/platform/text_file.h"
#include "fuzz_check.h"
#include "support/fake_controls.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using tesselwick::EqualsNoCase;
  using tesselwick::UrlEntryLess;
  const std::string text = tesselwick::FromDiskLineEnds(tesselwick::fuzz::AsText(data, size));

  // Reading the history touches no file; the folder is never used.
  tesselwick::test::FakeMainWindow window("/nonexistent");
  tesselwick::MainDialog& dialog = window.dialog;
  // An entry of this session's own is kept, and a case variant of it is not added.
  dialog.AddUrlEntry("http://example.com/pad.xml");
  dialog.ReadUrlHistory(text);
  dialog.Push();

  const std::vector<std::string>& entries = dialog.UrlEntries;
  // The box's list is the logic's list, in the list's order, without two
  // entries that differ only in letter case, and without empty entries.
  FUZZ_CHECK(window.urlBox.entries == entries);
  FUZZ_CHECK(std::is_sorted(entries.begin(), entries.end(), UrlEntryLess));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    FUZZ_CHECK(!entries[i].empty());
    FUZZ_CHECK(entries[i].find('\n') == std::string::npos);
    if (i > 0) FUZZ_CHECK(!EqualsNoCase(entries[i - 1], entries[i]));
  }
  FUZZ_CHECK(dialog.FindUrlEntryNoCase("HTTP://EXAMPLE.COM/PAD.XML") >= 0);
  // The box shows the PAD URL exactly as the file gave it.
  FUZZ_CHECK(window.urlBox.edit == dialog.PadUrl);
  FUZZ_CHECK(dialog.PadUrl.find('\n') == std::string::npos);
  return 0;
}

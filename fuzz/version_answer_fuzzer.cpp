// The update server's answer to the version check, as the update window reads
// it: the body read in line mode, then its VERSION and SCRIPTVERSION lines.

#include <string>

#include "core/app/update_dialog.h"
#include "fuzz_check.h"
#include "support/fake_controls.h"

namespace {

class FakeButton : public tesselwick::ButtonControl {
 public:
  void Enable(bool enable) override { enabled = enable; }
  bool IsEnabled() const override { return enabled; }
  bool enabled = false;
};

const std::string kNotDownloaded =
    "Script not downloaded, please try again.\r\nEnsure you are connected to the internet.";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using tesselwick::test::FakeText;
  tesselwick::BodyReader reader(tesselwick::FetchMode::Lines, std::size_t{16} * 1024 * 1024);
  FUZZ_CHECK(reader.Take(tesselwick::fuzz::AsText(data, size)));
  const std::string answer = std::move(reader).Finish();

  FakeText program, serverProgram, sites, serverSites;
  FakeButton update;
  tesselwick::test::FakeMessages messages;
  // Reading the answer touches no file; the folder is never used.
  tesselwick::UpdateDialog dialog({program, serverProgram, sites, serverSites, update, messages},
                                  "/nonexistent");
  dialog.ProgramVersion = "1.01";
  dialog.SitesVersion = "5";
  dialog.Initialise();
  dialog.ResponseText = answer;
  dialog.ParseVersionResponse();

  // The answer is always shown first, whatever it is.
  FUZZ_CHECK(!messages.shown.empty());
  FUZZ_CHECK(messages.shown[0].first == answer && messages.shown[0].second == "linkpage");
  if (answer.size() < 10) {
    // Too short to be an answer: the user is told, and nothing is taken from it.
    FUZZ_CHECK(messages.shown.size() == 2 && messages.shown[1].first == kNotDownloaded);
    FUZZ_CHECK(dialog.ServerProgramVersion.empty() && dialog.ServerSitesVersion.empty());
    FUZZ_CHECK(!update.enabled);
    return 0;
  }
  FUZZ_CHECK(messages.shown.size() <= 2);
  FUZZ_CHECK(dialog.ServerProgramVersion.find('\n') == std::string::npos);
  FUZZ_CHECK(dialog.ServerSitesVersion.find('\n') == std::string::npos);
  // The boxes show what was read; Update is offered only for another site list.
  FUZZ_CHECK(serverProgram.text == dialog.ServerProgramVersion);
  FUZZ_CHECK(serverSites.text == dialog.ServerSitesVersion);
  FUZZ_CHECK(program.text == "1.01" && sites.text == "5");
  FUZZ_CHECK(update.enabled ==
             (!dialog.ServerSitesVersion.empty() && dialog.ServerSitesVersion != "5"));
  const bool newProgram =
      !dialog.ServerProgramVersion.empty() && dialog.ServerProgramVersion != "1.01";
  FUZZ_CHECK(messages.shown.size() == (newProgram ? 2u : 1u));
  return 0;
}

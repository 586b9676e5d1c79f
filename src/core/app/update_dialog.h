#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

#include "core/app/controls.h"
#include "core/net/http_fetch.h"
#include "core/sites/site_list_update.h"
#include "core/sites/site_update.h"
#include "core/text/messages.h"

namespace tesselwick {

// A push button that the logic enables and disables.
class ButtonControl {
 public:
  virtual ~ButtonControl() = default;
  virtual void Enable(bool enable) = 0;
  virtual bool IsEnabled() const = 0;
};

// The controls of the update dialog that the logic reads and writes.
struct UpdateDialogControls {
  TextControl& programVersion;        // installed program version (left, top)
  TextControl& serverProgramVersion;  // the server's program version (right, top)
  TextControl& sitesVersion;          // installed site list version (left, bottom)
  TextControl& serverSitesVersion;    // the server's site list version (right, bottom)
  ButtonControl& updateButton;
  MessageSink& messages;
};

// The update dialog's state and commands, without any widget: it compares the
// installed versions with those the update server reports and downloads a new
// pad.dat into the working folder. Check Version and Update run as the
// command-line tool's --update runs them; the dialog shows what they tell as
// its message boxes and takes what they found into its fields.
class UpdateDialog : private UpdateObserver {
 public:
  // pad.dat is replaced in `folder`; the update server's requests go to
  // `serverUrl` followed by their fixed paths.
  UpdateDialog(UpdateDialogControls controls, std::filesystem::path folder,
               std::string serverUrl = program::kSiteUrl, FetchLimits limits = {});

  // Where the update server is and how long a request may take; the main
  // window's tests point them at a local server.
  std::string siteUrl;
  FetchLimits fetchLimits;
  // Waits for the update server while the window stays alive; without one,
  // each request runs on the calling thread.
  FetchWaiter* waiter = nullptr;

  // --- working state ---
  // Body of the last answer, every line followed by one line feed; empty when
  // the last retrieval failed.
  std::string ResponseText;
  // Error number of the last failed retrieval, in decimal; never shown.
  std::string ErrorText;
  std::string ProgramVersion;
  std::string ServerProgramVersion;
  std::string SitesVersion;
  std::string ServerSitesVersion;

  // --- data exchange: the fields into the four version boxes ---
  void Push();

  // When the window opens: the boxes show the fields, Update is disabled.
  void Initialise();

  // --- commands ---
  void OnCheckVersion();
  void OnUpdate();

  // --- the steps behind them ---
  // Asks the update server for its versions and takes them, with the answer
  // in ResponseText; a check the user gave up changes nothing.
  void CheckVersion();
  // Reads ResponseText as a version answer: shows it, then what it offers,
  // and enables Update for another site list.
  void ParseVersionResponse();
  // Downloads pad.dat and, when it was saved, reports success, takes the
  // server's site list version and disables Update; otherwise shows why not
  // and leaves the file and the button alone.
  void DownloadSiteFile();

  // The update server as this dialog asks it.
  SiteUpdate Service() const;

  std::filesystem::path SiteFilePath() const { return folder_ / program::kSiteFile; }

 private:
  // What Check Version and Update tell, drawn as the dialog's boxes.
  void RequestFailed(const FetchResult& answer) override;
  void Answered(const FetchResult& answer) override;
  void VersionAnswer(std::string_view text) override;
  void NoVersions() override;
  void VersionsRead(const ServerVersions& versions) override;
  void NewProgramOffered() override;
  void SiteListSaved() override;
  void SiteListNotSaved(SiteListSave why) override;

  // Enables Update when the check found another site list.
  void TakeOffer(const VersionOffer& offer);

  UpdateDialogControls controls_;
  std::filesystem::path folder_;
};

}  // namespace tesselwick

// How long a submission run and a large site list take.
//
// Starts tesselwick-site in this process in demo mode, with N download sites
// that each answer after L milliseconds, and times the Submit command over
// them twice: with the program's concurrency and one site at a time (the
// baseline only; the program never runs that way). Then times loading a
// pad.dat of 5,000 sites into the site list. Prints its figures; asserts
// nothing.
//
//   submit_bench [N [L]]      defaults: N = 100, L = 200

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "core/app/controls.h"
#include "core/app/main_dialog.h"
#include "core/sites/site_record.h"
#include "site_server.h"

namespace tesselwick {
namespace {

using Clock = std::chrono::steady_clock;

// Controls that only hold their values, as cheap as the real virtual list.
class Box : public UrlBoxControl {
 public:
  std::string EditText() const override { return edit; }
  void SetEditText(const std::string& text) override { edit = text; }
  void InsertEntry(int index, const std::string& text) override {
    entries.insert(entries.begin() + index, text);
  }
  void SelectEntry(int index) override { edit = entries.at(static_cast<std::size_t>(index)); }
  std::string edit;
  std::vector<std::string> entries;
};

class Table : public SiteTableControl {
 public:
  void CreateColumns(const std::vector<std::string>&) override {}
  // Stored in insertion order, row 0 being the last one, like the window's list.
  void InsertRowAtTop(const SiteRecord& site) override { sites.push_back(site); }
  SiteRecord Row(int index) const override {
    return sites[sites.size() - 1 - static_cast<std::size_t>(index)];
  }
  int RowCount() const override { return static_cast<int>(sites.size()); }
  void DeleteAllRows() override { sites.clear(); }
  void FitColumns() override {}
  std::vector<SiteRecord> sites;
};

class TextBox : public TextControl {
 public:
  std::string Text() const override { return text; }
  void SetText(const std::string& value) override { text = value; }
  std::string text;
};

class Messages : public MessageSink {
 public:
  void ShowMessage(std::string_view text, std::string_view caption) override {
    std::printf("  message box: %.*s (%.*s)\n", static_cast<int>(text.size()), text.data(),
                static_cast<int>(caption.size()), caption.data());
  }
};

class NoBrowser : public ShellOpener {
 public:
  void Open(const std::string&) override {}
};

struct Window {
  explicit Window(const std::filesystem::path& folder)
      : dialog(MainDialogControls{box, table, count, messages, browser}, folder) {}
  Box box;
  Table table;
  TextBox count;
  Messages messages;
  NoBrowser browser;
  MainDialog dialog;
};

// A folder of its own under the system's temporary folder, removed at the end.
class Folder {
 public:
  Folder() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("tesselwick-bench-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~Folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  void Write(const char* name, const std::string& bytes) const {
    std::ofstream(path_ / name, std::ios::binary) << bytes;
  }
  std::string Read(const char* name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::filesystem::path path_;
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::size_t CountOf(const std::string& text, const std::string& word) {
  std::size_t n = 0;
  for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
    ++n;
  }
  return n;
}

// One Submit over the demo sites; the wall time from the click to the report.
// A concurrency of 0 keeps the program's own.
double TimeRun(const site::SiteServer& server, int concurrency) {
  Folder folder;
  folder.Write("pad.dat", server.PublishedSiteList());
  Window w(folder.Path());
  if (concurrency > 0) w.dialog.maxConcurrentRequests = concurrency;
  concurrency = w.dialog.maxConcurrentRequests;
  w.dialog.Initialise();
  w.box.edit = server.DemoPadUrl();
  const Clock::time_point start = Clock::now();
  w.dialog.SubmissionRun();
  const double seconds = Seconds(Clock::now() - start);
  const std::string report = folder.Read("Report.htm");
  std::printf("  concurrency %2d: %7.3f s  (%zu sites: %zu Pass, %zu Fail)\n", concurrency, seconds,
              static_cast<std::size_t>(w.table.RowCount()), CountOf(report, "<td>Pass</td>"),
              CountOf(report, "<td>Fail</td>"));
  return seconds;
}

// A pad.dat of `count` sites in the form the update server hands out.
std::string LargeSiteFile(int count) {
  std::string file = "SCRIPTVERSION=20261207\r\n";
  for (int n = 1; n <= count; ++n) {
    const std::string site = "http://site" + std::to_string(n) + ".example";
    file += "TITLE=Download Site " + std::to_string(n) + "\r\nURL=" + site +
            "/\r\nSUBMITURL=" + site + "/add.htm\r\nGETORPOST=" + site +
            "/submit?pad=%PADURL%&cat=%CATEGORY%\r\n";
  }
  return file;
}

int Run(int sites, int delayMs) {
  site::SiteConfig config;
  config.port = 0;
  config.dataDir = site::SourceDataDir();
  config.manualFile = site::SourceManualFile();
  config.demo = true;
  config.demoSites = sites;
  config.demoDelay = std::chrono::milliseconds(delayMs);
  site::SiteServer server(config);
  if (!server.Start()) {
    std::fprintf(stderr, "submit_bench: the demo site did not start: %s\n", server.Error().c_str());
    return 1;
  }
  std::printf("Submission run: %d demo sites, each answering after %d ms (%s)\n", sites, delayMs,
              server.BaseUrl().c_str());
  server.ResetPeak();
  const double concurrent = TimeRun(server, 0);
  std::printf("  requests answered at once at most: %d\n", server.PeakInFlight());
  const double oneAtATime = TimeRun(server, 1);
  std::printf("  concurrent run %.3f s, one at a time %.3f s: %.1f times faster\n", concurrent,
              oneAtATime, oneAtATime / concurrent);

  constexpr int kLargeList = 5000;
  Folder folder;
  folder.Write("pad.dat", LargeSiteFile(kLargeList));
  Window w(folder.Path());
  const Clock::time_point start = Clock::now();
  w.dialog.Initialise();
  const double load = Seconds(Clock::now() - start);
  std::printf("Site list: %d sites loaded in %.3f s (count shown: %s)\n", w.table.RowCount(), load,
              w.count.text.c_str());
  return 0;
}

}  // namespace
}  // namespace tesselwick

int main(int argc, char** argv) {
  const int sites = argc > 1 ? std::atoi(argv[1]) : 100;
  const int delayMs = argc > 2 ? std::atoi(argv[2]) : 200;
  if (sites < 1 || delayMs < 0) {
    std::fprintf(stderr, "usage: submit_bench [sites [delay-ms]]\n");
    return 2;
  }
  return tesselwick::Run(sites, delayMs);
}

#include "cli/submit_tool.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/console_progress.h"
#include "core/runs/run_log.h"
#include "core/submit/report.h"
#include "core/text/replace.h"
#include "support/refusing_port.h"
#include "support/sample_sites.h"
#include "support/temp_folder.h"
#include "support/test_http_server.h"

namespace tesselwick::cli {
namespace {

using namespace std::chrono_literals;
using test::RefusingPort;
using test::Reply;
using test::TempFolder;
using test::TestHttpServer;

const char* kPadFile =
    "<XML_DIZ_INFO><Program_Info><Program_Name>Puzzle Box</Program_Name>"
    "<Program_Category_Class>Games &amp; Entertainment::Puzzle</Program_Category_Class>"
    "</Program_Info></XML_DIZ_INFO>";
const std::string kTryHelp = "Try 'tesselwick-submit --help'.\n";

std::string Site(const std::string& title, const std::string& request) {
  return "TITLE=" + title + "\r\nURL=http://site.example/\r\nSUBMITURL=http://site.example/add" +
         "\r\nGETORPOST=" + request + "\r\n";
}

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;

  // Standard output's lines; the site lines sorted, as they come in the
  // order the sites answered, and the closing line last.
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    if (lines.size() > 1) std::sort(lines.begin(), lines.end() - 1);
    return lines;
  }
};

SubmitToolEnvironment QuickEnvironment() {
  SubmitToolEnvironment env;
  env.fetchLimits.connectTimeoutSeconds = 5;
  env.fetchLimits.stallTimeoutSeconds = 5;
  // Nothing reaches a real browser.
  env.openInBrowser = [](const std::string&) { ADD_FAILURE() << "opened without --open"; };
  return env;
}

Outcome RunTool(const std::vector<std::string>& args,
                const SubmitToolEnvironment& env = QuickEnvironment()) {
  std::ostringstream out, err;
  Outcome outcome;
  outcome.status = RunSubmitTool(args, out, err, env);
  outcome.out = out.str();
  outcome.err = err.str();
  return outcome;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

#ifndef _WIN32
extern "C" char** environ;

// tesselwick-submit as a program of its own, for what only a process shows:
// the signals it is sent and a standard output that cannot be written. Its
// standard output goes to `outFd`, its standard error to the file `errFile`.
class ToolProcess {
 public:
  ToolProcess(const std::vector<std::string>& args, int outFd,
              const std::filesystem::path& errFile) {
    std::vector<std::string> words = {TESSELWICK_SUBMIT_PROGRAM};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    // The test runner's own handling of signals is not the tool's to inherit.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all;
    sigfillset(&all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    started_ = posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), environ) == 0;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
  }
  ~ToolProcess() {
    if (started_ && !ended_) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }

  bool Started() const { return started_; }
  void Send(int signal) const { ::kill(pid_, signal); }
  // The exit status as a shell reports it: 128 plus the signal's number for
  // a program a signal ended; -1 when it has not ended within a minute.
  int Wait() {
    for (int i = 0; i < 6000; ++i) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        ended_ = true;
        return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
      }
      std::this_thread::sleep_for(10ms);
    }
    return -1;
  }

 private:
  pid_t pid_ = 0;
  bool started_ = false;
  bool ended_ = false;
};
#endif

TEST(SubmitTool, PrintsALinePerSiteAndWritesTheWindowsReportAndHistory) {
  TestHttpServer server;
  RefusingPort refusing;
  server.Set("/pad.xml", Reply::Text(kPadFile));
  server.Set("/thanks", Reply::Text("Thank you"));
  server.Set("/error", Reply::Text("<p>Error: unknown category</p>"));
  server.Set("/missing", Reply::Text("code 404", 200));
  server.Set("/broken", Reply::Text("Thanks", 500));
  const std::string sites =
      Site("Thanks", server.Url("/thanks?pad=%PADURL%&c=%CATEGORY%")) +
      Site("Error Page", server.Url("/error")) + Site("Missing", server.Url("/missing")) +
      Site("Broken", server.Url("/broken")) + Site("Gone", refusing.Url("/x")) +
      Site("Evil\x1b]0;title\x07", server.Url("/thanks"));
  TempFolder folder;
  folder.Write("pad.dat", sites);
  const std::string padUrl = server.Url("/pad.xml");

  const Outcome run = RunTool({"--folder", folder.Path().string(), padUrl});
  EXPECT_EQ(run.status, exit_status::kSomeFailed);
  EXPECT_EQ(run.Lines(), (std::vector<std::string>{
                             "Fail  Broken  (HTTP 500)",
                             "Fail  Error Page  (answer contains \"Error\")",
                             "Fail  Gone  (error 12029: cannot connect)",
                             "Fail  Missing  (answer contains \"404\")",
                             // Control characters of a title never reach the terminal.
                             "Pass  Evil?]0;title?",
                             "Pass  Thanks",
                             "2 passed, 4 failed",
                         }));
  EXPECT_TRUE(Contains(
      run.err, "report written to " + (folder / "Report.htm").lexically_normal().string() + "\n"));
  // Without a terminal, no status line.
  EXPECT_FALSE(Contains(run.err, "\r"));

  // The report has every site that answered; the history keeps the URL.
  const std::string report = folder.Read("Report.htm");
  std::size_t rows = 0;
  for (std::size_t at = report.find("<tr><td><a href="); at != std::string::npos;
       at = report.find("<tr><td><a href=", at + 1))
    ++rows;
  EXPECT_EQ(rows, 6u);
  // The run is in the folder's run log, with every site's row.
  {
    RunLog log(folder.Path());
    const std::vector<LoggedRun> runs = log.Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].padUrl, padUrl);
    EXPECT_EQ(runs[0].siteCount, 6u);
    EXPECT_EQ(runs[0].passed, 2u);
    EXPECT_EQ(runs[0].failed, 4u);
    EXPECT_TRUE(runs[0].ended);
    EXPECT_EQ(log.Sites(runs[0].id).size(), 6u);
  }
  EXPECT_TRUE(Contains(folder.Read("tesselwick.ini"), "\r\nURL1=" + padUrl + "\r\n"));

  // Every site passing, in the current folder by default: 0.
  TempFolder passing;
  passing.Write("pad.dat", Site("One", server.Url("/thanks")) + Site("Two", server.Url("/thanks")));
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(passing.Path());
  const Outcome allPass = RunTool({padUrl});
  std::filesystem::current_path(before);
  EXPECT_EQ(allPass.status, exit_status::kAllPassed);
  EXPECT_EQ(allPass.Lines(),
            (std::vector<std::string>{"Pass  One", "Pass  Two", "2 passed, 0 failed"}));
  EXPECT_NE(passing.Read("Report.htm"), "<missing>");
}

TEST(SubmitTool, JsonGivesEverySitesReasonAsTheReportHasIt) {
  TestHttpServer server;
  RefusingPort refusing;
  server.Set("/pad.xml", Reply::Text(kPadFile));
  server.Set("/thanks", Reply::Text("Thank you"));
  server.Set("/gone", Reply::Text("<h1>Not Found</h1>", 404));
  server.Set("/error", Reply::Text("<p>Error: unknown category</p>"));
  server.Set("/stall", Reply::Stall(30s));
  server.Set("/huge", Reply::Huge(std::size_t{17} * 1024 * 1024));
  server.Set("/to-data", Reply::Redirect("data:text/html,Thanks"));
  // What each site's answer must come to, in list order (pad.dat bottom up).
  struct Expected {
    std::string title;
    std::string request;  // empty: the record has no template of its own
    const char* status;
    std::string reason;
    nlohmann::json httpStatus;
    nlohmann::json error;
  };
  const std::vector<Expected> expected = {
      {"Thanks", server.Url("/thanks?pad=%PADURL%"), "Pass", "HTTP 200", 200, nullptr},
      {"Gone", server.Url("/gone"), "Fail", "HTTP 404", 404, nullptr},
      {"Error Page", server.Url("/error"), "Fail", "answer contains \"Error\"", 200, nullptr},
      {"Refused", refusing.Url("/x"), "Fail", "error 12029: cannot connect", nullptr, 12029},
      {"Stalled", server.Url("/stall"), "Fail", "error 12002: timed out", nullptr, 12002},
      {"Bare", "", "Fail", "no request template", nullptr, nullptr},
      // Control characters arrive whole, as escapes that no terminal obeys.
      {"Evil\x1b]0;t\x07\x7f\xC2\x9B", server.Url("/thanks"), "Pass", "HTTP 200", 200, nullptr},
      // Where a limit or a refused address decides, the reason says which.
      {"Too Large", server.Url("/huge"), "Fail", "error 12004: the answer is larger than 16 MiB",
       nullptr, 12004},
      {"Too Long", server.Url("/thanks?q=" + std::string(kMaxUrlBytes, 'q')), "Fail",
       "error 12004: the request is longer than 1 MiB", nullptr, 12004},
      {"To Data", server.Url("/to-data"), "Fail",
       "error 12156: the redirect leads to an address that is not http or https", nullptr, 12156},
  };
  std::string file;
  for (const Expected& site : expected) {
    file.insert(0, "TITLE=" + site.title + "\r\nURL=http://" + site.title +
                       ".example/\r\nSUBMITURL=http://" + site.title + ".example/add\r\n" +
                       (site.request.empty() ? "" : "GETORPOST=" + site.request + "\r\n"));
  }
  TempFolder folder;
  folder.Write("pad.dat", file);
  folder.Write("ReportTemplate.htm", "%PASSED%/%FAILED%/%SITES%|%REPORT%");
  const std::string padUrl = server.Url("/pad.xml");

  const Outcome run =
      RunTool({"--json", "--timeout", "1", "--folder", folder.Path().string(), padUrl});
  EXPECT_EQ(run.status, exit_status::kSomeFailed);
  const nlohmann::json json = nlohmann::json::parse(run.out);
  EXPECT_EQ(json["pad_url"], padUrl);
  EXPECT_EQ(json["category"], "Games+%26amp%3B+Entertainment%3A%3APuzzle");
  EXPECT_EQ(json["date"], Today());
  EXPECT_EQ(json["stopped"], false);
  ASSERT_EQ(json["sites"].size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const nlohmann::json& site = json["sites"][i];
    SCOPED_TRACE(expected[i].title);
    EXPECT_EQ(site["title"], expected[i].title);
    EXPECT_EQ(site["status"], expected[i].status);
    EXPECT_EQ(site["reason"], expected[i].reason);
    EXPECT_EQ(site["http_status"], expected[i].httpStatus);
    EXPECT_EQ(site["error"], expected[i].error);
    EXPECT_TRUE(site["seconds"].is_number());
    EXPECT_LT(site["seconds"].get<double>(), 5.0);
  }
  EXPECT_EQ(json["sites"][0]["request"], server.Url("/thanks?pad=") + "http://127.0.0.1:" +
                                             std::to_string(server.Port()) + "/pad.xml");

  // The report says the same: its counts and a row per site with its status.
  std::string rows;
  for (const nlohmann::json& site : json["sites"]) {
    rows += ReportRow({site["title"].get<std::string>(), site["url"].get<std::string>(),
                       site["submit_url"].get<std::string>(), ""},
                      site["status"].get<std::string>(), json["date"].get<std::string>());
  }
  EXPECT_EQ(folder.Read("Report.htm"), std::to_string(json["passed"].get<int>()) + "/" +
                                           std::to_string(json["failed"].get<int>()) + "/" +
                                           std::to_string(json["sites"].size()) + "|" + rows +
                                           "\r\n");
  EXPECT_EQ(json["passed"], 2);
  EXPECT_EQ(json["failed"], 8);
  std::istringstream printed(run.out);
  for (std::string line; std::getline(printed, line);) EXPECT_EQ(PrintableText(line), line);
  // The lines of the run without --json name the same reasons.
  const Outcome lines = RunTool({"--timeout", "1", "--folder", folder.Path().string(), padUrl});
  for (const Expected& site : expected) {
    if (std::string(site.status) != "Fail") continue;
    EXPECT_TRUE(Contains(lines.out, site.title + "  (" + site.reason + ")\n")) << lines.out;
  }
}

TEST(SubmitTool, APadFileThatFailsEndsWithStatus2AndAnEmptyReport) {
  TestHttpServer server;
  RefusingPort refusing;
  server.Set("/nocat.xml", Reply::Text("<XML_DIZ_INFO></XML_DIZ_INFO>"));
  TempFolder folder;
  folder.Write("pad.dat", Site("Site", server.Url("/site")));

  const std::string unreachable = refusing.Url("/pad.xml");
  const Outcome refused = RunTool({"--folder", folder.Path().string(), unreachable});
  EXPECT_EQ(refused.status, exit_status::kPadFileFailed);
  EXPECT_EQ(refused.out, "0 passed, 0 failed\n");
  EXPECT_TRUE(Contains(refused.err,
                       "tesselwick-submit: Error Loading Your PAD File. error 12029: "
                       "cannot connect (" +
                           unreachable + ")\n"));
  EXPECT_TRUE(Contains(folder.Read("Report.htm"), "<td>Submission Date</td></tr></table>"));
  // Remembered all the same, as the window does.
  EXPECT_TRUE(Contains(folder.Read("tesselwick.ini"), "URL1=" + unreachable));

  const Outcome noCategory =
      RunTool({"--folder", folder.Path().string(), server.Url("/nocat.xml")});
  EXPECT_EQ(noCategory.status, exit_status::kPadFileFailed);
  EXPECT_EQ(noCategory.out, "0 passed, 0 failed\n");
  EXPECT_TRUE(Contains(noCategory.err,
                       "Error Loading Your PAD File. Your PAD File Needs to Contain a Category"));

  // A PAD file over the program's limit: its line says so beside the number.
  server.Set("/huge.xml", Reply::Huge(std::size_t{17} * 1024 * 1024));
  const std::string huge = server.Url("/huge.xml");
  const Outcome tooLarge = RunTool({"--folder", folder.Path().string(), huge});
  EXPECT_EQ(tooLarge.status, exit_status::kPadFileFailed);
  EXPECT_TRUE(Contains(tooLarge.err, "OpenUrl failed: 12004\n"));
  EXPECT_TRUE(Contains(
      tooLarge.err, "Error Loading Your PAD File. error 12004: the answer is larger than 16 MiB (" +
                        huge + ")\n"));

  const std::string missing = server.Url("/missing.xml");
  const Outcome notFound = RunTool({"--folder", folder.Path().string(), missing});
  EXPECT_EQ(notFound.status, exit_status::kPadFileFailed);
  EXPECT_TRUE(Contains(notFound.err, "Error Loading Your PAD File. HTTP 404 (" + missing + ")\n"));
  for (const auto& request : server.Requests()) EXPECT_NE(request.path, "/site");
}

TEST(SubmitTool, CheckPrintsThePadFilesProblemsAndSubmitWarnsOfThem) {
  TestHttpServer server;
  RefusingPort refusing;
  const std::string good = server.Url("/good.xml");
  const std::string moved = server.Url("/moved.xml");
  const std::string bad = server.Url("/bad.xml");
  server.Set("/good.xml", Reply::Text(test::CheckedPad(good)));
  server.Set("/moved.xml", Reply::Text(test::CheckedPad(good)));
  server.Set("/bad.xml", Reply::Text("<XML_DIZ_INFO>\n<Program_Info>\x1b"));
  // In UTF-16 with a byte-order mark: well-formed, but its category cannot
  // be read by the submission.
  const std::string utf16 = server.Url("/utf16.xml");
  std::string utf16Bytes = "\xFF\xFE";
  for (char c : test::CheckedPad(utf16)) utf16Bytes += std::string{c, '\0'};
  server.Set("/utf16.xml", Reply::Text(utf16Bytes));
  // Only warnings: its country has points in it.
  const std::string onlyWarnings = server.Url("/warned.xml");
  server.Set("/warned.xml",
             Reply::Text(ReplaceAll(test::CheckedPad(onlyWarnings), ">Canada<", ">U.S.A.<")));
  const std::string countryWarning =
      "warning: XML_DIZ_INFO/Company_Info/Country \"U.S.A.\" must be 2 to 40 characters of "
      "letters, blanks and ' -.\n";
  server.Set("/site", Reply::Text("Thanks"));
  TempFolder folder;
  folder.Write("pad.dat", Site("Site", server.Url("/site")));
  const std::string dir = folder.Path().string();
  const std::string unreachable = refusing.Url("/pad.xml");

  struct Row {
    std::string padUrl;
    int status;
    std::string out;
    std::string lastErr;
  };
  const Row rows[] = {
      {good, exit_status::kAllPassed, "", "the PAD file passed every check (" + good + ")\n"},
      {moved, exit_status::kPadFileProblems,
       "XML_DIZ_INFO/Web_Info/Application_URLs/Application_XML_File_URL \"" + good +
           "\" is not the address submitted, \"" + moved + "\".\n",
       "the PAD file has 1 problem (" + moved + ")\n"},
      // The parser's words reach the terminal without control characters.
      {bad, exit_status::kPadFileProblems,
       "The file is not well-formed XML: line 2: PCDATA invalid Char value 27.\n",
       "the PAD file has 1 problem (" + bad + ")\n"},
      // Warnings alone do not fail the check.
      {onlyWarnings, exit_status::kAllPassed, countryWarning,
       "the PAD file has no problem and 1 warning (" + onlyWarnings + ")\n"},
      {unreachable, exit_status::kPadFileFailed, "",
       "Error Loading Your PAD File. error 12029: cannot connect (" + unreachable + ")\n"},
      {utf16, exit_status::kPadFileProblems,
       "XML_DIZ_INFO/Program_Info/Program_Category_Class cannot be read by a submission from a "
       "file in UTF-16: it stops with \"Your PAD File Needs to Contain a Category\". Save the "
       "file as UTF-8.\n",
       "the PAD file has 1 problem (" + utf16 + ")\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.padUrl);
    const Outcome run = RunTool({"--check", "--folder", dir, row.padUrl});
    EXPECT_EQ(run.status, row.status);
    EXPECT_EQ(run.out, row.out);
    EXPECT_TRUE(run.err.ends_with("tesselwick-submit: " + row.lastErr)) << run.err;
  }
  // With --json, the same problems as one object, with the same status.
  const Outcome json = RunTool({"--check", "--json", "--folder", dir, moved});
  EXPECT_EQ(json.status, exit_status::kPadFileProblems);
  EXPECT_EQ(nlohmann::json::parse(json.out),
            nlohmann::json::parse(R"({"pad_url": ")" + moved + R"(", "problems": [{"level": "error",
              "path": "XML_DIZ_INFO/Web_Info/Application_URLs/Application_XML_File_URL",
              "text": "XML_DIZ_INFO/Web_Info/Application_URLs/Application_XML_File_URL \")" +
                                  good + R"(\" is not the address submitted, \")" + moved +
                                  R"(\"."}]})"));
  const Outcome notXml = RunTool({"--json", "--check", bad});
  EXPECT_EQ(notXml.status, exit_status::kPadFileProblems);
  EXPECT_TRUE(nlohmann::json::parse(notXml.out)["problems"][0]["path"].is_null()) << notXml.out;
  const Outcome onlyWarned = RunTool({"--check", "--json", onlyWarnings});
  EXPECT_EQ(onlyWarned.status, exit_status::kAllPassed);
  EXPECT_EQ(nlohmann::json::parse(onlyWarned.out)["problems"][0]["level"], "warning");

  // --check asks no site and leaves the working folder alone.
  EXPECT_EQ(server.Requests().size(), 8u);
  EXPECT_FALSE(std::filesystem::exists(folder / "Report.htm"));
  EXPECT_FALSE(std::filesystem::exists(folder / "tesselwick.ini"));

  // A submission warns of the same problems on standard error, and goes on.
  const Outcome warned = RunTool({"--folder", dir, moved});
  EXPECT_EQ(warned.status, exit_status::kAllPassed);
  EXPECT_EQ(warned.out, "Pass  Site\n1 passed, 0 failed\n");
  EXPECT_TRUE(Contains(warned.err,
                       "tesselwick-submit: warning: "
                       "XML_DIZ_INFO/Web_Info/Application_URLs/Application_XML_File_URL \"" +
                           good + "\" is not the address submitted, \"" + moved + "\".\n"))
      << warned.err;
  // Of the warnings it only says how many --check lists.
  const Outcome counted = RunTool({"--folder", dir, onlyWarnings});
  EXPECT_EQ(counted.status, exit_status::kAllPassed);
  EXPECT_TRUE(Contains(counted.err,
                       "tesselwick-submit: --check lists 1 further warning about the PAD file\n"))
      << counted.err;
  EXPECT_FALSE(Contains(counted.err, "Country")) << counted.err;
  // ... and stops where the check said it would.
  EXPECT_EQ(RunTool({"--folder", dir, utf16}).status, exit_status::kPadFileFailed);
  const Outcome clean = RunTool({"--folder", dir, good});
  EXPECT_EQ(clean.status, exit_status::kAllPassed);
  EXPECT_FALSE(Contains(clean.err, "warning")) << clean.err;
}

TEST(SubmitTool, UsageErrorsEndWithStatus64AndTouchNothing) {
  TempFolder folder;
  const std::string dir = folder.Path().string();
  const std::vector<std::vector<std::string>> wrong = {
      {},
      {"--folder", dir},
      {"--folder", dir, "http://a/pad.xml", "http://b/pad.xml"},
      {"--folder", dir, "--bogus", "http://a/pad.xml"},
      {"http://a/pad.xml", "--folder"},
      {"--folder=", "http://a/pad.xml"},
      {"--folder", (folder / "missing").string(), "http://a/pad.xml"},
      {"--folder", dir, ""},
      {"--folder", dir, "--timeout", "0", "http://a/pad.xml"},
      {"--folder", dir, "--timeout", "86401", "http://a/pad.xml"},
      {"--folder", dir, "--timeout", "-5", "http://a/pad.xml"},
      {"--folder", dir, "--timeout", "1.5", "http://a/pad.xml"},
      {"--folder", dir, "--timeout", "soon", "http://a/pad.xml"},
      {"--folder", dir, "--timeout=", "http://a/pad.xml"},
      {"--folder", dir, "http://a/pad.xml", "--timeout"},
      {"--folder", dir, "--parallel", "0", "http://a/pad.xml"},
      {"--folder", dir, "--parallel=257", "http://a/pad.xml"},
      {"--folder", dir, "--parallel", "many", "http://a/pad.xml"},
      {"--folder", dir, "http://a/pad.xml", "--parallel"},
      {"--check", "--update", "http://a/pad.xml"},
      {"--open", "--check", "http://a/pad.xml"},
      {"--check", "--json", "--update", "http://a/pad.xml"},
      // A line break would plant lines of its own in tesselwick.ini.
      {"--folder", dir, "http://x/pad.xml\nURL3=http://planted.example/"},
      {"--folder", dir, "http://x/pad.xml\r\nURL3=http://planted.example/"},
      {"--check", "http://x/\x1b]0;title\x07pad.xml"},
      // --skip-accepted and --retry-failed are for a submission.
      {"--folder", dir, "--skip-accepted", "--check", "http://a/pad.xml"},
      {"--folder", dir, "--skip-accepted", "--history"},
      {"--folder", dir, "--retry-failed", "--skip-accepted", "http://a/pad.xml"},
      {"--folder", dir, "--retry-failed", "--update", "http://a/pad.xml"},
      // --history only reads the run log.
      {"--folder", dir, "--history", "http://a/pad.xml"},
      {"--folder", dir, "--run", "1"},
      {"--folder", dir, "--run", "1", "http://a/pad.xml"},
      {"--folder", dir, "--history", "--run", "0"},
      {"--folder", dir, "--history", "--run=-1"},
      {"--folder", dir, "--history", "--run", "1x"},
      {"--folder", dir, "--history", "--run", "99999999999999999999"},
      {"--folder", dir, "--history", "--run"},
      {"--folder", dir, "--history", "--update"},
      {"--folder", dir, "--history", "--open"},
      {"--folder", dir, "--history", "--check"},
      {"--folder", dir, "--history", "--timeout", "5"},
      {"--folder", dir, "--history", "--parallel", "2"},
      {"--folder", (folder / "missing").string(), "--history"},
  };
  for (const auto& args : wrong) {
    const Outcome run = RunTool(args);
    EXPECT_EQ(run.status, exit_status::kUsage) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(run.err.rfind("tesselwick-submit: ", 0) == 0) << run.err;
    EXPECT_TRUE(run.err.ends_with("\n" + kTryHelp)) << run.err;
  }
  EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));

  const Outcome help = RunTool({"http://a/pad.xml", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out, SubmitToolUsage());
  EXPECT_TRUE(help.out.rfind("Usage: tesselwick-submit [--folder DIR] [--update] [--open] "
                             "[--json]\n",
                             0) == 0);
  EXPECT_TRUE(Contains(help.out, "\n  --timeout SECONDS\n"));
  EXPECT_TRUE(Contains(
      help.out, "\n       tesselwick-submit --check [--json] [--timeout SECONDS] PAD_URL\n"));
  EXPECT_TRUE(Contains(help.out, "\n  65   --check found problems"));
  EXPECT_TRUE(Contains(help.out, "\n  66   --history: the run log cannot be read"));
  const Outcome version = RunTool({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "tesselwick-submit 1.01\n");
}

std::vector<std::string> FolderNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A PAD file of version 2.4 of a program, a page that thanks, and one that
// is down for now (503) until a test sets it anew.
void ServeRecordedProduct(TestHttpServer& server) {
  server.Set("/pad.xml",
             Reply::Text("<XML_DIZ_INFO><Program_Info><Program_Name>Puzzle Box</Program_Name>"
                         "<Program_Version>2.4</Program_Version><Program_Category_Class>Games"
                         "</Program_Category_Class></Program_Info></XML_DIZ_INFO>"));
  server.Set("/thanks", Reply::Text("Thanks"));
  server.Set("/later", Reply::Text("down", 503));
}

TEST(SubmitTool, SkipAcceptedAsksOnlyTheSitesThatHaveNotTakenThisVersion) {
  TestHttpServer server;
  ServeRecordedProduct(server);
  TempFolder folder;
  folder.Write("pad.dat", Site("One", server.Url("/thanks")) + Site("Two", server.Url("/thanks")) +
                              Site("Three", server.Url("/later")));
  const std::string padUrl = server.Url("/pad.xml");
  const std::string dir = folder.Path().string();
  ASSERT_EQ(RunTool({"--folder", dir, padUrl}).status, exit_status::kSomeFailed);
  const std::string today = RunLog::UtcTimestamp(std::time(nullptr)).substr(0, 10);

  // The two that passed 2.4 are skipped and said so; the one that failed is asked.
  const Outcome skipping = RunTool({"--folder", dir, "--skip-accepted", "--json", padUrl});
  EXPECT_EQ(skipping.status, exit_status::kSomeFailed);
  const auto json = nlohmann::json::parse(skipping.out);
  EXPECT_EQ(json["passed"], 0);
  EXPECT_EQ(json["failed"], 1);
  EXPECT_EQ(json["skipped"], 2);
  // The list's first row is the file's last record.
  EXPECT_EQ(json["sites"][0]["status"], "Fail");
  EXPECT_EQ(json["sites"][2]["status"], "Skipped");
  EXPECT_EQ(json["sites"][2]["reason"], "accepted 2.4 on " + today);
  EXPECT_EQ(json["sites"][2]["http_status"], nullptr);
  // The first run's four requests, then the PAD file and the third site.
  EXPECT_EQ(server.Requests().size(), 4u + 2u);

  // When every site asked passes, the status is 0; the report has only them.
  server.Set("/later", Reply::Text("Thanks"));
  const Outcome passing = RunTool({"--folder", dir, "--skip-accepted", padUrl});
  EXPECT_EQ(passing.status, exit_status::kAllPassed);
  EXPECT_EQ(passing.Lines(),
            (std::vector<std::string>{"Pass  Three", "1 passed, 0 failed, 2 skipped"}));
  EXPECT_EQ(folder.Read("Report.htm").find("One"), std::string::npos);
  RunLog log(folder.Path());
  EXPECT_EQ(log.Runs().front().skipped, 2u);
  EXPECT_EQ(log.Runs().front().passed, 1u);

  // Without the option every site is asked, as before.
  EXPECT_EQ(RunTool({"--folder", dir, padUrl}).Lines().back(), "3 passed, 0 failed");
}

TEST(SubmitTool, RetryFailedAsksAgainTheSitesThatFailedInTheNewestRecordedRun) {
  TestHttpServer server;
  ServeRecordedProduct(server);
  TempFolder folder;
  folder.Write("pad.dat", Site("One", server.Url("/thanks")) + Site("Two", server.Url("/later")) +
                              Site("Three", server.Url("/later?c=%CATEGORY%")));
  const std::string padUrl = server.Url("/pad.xml");
  const std::string dir = folder.Path().string();

  // Nothing recorded yet: nothing to retry, and no site is asked.
  const Outcome none = RunTool({"--folder", dir, "--retry-failed", padUrl});
  EXPECT_EQ(none.status, exit_status::kRunLogUnreadable);
  EXPECT_TRUE(Contains(none.err, "the run log has no run of " + padUrl + " to retry\n"));
  EXPECT_EQ(server.Requests().size(), 0u);

  // One passes; in the next run it is skipped, the two others fail again.
  ASSERT_EQ(RunTool({"--folder", dir, padUrl}).status, exit_status::kSomeFailed);
  ASSERT_EQ(RunTool({"--folder", dir, "--skip-accepted", padUrl}).status, exit_status::kSomeFailed);
  const std::size_t before = server.Requests().size();

  // The retry fetches the PAD file and asks the two failed sites alone, with
  // the requests they were made with; the skipped one stays skipped.
  server.Set("/later", Reply::Text("Thanks"));
  const Outcome retry = RunTool({"--folder", dir, "--retry-failed", "--json", padUrl});
  EXPECT_EQ(retry.status, exit_status::kAllPassed);
  EXPECT_EQ(server.Requests().size(), before + 3u);
  const std::vector<test::RecordedRequest> asked = server.Requests();
  for (std::size_t i = before; i < asked.size(); ++i) EXPECT_NE(asked[i].path, "/thanks");
  const auto json = nlohmann::json::parse(retry.out);
  EXPECT_EQ(json["passed"], 2);
  EXPECT_EQ(json["failed"], 0);
  EXPECT_EQ(json["skipped"], 1);
  EXPECT_EQ(json["sites"][0]["status"], "Pass");
  EXPECT_EQ(json["sites"][0]["request"], server.Url("/later?c=Games"));
  EXPECT_EQ(json["sites"][2]["status"], "Skipped");
  // The report has the rows of the retried run, the skipped site left out.
  const std::string report = folder.Read("Report.htm");
  EXPECT_NE(report.find(">Three<"), std::string::npos);
  EXPECT_EQ(report.find(">One<"), std::string::npos);
  // The retry is a run of its own in the log, naming the run it retried.
  RunLog log(folder.Path());
  const std::vector<LoggedRun> runs = log.Runs();
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].retryOf, runs[1].id);
  EXPECT_EQ(runs[0].passed, 2u);
}

TEST(SubmitTool, HistoryShowsTheRunLogAsItIsWithoutChangingIt) {
  using json = nlohmann::ordered_json;
  TempFolder folder;
  const std::string dir = folder.Path().string();
  std::optional<RunLog> log(std::in_place, folder.Path());
  RunStart start{1796724000, "http://example.com/pad.xml", "Puzzle Box", "2.4", "Games", "7", 3};
  ASSERT_EQ(log->BeginRun(start), 1);
  log->Record({0, "Harbor", "http://harbor.example/", "http://harbor.example/add",
               "http://harbor.example/submit?pad=x", SiteOutcome::Pass, "HTTP 200", 200,
               std::nullopt, 0.2144});
  log->Record({1, "ByteBarn", "http://barn.example/", "http://barn.example/add",
               "http://barn.example/submit", SiteOutcome::Fail, "error 7: cannot connect",
               std::nullopt, 7, 0.003});
  log->Record({2, "Quiet", "http://quiet.example/", "http://quiet.example/add", "",
               SiteOutcome::Skipped, "no request template", std::nullopt, std::nullopt,
               std::nullopt});
  log->EndRun(false);
  start.started += 60;
  start.version = "2.5";
  start.siteCount = 2;
  ASSERT_EQ(log->BeginRun(start), 2);
  log->EndRun(true);
  // A run still under way shows the rows written so far, as not ended.
  start.started += 60;
  start.version = "2.4";
  ASSERT_EQ(log->BeginRun(start), 3);
  log->Record({0, "Harbor\x1b]0;x\x07", "http://harbor.example/", "", "", SiteOutcome::Pass,
               "HTTP 200", 200, std::nullopt, 0.5});
  log->Flush();

  const Outcome all = RunTool({"--folder", dir, "--history", "--json"});
  ASSERT_EQ(all.status, 0) << all.err;
  EXPECT_EQ(all.err, "");
  const json runs = json::parse(all.out);
  ASSERT_EQ(runs["runs"].size(), 3u);
  EXPECT_EQ(runs["runs"][2].dump(), json::parse(R"({"id": 1, "started": "2026-12-08T10:00:00Z",
                "pad_url": "http://example.com/pad.xml", "program": "Puzzle Box",
                "version": "2.4", "category": "Games", "sites": 3, "passed": 1, "failed": 1,
                "skipped": 1, "ended": true})")
                                        .dump());
  EXPECT_EQ(runs["runs"][1]["id"], 2);
  EXPECT_EQ(runs["runs"][1]["passed"], 0);
  EXPECT_EQ(runs["runs"][1]["ended"], true);
  EXPECT_EQ(runs["runs"][0]["id"], 3);
  EXPECT_EQ(runs["runs"][0]["started"], "2026-12-08T10:02:00Z");
  EXPECT_EQ(runs["runs"][0]["passed"], 1);
  EXPECT_EQ(runs["runs"][0]["ended"], false);
  log.reset();
  const std::string bytes = folder.Read(RunLog::kFileName);

  const Outcome one = RunTool({"--folder", dir, "--history", "--run", "1", "--json"});
  ASSERT_EQ(one.status, 0) << one.err;
  const json run = json::parse(one.out);
  EXPECT_EQ(run["id"], 1);
  EXPECT_EQ(run["skipped"], 1);
  ASSERT_EQ(run["sites"].size(), 3u);
  EXPECT_EQ(run.back(), run["sites"]);
  EXPECT_EQ(run["sites"][0].dump(),
            json::parse(R"({"title": "Harbor", "url": "http://harbor.example/",
                "submit_url": "http://harbor.example/add",
                "request": "http://harbor.example/submit?pad=x", "status": "Pass",
                "reason": "HTTP 200", "http_status": 200, "error": null, "seconds": 0.214})")
                .dump());
  EXPECT_EQ(run["sites"][1]["status"], "Fail");
  EXPECT_EQ(run["sites"][1]["error"], 7);
  EXPECT_EQ(run["sites"][2]["status"], "Skipped");
  EXPECT_EQ(run["sites"][2]["request"], nullptr);
  EXPECT_EQ(run["sites"][2]["seconds"], nullptr);

  const Outcome lines = RunTool({"--folder", dir, "--history"});
  EXPECT_EQ(lines.status, 0) << lines.err;
  EXPECT_EQ(lines.out,
            "3  2026-12-08T10:02:00Z  Puzzle Box 2.4  1 passed, 0 failed, 0 skipped of 2 sites  "
            "not ended  http://example.com/pad.xml\n"
            "2  2026-12-08T10:01:00Z  Puzzle Box 2.5  0 passed, 0 failed, 0 skipped of 2 sites  "
            "stopped  http://example.com/pad.xml\n"
            "1  2026-12-08T10:00:00Z  Puzzle Box 2.4  1 passed, 1 failed, 1 skipped of 3 sites  "
            "ended  http://example.com/pad.xml\n");
  EXPECT_EQ(RunTool({"--folder", dir, "--history", "--run", "1"}).out,
            "1  2026-12-08T10:00:00Z  Puzzle Box 2.4  1 passed, 1 failed, 1 skipped of 3 sites  "
            "ended  http://example.com/pad.xml\n"
            "Pass  Harbor\n"
            "Fail  ByteBarn  (error 7: cannot connect)\n"
            "Skipped  Quiet  (no request template)\n");
  EXPECT_TRUE(
      Contains(RunTool({"--folder", dir, "--history", "--run=3"}).out, "\nPass  Harbor?]0;x?\n"));
  const Outcome third = RunTool({"--folder", dir, "--history", "--run", "3", "--json"});
  EXPECT_EQ(json::parse(third.out)["sites"][0]["title"], "Harbor\x1b]0;x\x07");
  EXPECT_FALSE(Contains(third.out, "\x1b"));

  const Outcome missing = RunTool({"--folder", dir, "--history", "--run", "4"});
  EXPECT_EQ(missing.status, exit_status::kRunLogUnreadable);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "tesselwick-submit: the run log has no run 4\n");
  // The log's bytes stay as they were; SQLite may leave its side files of a
  // log in WAL mode, which the next run takes over.
  EXPECT_EQ(folder.Read(RunLog::kFileName), bytes);
  for (const std::string& name : FolderNames(folder.Path()))
    EXPECT_TRUE(name == RunLog::kFileName || name == std::string(RunLog::kFileName) + "-wal" ||
                name == std::string(RunLog::kFileName) + "-shm")
        << name;
}

TEST(SubmitTool, HistoryOfAMissingLogIsEmptyAndOfAnUnreadableOneEndsWithStatus66) {
  TempFolder folder;
  const std::string dir = folder.Path().string();
  const Outcome none = RunTool({"--folder", dir, "--history", "--json"});
  EXPECT_EQ(none.status, 0) << none.err;
  EXPECT_EQ(none.out, "{\n  \"runs\": []\n}\n");
  EXPECT_EQ(RunTool({"--folder", dir, "--history"}).out, "no runs recorded\n");
  const Outcome noRun = RunTool({"--folder", dir, "--history", "--run", "1"});
  EXPECT_EQ(noRun.status, exit_status::kRunLogUnreadable);
  EXPECT_EQ(noRun.err, "tesselwick-submit: the run log has no run 1\n");
  EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));

  // An empty file is a log without runs.
  folder.Write(RunLog::kFileName, "");
  EXPECT_EQ(RunTool({"--folder", dir, "--history"}).out, "no runs recorded\n");

  struct Row {
    const char* what;
    std::string bytes;
  };
  const Row rows[] = {
      {"random bytes", std::string("\x8f\x02\xd1 not a database \x00\xff\x13", 22)},
      {"a damaged database", std::string("SQLite format 3\0", 16) + std::string(200, '\x5a')},
  };
  for (const Row& row : rows) {
    folder.Write(RunLog::kFileName, row.bytes);
    for (const char* option : {"--json", "--run=1"}) {
      const Outcome run = RunTool({"--folder", dir, "--history", option});
      EXPECT_EQ(run.status, exit_status::kRunLogUnreadable) << row.what;
      EXPECT_EQ(run.out, "") << row.what;
      EXPECT_TRUE(
          run.err.starts_with("tesselwick-submit: the run log cannot be read: "
                              "tesselwick-runs.db: "))
          << run.err;
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_EQ(FolderNames(folder.Path()), std::vector<std::string>{RunLog::kFileName}) << row.what;
    EXPECT_EQ(folder.Read(RunLog::kFileName), row.bytes) << row.what;
  }

  // Not a file at all: it cannot be opened.
  std::filesystem::remove(folder / RunLog::kFileName);
  std::filesystem::create_directory(folder / RunLog::kFileName);
  const Outcome directory = RunTool({"--folder", dir, "--history"});
  EXPECT_EQ(directory.status, exit_status::kRunLogUnreadable) << directory.out;
  EXPECT_TRUE(directory.err.starts_with("tesselwick-submit: the run log cannot be read: "))
      << directory.err;
}

TEST(SubmitTool, TimeoutEndsEveryRequestThatTakesLonger) {
  TestHttpServer server;
  server.Set("/pad.xml", Reply::Text(kPadFile));
  server.Set("/thanks", Reply::Text("Thank you"));
  // Never a stall, but a hundred seconds long.
  server.Set("/trickle", Reply::Trickle(std::string(1000, 't'), 100ms));
  TempFolder folder;
  folder.Write("pad.dat",
               Site("Trickle", server.Url("/trickle")) + Site("Quick", server.Url("/thanks")));

  const Outcome run =
      RunTool({"--timeout", "1", "--folder", folder.Path().string(), server.Url("/pad.xml")});
  EXPECT_EQ(run.status, exit_status::kSomeFailed);
  EXPECT_EQ(run.Lines(), (std::vector<std::string>{"Fail  Trickle  (error 12002: timed out)",
                                                   "Pass  Quick", "1 passed, 1 failed"}));
}

TEST(SubmitTool, ParallelLimitsTheRequestsAtOnce) {
  TestHttpServer server;
  server.Set("/pad.xml", Reply::Text(kPadFile));
  Reply slow = Reply::Text("Thank you");
  slow.delay = 200ms;
  server.Set("/thanks", slow);
  TempFolder folder;
  std::string sites;
  for (int n = 1; n <= 3; ++n) {
    sites += Site("Site " + std::to_string(n), "http://h" + std::to_string(n) + ".localhost:" +
                                                   std::to_string(server.Port()) + "/thanks");
  }
  folder.Write("pad.dat", sites);

  const Outcome run =
      RunTool({"--parallel", "1", "--folder", folder.Path().string(), server.Url("/pad.xml")});
  EXPECT_EQ(run.status, exit_status::kAllPassed) << run.err;
  EXPECT_EQ(server.Requests().size(), 4u);
  EXPECT_EQ(server.PeakHeld(), 1);
}

TEST(SubmitTool, EveryControlCharacterOfSiteDataIsReplaced) {
  const std::pair<std::string, std::string> cases[] = {
      {"Plain Title 1.0", "Plain Title 1.0"},
      {"Evil\x1b]0;title\x07", "Evil?]0;title?"},
      {"a\tb\rc\nd\x7F", "a?b?c?d?"},
      // C1 controls as raw bytes (CSI, OSC) and in UTF-8 (CSI, NEL).
      {"x\x9B"
       "31m\x9D"
       "0;t",
       "x?31m?0;t"},
      {"x\xC2\x9B"
       "31m\xC2\x85y",
       "x?31m?y"},
      // Letters stay, in UTF-8 (continuation bytes in 0x80-0x9F included) or
      // in single bytes.
      {"\xD0\x90\xC4\x80 \xE2\x82\xAC \xF0\x9F\x98\x80 \xC2\xA0",
       "\xD0\x90\xC4\x80 \xE2\x82\xAC \xF0\x9F\x98\x80 \xC2\xA0"},
      {"Caf\xE9 \xA9", "Caf\xE9 \xA9"},
      // An overlong or cut-off sequence is no UTF-8: its bytes count alone.
      {"\xC1\x9B \xE0\x82\x85 \xC2", "\xC1? \xE0?? \xC2"},
  };
  for (const auto& [text, printed] : cases) {
    EXPECT_EQ(PrintableText(text), printed) << text;
  }
}

TEST(SubmitTool, UpdateDownloadsANewerSiteListAndCarriesOnWhenItCannot) {
  TestHttpServer server;
  server.Set("/pad.xml", Reply::Text(kPadFile));
  server.Set("/thanks", Reply::Text("Thank you"));
  server.Set("/cgi-bin/versioncheck.pl", Reply::Text("VERSION=1.01\r\nSCRIPTVERSION=7\r\n"));
  server.Set("/cgi-bin/versionupdate.pl",
             Reply::Text("SCRIPTVERSION=7\r\n" + Site("New Site", server.Url("/thanks?new"))));
  const std::string oldList = "SCRIPTVERSION=6\r\n" + Site("Old Site", server.Url("/thanks?old"));
  TempFolder folder;
  folder.Write("pad.dat", oldList);
  SubmitToolEnvironment env = QuickEnvironment();
  env.siteUrl = server.Url();
  const std::vector<std::string> args = {"--update", "--folder", folder.Path().string(),
                                         server.Url("/pad.xml")};

  const Outcome updated = RunTool(args, env);
  EXPECT_EQ(updated.status, exit_status::kAllPassed);
  EXPECT_EQ(updated.Lines(), (std::vector<std::string>{"Pass  New Site", "1 passed, 0 failed"}));
  EXPECT_TRUE(Contains(updated.err, "TesselWick Update: Site update complete\n"));
  EXPECT_TRUE(Contains(updated.err, "site list updated (version 7)\n"));
  EXPECT_TRUE(Contains(folder.Read("pad.dat"), "TITLE=New Site"));
  const auto requests = server.Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests[0].target, "/cgi-bin/versioncheck.pl?version=6");

  // Now up to date: nothing is downloaded.
  const Outcome current = RunTool(args, env);
  EXPECT_TRUE(Contains(current.err, "the site list is up to date (version 7)\n"));
  EXPECT_EQ(current.status, exit_status::kAllPassed);

  // A failed download keeps the old list, says so, and the run goes on with it.
  folder.Write("pad.dat", oldList);
  server.Set("/cgi-bin/versionupdate.pl", Reply::Text("Internal trouble, try later", 500));
  const Outcome failed = RunTool(args, env);
  EXPECT_EQ(failed.status, exit_status::kAllPassed);
  EXPECT_EQ(failed.Lines(), (std::vector<std::string>{"Pass  Old Site", "1 passed, 0 failed"}));
  EXPECT_TRUE(Contains(failed.err,
                       "Error: Script not downloaded, please try again. Ensure you "
                       "are connected to the internet.\n"));
  EXPECT_TRUE(Contains(failed.err, "carrying on with the current site list (version 6)\n"));
  EXPECT_EQ(folder.Read("pad.dat"), oldList);

  // An answer that is no site list (an error page sent with status 200) is
  // not taken for an update.
  server.Set("/cgi-bin/versionupdate.pl", Reply::Text("<html><body>502 Bad Gateway</body></html>"));
  const Outcome junk = RunTool(args, env);
  EXPECT_EQ(junk.status, exit_status::kAllPassed);
  EXPECT_EQ(junk.Lines(), (std::vector<std::string>{"Pass  Old Site", "1 passed, 0 failed"}));
  EXPECT_TRUE(Contains(junk.err,
                       "Error: The update server's answer is not a site list. Nothing was "
                       "changed.\n"));
  EXPECT_FALSE(Contains(junk.err, "site list updated"));
  EXPECT_TRUE(Contains(junk.err, "carrying on with the current site list (version 6)\n"));
  EXPECT_EQ(folder.Read("pad.dat"), oldList);

  // An update server that cannot be reached: the number and what it means.
  RefusingPort refusing;
  env.siteUrl = refusing.Url("");
  const Outcome unreachable = RunTool(args, env);
  EXPECT_EQ(unreachable.status, exit_status::kAllPassed);
  EXPECT_TRUE(Contains(unreachable.err, "could not be asked: error 12029: cannot connect\n"));
  EXPECT_TRUE(Contains(unreachable.err, "carrying on with the current site list (version 6)\n"));
}

TEST(SubmitTool, CtrlCStopsTheRunAndTheReportListsTheSitesThatAnswered) {
  TestHttpServer server;
  server.Set("/pad.xml", Reply::Text(kPadFile));
  server.Set("/thanks", Reply::Text("Thank you"));
  server.Set("/stall", Reply::Stall(30s));
  TempFolder folder;
  folder.Write("pad.dat",
               Site("Stalled", server.Url("/stall")) + Site("Quick", server.Url("/thanks")));

  std::atomic<bool> interrupted{false};
  SubmitToolEnvironment env = QuickEnvironment();
  env.fetchLimits.stallTimeoutSeconds = 60;
  env.interrupted = &interrupted;
  // Ctrl+C once the stalled site has been asked and the quick one has answered.
  std::thread user([&server, &interrupted] {
    for (int i = 0; i < 1000 && !interrupted; ++i) {
      const auto requests = server.Requests();
      if (std::any_of(requests.begin(), requests.end(),
                      [](const auto& request) { return request.path == "/stall"; }) &&
          requests.size() == 3) {
        std::this_thread::sleep_for(300ms);
        interrupted = true;
      }
      std::this_thread::sleep_for(10ms);
    }
  });
  const Outcome stopped =
      RunTool({"--folder", folder.Path().string(), server.Url("/pad.xml")}, env);
  user.join();
  EXPECT_EQ(stopped.status, exit_status::kStopped);
  EXPECT_EQ(stopped.Lines(), (std::vector<std::string>{"Pass  Quick", "1 passed, 0 failed"}));
  EXPECT_TRUE(Contains(stopped.err, "stopped; 1 site had not answered (left out of the report)\n"))
      << stopped.err;
  const std::string report = folder.Read("Report.htm");
  EXPECT_TRUE(Contains(report, ">Quick</a>"));
  EXPECT_FALSE(Contains(report, ">Stalled</a>"));
  EXPECT_TRUE(Contains(report, "<br>Stopped after 1 of 2 sites.<br>Submitted by"));

  // Stopped before the run: the update is abandoned and nothing is submitted.
  server.ClearRequests();
  const Outcome early =
      RunTool({"--update", "--folder", folder.Path().string(), server.Url("/pad.xml")}, env);
  EXPECT_EQ(early.status, exit_status::kStopped);
  EXPECT_TRUE(Contains(early.err, "stopped; nothing was submitted\n"));
  EXPECT_TRUE(server.Requests().empty());

  // Stopped while the update server is asked, or while the new list comes:
  // nothing is said of the request, pad.dat stays and nothing is submitted.
  const std::string list = folder.Read("pad.dat");
  for (const char* stalled : {"/cgi-bin/versioncheck.pl", "/cgi-bin/versionupdate.pl"}) {
    SCOPED_TRACE(stalled);
    TestHttpServer update;
    update.Set("/cgi-bin/versioncheck.pl", Reply::Text("VERSION=1.01\r\nSCRIPTVERSION=7\r\n"));
    update.Set("/cgi-bin/versionupdate.pl",
               Reply::Text("SCRIPTVERSION=7\r\n" + Site("New", server.Url("/thanks"))));
    update.Set(stalled, Reply::Stall(30s));
    env.siteUrl = update.Url();
    interrupted = false;
    std::thread stopper([&update, &interrupted, stalled] {
      for (int i = 0; i < 1000 && !interrupted; ++i) {
        const auto requests = update.Requests();
        if (std::any_of(requests.begin(), requests.end(),
                        [stalled](const auto& request) { return request.path == stalled; })) {
          std::this_thread::sleep_for(100ms);
          interrupted = true;
        }
        std::this_thread::sleep_for(10ms);
      }
    });
    server.ClearRequests();
    const Outcome during =
        RunTool({"--update", "--folder", folder.Path().string(), server.Url("/pad.xml")}, env);
    stopper.join();
    EXPECT_EQ(during.status, exit_status::kStopped);
    EXPECT_EQ(during.err, "tesselwick-submit: stopped; nothing was submitted\n");
    EXPECT_EQ(folder.Read("pad.dat"), list);
    EXPECT_TRUE(server.Requests().empty());
  }
}

#ifndef _WIN32
TEST(SubmitTool, SigtermAndSighupStopTheRunAsCtrlCDoesWithTheirOwnStatus) {
  TestHttpServer server;
  server.Set("/pad.xml", Reply::Text(kPadFile));
  server.Set("/thanks", Reply::Text("Thank you"));
  server.Set("/stall", Reply::Stall(30s));
  const std::string padUrl = server.Url("/pad.xml");
  struct Row {
    int signal;
    int status;
    // Standard output goes to /dev/full, as to a terminal that went away: the
    // stop keeps its status.
    bool unwritable;
  };
  const Row rows[] = {
      {SIGTERM, exit_status::kTerminated, false},
      {SIGHUP, exit_status::kHungUp, false},
      {SIGINT, exit_status::kStopped, false},
      {SIGHUP, exit_status::kHungUp, true},
  };
  for (const auto& [signal, status, unwritable] : rows) {
    SCOPED_TRACE(signal);
    server.ClearRequests();
    TempFolder folder, output;
    folder.Write("pad.dat",
                 Site("Stalled", server.Url("/stall")) + Site("Quick", server.Url("/thanks")));
    const int out = unwritable
                        ? ::open("/dev/full", O_WRONLY)
                        : ::open((output / "out.json").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(out, 0);
    ToolProcess tool({"--json", "--folder", folder.Path().string(), padUrl}, out,
                     output / "err.txt");
    ::close(out);
    ASSERT_TRUE(tool.Started());
    // The signal once the stalled site has been asked and the quick one has
    // answered.
    for (int i = 0; i < 1000 && server.Requests().size() < 3; ++i)
      std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(300ms);
    tool.Send(signal);
    EXPECT_EQ(tool.Wait(), status);
    const std::string err = output.Read("err.txt");
    EXPECT_TRUE(Contains(err, "stopped; 1 site had not answered (left out of the report)\n"))
        << err;
    EXPECT_TRUE(Contains(folder.Read("Report.htm"), "<br>Stopped after 1 of 2 sites.<br>"));
    EXPECT_TRUE(Contains(folder.Read("tesselwick.ini"), "URL1=" + padUrl + "\r\n"));
    if (unwritable) {
      EXPECT_TRUE(Contains(err, "could not write to standard output")) << err;
      continue;
    }
    const nlohmann::json json = nlohmann::json::parse(output.Read("out.json"), nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << output.Read("out.json");
    EXPECT_EQ(json["stopped"], true);
    EXPECT_EQ(json["passed"], 1);
    EXPECT_EQ(json["failed"], 1);
  }
}

TEST(SubmitTool, StandardOutputThatCannotBeWrittenEndsWithStatus74) {
  TestHttpServer server;
  server.Set("/pad.xml", Reply::Text(kPadFile));
  server.Set("/thanks", Reply::Text("Thank you"));
  const std::string padUrl = server.Url("/pad.xml");
  struct Row {
    std::vector<std::string> args;
    bool closedPipe;  // a pipe nobody reads, or else /dev/full
    bool submits;
  };
  const Row rows[] = {
      {{"--json", padUrl}, false, true},   {{padUrl}, false, true},
      {{"--json", padUrl}, true, true},    {{padUrl}, true, true},
      {{"--check", padUrl}, false, false}, {{"--help"}, false, false},
      {{"--version"}, true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args[0] + (row.closedPipe ? " | closed pipe" : " > /dev/full"));
    TempFolder folder, output;
    folder.Write("pad.dat", Site("Quick", server.Url("/thanks")));
    int out = -1;
    if (row.closedPipe) {
      int ends[2];
      ASSERT_EQ(::pipe(ends), 0);
      ::close(ends[0]);
      out = ends[1];
    } else {
      out = ::open("/dev/full", O_WRONLY);
    }
    ASSERT_GE(out, 0);
    std::vector<std::string> args = {"--folder", folder.Path().string()};
    if (row.args[0] == "--help" || row.args[0] == "--version" || row.args[0] == "--check")
      args.clear();
    args.insert(args.end(), row.args.begin(), row.args.end());
    ToolProcess tool(args, out, output / "err.txt");
    ::close(out);
    ASSERT_TRUE(tool.Started());
    EXPECT_EQ(tool.Wait(), exit_status::kOutputFailed);
    const std::string err = output.Read("err.txt");
    EXPECT_TRUE(err.ends_with(
        "tesselwick-submit: could not write to standard output; what it shows is incomplete\n"))
        << err;
    // What the run keeps is kept all the same.
    if (row.submits) {
      EXPECT_TRUE(Contains(folder.Read("Report.htm"), ">Quick</a>"));
      EXPECT_TRUE(Contains(folder.Read("tesselwick.ini"), "URL1=" + padUrl + "\r\n"));
    }
  }
}
TEST(SubmitTool, TheBrowserIsStartedWithSigpipeAsUsualThoughTheToolIgnoresIt) {
  // A stand-in for xdg-open that notes which signals it ignores.
  TempFolder bin;
  bin.Write("xdg-open",
            "#!/bin/sh\ngrep '^SigIgn:' /proc/$$/status > \"$0.out.tmp\"\n"
            "mv \"$0.out.tmp\" \"$0.out\"\n");
  std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
  const std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  ::setenv("PATH", (bin.Path().string() + ":" + path).c_str(), 1);
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  std::string why;
  const bool started = OpenWithDesktop("/nowhere/Report.htm", why);
  std::signal(SIGPIPE, previous);
  ::setenv("PATH", path.c_str(), 1);
  ASSERT_TRUE(started) << why;
  for (int i = 0; i < 500 && bin.Read("xdg-open.out") == "<missing>"; ++i)
    std::this_thread::sleep_for(10ms);
  const std::string line = bin.Read("xdg-open.out");
  ASSERT_TRUE(line.starts_with("SigIgn:")) << line;
  const unsigned long ignored = std::stoul(line.substr(7), nullptr, 16);
  EXPECT_EQ(ignored & (1UL << (SIGPIPE - 1)), 0UL) << line;
}

#endif

TEST(SubmitTool, ControlCharactersInTheFolderNeverReachTheTerminal) {
  TestHttpServer server;
  server.Set("/pad.xml", Reply::Text(kPadFile));
  TempFolder parent;
  const std::filesystem::path folder = parent / "work\x1b]0;title\x07";
  const std::string shown = (parent / "work?]0;title?").lexically_normal().string();
  // What is made in the folder, and a line that names a file in it.
  const std::pair<const char*, std::string> rows[] = {
      {"", "the site list is empty (" + shown + "/pad.dat)"},
      {"", "report written to " + shown + "/Report.htm\n"},
      {"Report.htm", "Could not write to report file (" + shown + "/Report.htm)\n"},
      {"tesselwick.ini", "(" + shown + "/tesselwick.ini)\n"},
      {"ReportTemplate.htm", "(" + shown + "/ReportTemplate.htm; the built-in layout is used)\n"},
  };
  for (const auto& [made, line] : rows) {
    SCOPED_TRACE(line);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directory(folder);
    if (*made != '\0') std::filesystem::create_directory(folder / made);
    const Outcome run = RunTool({"--folder", folder.string(), server.Url("/pad.xml")});
    EXPECT_TRUE(Contains(run.err, line)) << run.err;
    EXPECT_FALSE(Contains(run.err, "\x1b")) << run.err;
    EXPECT_FALSE(Contains(run.err, "\x07")) << run.err;
  }
}

TEST(SubmitTool, OpenShowsTheReportAndAFailedReportEndsWithStatus3) {
  TestHttpServer server;
  server.Set("/pad.xml", Reply::Text(kPadFile));
  TempFolder folder;
  std::vector<std::string> opened;
  SubmitToolEnvironment env = QuickEnvironment();
  env.openInBrowser = [&opened](const std::string& path) { opened.push_back(path); };
  // No pad.dat: an empty list is said, and passes.
  const Outcome empty =
      RunTool({"--open", "--folder", folder.Path().string(), server.Url("/pad.xml")}, env);
  EXPECT_EQ(empty.status, exit_status::kAllPassed);
  EXPECT_EQ(empty.out, "0 passed, 0 failed\n");
  EXPECT_TRUE(Contains(empty.err, "the site list is empty"));
  EXPECT_EQ(opened, std::vector<std::string>{(folder / "Report.htm").lexically_normal().string()});

  // A folder where the report should be: it cannot be written.
  std::filesystem::remove(folder / "Report.htm");
  std::filesystem::create_directory(folder / "Report.htm");
  folder.Write("pad.dat", Site("Site", server.Url("/pad.xml")));
  const Outcome unwritten = RunTool({"--folder", folder.Path().string(), server.Url("/pad.xml")});
  EXPECT_EQ(unwritten.status, exit_status::kReportNotWritten);
  EXPECT_EQ(unwritten.out, "Pass  Site\n1 passed, 0 failed\n");
  EXPECT_TRUE(Contains(unwritten.err, "Error Log: Could not write to report file ("));
  EXPECT_FALSE(Contains(unwritten.err, "report written to"));
}

TEST(SubmitTool, ATerminalShowsAStatusLineThatIsClearedBeforeEachSiteLine) {
  TestHttpServer server;
  server.Set("/pad.xml", Reply::Text(kPadFile));
  Reply slow = Reply::Text("Thank you");
  slow.delay = 300ms;
  server.Set("/slow", slow);
  TempFolder folder;
  folder.Write("pad.dat", Site("A Site With A Long Name", server.Url("/slow")));
  SubmitToolEnvironment env = QuickEnvironment();
  env.stderrIsTerminal = true;
  env.terminalColumns = 30;
  const Outcome run = RunTool({"--folder", folder.Path().string(), server.Url("/pad.xml")}, env);
  EXPECT_EQ(run.status, exit_status::kAllPassed);
  EXPECT_EQ(run.out, "Pass  A Site With A Long Name\n1 passed, 0 failed\n");
  // Each status is written after a carriage return and blanked out again,
  // never wider than the terminal and without escape codes.
  EXPECT_TRUE(Contains(run.err, "[0/1] 0 passed, 0 failed; wai\r"));
  EXPECT_TRUE(Contains(run.err, "\r" + std::string(29, ' ') + "\r"));
  EXPECT_FALSE(Contains(run.err, "\x1b"));
}

}  // namespace
}  // namespace tesselwick::cli

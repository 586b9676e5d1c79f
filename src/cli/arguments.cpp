// tesselwick-submit's arguments: what each option means, which go together,
// and the help that says so.

#include "cli/arguments.h"

#include <charconv>
#include <system_error>
#include <utility>

#include "cli/console_progress.h"
#include "cli/submit_tool.h"
#include "core/history/url_history.h"
#include "core/platform/system.h"
#include "core/text/program.h"

namespace tesselwick::cli {

namespace {
// The longest overall time limit --timeout takes: a day.
constexpr long kLongestTimeout = 86400;

// The seconds of --timeout: a whole number from 1 to kLongestTimeout.
std::optional<long> TimeoutSeconds(std::string_view text) {
  long seconds = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (seconds < 1 || seconds > kLongestTimeout) return std::nullopt;
  return seconds;
}

// The value of an option that takes one, when args[i] is that option: the
// next argument ("--folder DIR", which it then skips) or what follows "="
// ("--folder=DIR"); empty when there is none.
std::optional<std::string> OptionValue(const std::vector<std::string>& args, std::size_t& i,
                                       std::string_view name) {
  const std::string& arg = args[i];
  if (arg == name) return i + 1 < args.size() ? args[++i] : std::string();
  if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 && arg[name.size()] == '=')
    return arg.substr(name.size() + 1);
  return std::nullopt;
}

}  // namespace

Parsed ParseArguments(const std::vector<std::string>& args) {
  Parsed parsed;
  // --help and --version win wherever they stand among the options.
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h") {
      parsed.help = true;
      return parsed;
    }
    if (arg == "--version") parsed.version = true;
  }
  if (parsed.version) return parsed;

  Options options;
  std::vector<std::string> operands;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      operands.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--update") {
      options.update = true;
    } else if (arg == "--open") {
      options.open = true;
    } else if (arg == "--check") {
      options.check = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--retry-failed") {
      options.retryFailed = true;
    } else if (arg == "--skip-accepted") {
      options.skipAccepted = true;
    } else if (arg == "--history") {
      options.history = true;
    } else if (std::optional<std::string> number = OptionValue(args, i, "--run")) {
      std::int64_t id = 0;
      const auto [end, ec] = std::from_chars(number->data(), number->data() + number->size(), id);
      if (number->empty()) {
        parsed.error = "option '--run' needs a run number";
        return parsed;
      }
      if (ec != std::errc() || end != number->data() + number->size() || id < 1) {
        parsed.error = "option '--run' takes a run number, a whole number from 1, not '" +
                       PrintableText(*number) + "'";
        return parsed;
      }
      options.run = id;
    } else if (std::optional<std::string> folder = OptionValue(args, i, "--folder")) {
      if (folder->empty()) {
        parsed.error = "option '--folder' needs a folder";
        return parsed;
      }
      options.folder = platform::PathFromUtf8(*folder);
    } else if (std::optional<std::string> value = OptionValue(args, i, "--timeout")) {
      if (value->empty()) {
        parsed.error = "option '--timeout' needs a number of seconds";
        return parsed;
      }
      options.timeoutSeconds = TimeoutSeconds(*value);
      if (!options.timeoutSeconds) {
        parsed.error = "option '--timeout' takes a whole number of seconds from 1 to " +
                       std::to_string(kLongestTimeout) + ", not '" + PrintableText(*value) + "'";
        return parsed;
      }
    } else if (std::optional<std::string> count = OptionValue(args, i, "--parallel")) {
      int n = 0;
      const auto [end, ec] = std::from_chars(count->data(), count->data() + count->size(), n);
      if (count->empty() || ec != std::errc() || end != count->data() + count->size() || n < 1 ||
          n > RequestPool::kMostConcurrency) {
        parsed.error = "option '--parallel' takes a whole number of requests from 1 to " +
                       std::to_string(RequestPool::kMostConcurrency) + ", not '" +
                       PrintableText(*count) + "'";
        return parsed;
      }
      options.parallel = n;
      options.parallelGiven = true;
    } else {
      parsed.error = "unknown option '" + PrintableText(arg) + "'";
      return parsed;
    }
  }

  if (options.check && (options.update || options.open)) {
    parsed.error = "option '--check' only checks the PAD file: it takes no '--update' or '--open'";
    return parsed;
  }
  if (options.skipAccepted && (options.check || options.history)) {
    parsed.error = std::string("option '--skip-accepted' is for a submission: it takes no '") +
                   (options.check ? "--check" : "--history") + "'";
    return parsed;
  }
  if (options.retryFailed &&
      (options.check || options.history || options.update || options.skipAccepted)) {
    parsed.error =
        "option '--retry-failed' asks the sites of the recorded run again: it takes no "
        "'--check', '--history', '--update' or '--skip-accepted'";
    return parsed;
  }
  if (options.run && !options.history) {
    parsed.error = "option '--run' needs '--history'";
    return parsed;
  }
  if (options.history) {
    if (options.update || options.open || options.check || options.timeoutSeconds ||
        options.parallelGiven) {
      parsed.error =
          "option '--history' only reads the run log: it takes no '--update', '--open', "
          "'--check', '--timeout' or '--parallel'";
      return parsed;
    }
    if (!operands.empty()) {
      parsed.error =
          "option '--history' takes no PAD URL, not '" + PrintableText(operands[0]) + "'";
      return parsed;
    }
  } else if (operands.empty()) {
    parsed.error = "no PAD URL given";
    return parsed;
  }
  // --history has no PAD URL to check.
  if (!options.history) {
    if (operands.size() > 1) {
      parsed.error = "only one PAD URL may be given, not also '" + PrintableText(operands[1]) + "'";
      return parsed;
    }
    if (operands[0].empty()) {
      parsed.error = "the PAD URL is empty";
      return parsed;
    }
    // Neither requested nor remembered: it would split the history's lines.
    if (HasControlCharacter(operands[0])) {
      parsed.error = "the PAD URL holds a line break or another control character: '" +
                     PrintableText(operands[0]) + "'";
      return parsed;
    }
    options.padUrl = operands[0];
  }

  std::error_code ec;
  if (!std::filesystem::is_directory(options.folder, ec)) {
    parsed.error =
        "no such folder: '" + PrintableText(platform::Utf8FromPath(options.folder)) + "'";
    return parsed;
  }
  parsed.options = std::move(options);
  return parsed;
}

std::string SubmitToolUsage() {
  return std::string(
             "Usage: tesselwick-submit [--folder DIR] [--update] [--open] [--json]\n"
             "                         [--timeout SECONDS] [--parallel N] [--skip-accepted]\n"
             "                         PAD_URL\n"
             "       tesselwick-submit [--folder DIR] --retry-failed [--open] [--json]\n"
             "                         [--timeout SECONDS] [--parallel N] PAD_URL\n"
             "       tesselwick-submit --check [--json] [--timeout SECONDS] PAD_URL\n"
             "       tesselwick-submit [--folder DIR] --history [--run N] [--json]\n"
             "\n"
             "Submits the PAD file at PAD_URL to every download site of the site list\n"
             "(pad.dat) as TesselWick's Submit button does: the sites are requested side by\n"
             "side, each answer is judged Pass or Fail, Report.htm is written and the URL is\n"
             "remembered in tesselwick.ini. Before any site is asked, the PAD file is checked\n"
             "for what download sites reject; each problem is printed as a warning on\n"
             "standard error, and the run goes on; it also says how many further\n"
             "warnings --check lists. Every run is kept in the run log beside pad.dat\n"
             "(tesselwick-runs.db); a log that cannot be written is said once, and the\n"
             "run goes on without it.\n"
             "\n"
             "Options:\n"
             "  --folder DIR  work in DIR, with its pad.dat, tesselwick.ini,\n"
             "                ReportTemplate.htm and Report.htm (default: the current folder)\n"
             "  --update      first ask the update server (") +
         program::kSiteUrl +
         ") for a newer\n"
         "                site list and download it, as the Update window does\n"
         "  --open        open Report.htm in the default browser afterwards\n"
         "  --json        print the run as one JSON object on standard output in\n"
         "                place of the site lines (see below)\n"
         "  --check       only check the PAD file: print its problems on standard\n"
         "                output, one a line, ask no site and write no file. First\n"
         "                the errors, what download sites reject; then the warnings\n"
         "                (\"warning: ...\"), every other field whose text does not\n"
         "                keep to the PAD format's pattern for it. With --json, one\n"
         "                JSON object: {\"pad_url\": \"...\", \"problems\": [{\"level\":\n"
         "                \"error\" or \"warning\", \"path\": \"XML_DIZ_INFO/...\" or null,\n"
         "                \"text\": \"...\"}, ...]}\n"
         "  --timeout SECONDS\n"
         "                give up on any request (the PAD file, a site, the update\n"
         "                server) that has not ended after SECONDS, from 1 to 86400\n"
         "                (default: 120). Besides, connecting may take at most 60\n"
         "                seconds, and a request that receives nothing for 60 seconds\n"
         "                is given up too.\n"
         "  --parallel N  request at most N sites at once, from 1 to " +
         std::to_string(RequestPool::kMostConcurrency) +
         " (default: " + std::to_string(RequestPool::kDefaultConcurrency) +
         ");\n"
         "                never more than " +
         std::to_string(RequestPool::kPerHost) +
         " at once to one host\n"
         "  --skip-accepted\n"
         "                do not ask the sites that passed this PAD URL with the same\n"
         "                Program_Version in a recorded run: they show as \"Skipped\"\n"
         "                (reason \"accepted VERSION on DATE\"), are counted in\n"
         "                \"skipped\", get no row in Report.htm, and the last line\n"
         "                becomes \"N passed, M failed, K skipped\"\n"
         "  --retry-failed\n"
         "                fetch the PAD file again and ask only the sites that failed\n"
         "                (not those skipped) in the newest recorded run of PAD_URL,\n"
         "                with the requests that run made; the report and the JSON\n"
         "                hold that run's sites with the retried outcomes in place,\n"
         "                and the last line counts them all\n"
         "  --history     only show the run log of the folder (tesselwick-runs.db),\n"
         "                every run newest first, one a line: its number, start\n"
         "                (UTC), program and version, how many sites passed, failed\n"
         "                and were skipped, whether it ended, was stopped or did not\n"
         "                end (killed, or still under way), and its PAD URL. Nothing\n"
         "                is submitted; the log is only read. With --json:\n"
         "                {\"runs\": [{\"id\": 3, \"started\": \"2026-12-08T10:00:00Z\",\n"
         "                \"pad_url\": \"...\", \"program\": \"...\", \"version\": \"...\",\n"
         "                \"category\": \"...\", \"sites\": 12, \"passed\": 8, \"failed\": 4,\n"
         "                \"skipped\": 0, \"ended\": true}, ...]}\n"
         "  --run N       with --history: only run N, then a line per site of it as\n"
         "                the run printed them (\"Skipped  TITLE  (REASON)\" for a\n"
         "                site it did not ask). With --json, the run's object with\n"
         "                \"sites\" the list of its sites, each as --json of a run\n"
         "                prints it (\"status\" also \"Skipped\"). Which sites took\n"
         "                version 2.4:\n"
         "                  for n in $(tesselwick-submit --history --json |\n"
         "                      jq '.runs[] | select(.version == \"2.4\") | .id'); do\n"
         "                    tesselwick-submit --history --run \"$n\" --json |\n"
         "                      jq -r '.sites[] | select(.status == \"Pass\") | .title'\n"
         "                  done | sort -u\n"
         "  --help        show this help and exit\n"
         "  --version     show the version and exit\n"
         "\n"
         "Output: one line per site on standard output, as each site answers:\n"
         "  Pass  TITLE\n"
         "  Fail  TITLE  (REASON)\n"
         "REASON is \"error N: WORDS\" (the site could not be reached), \"HTTP N\" (an\n"
         "error status), or 'answer contains \"Error\"' or 'answer contains \"404\"'.\n"
         "The last line is \"N passed, M failed\". Messages go to standard error, and so\n"
         "does the progress when it is a terminal. Ctrl+C stops the run; the report\n"
         "then lists the sites that had answered. SIGTERM (as timeout(1) sends it)\n"
         "and SIGHUP stop it the same way. The report, the JSON and the history are\n"
         "still written.\n"
         "\n"
         "With --json, standard output holds one JSON object instead, for example:\n"
         "  {\"pad_url\": \"http://example.com/pad.xml\", \"category\": \"Games\",\n"
         "   \"date\": \"07-Dec-2026\", \"stopped\": false, \"passed\": 1, \"failed\": 1,\n"
         "   \"skipped\": 0,\n"
         "   \"sites\": [{\"title\": \"Shareware Harbor\", \"url\": \"http://harbor.example/\",\n"
         "     \"submit_url\": \"http://harbor.example/add.htm\",\n"
         "     \"request\": \"http://harbor.example/submit?pad=http://example.com/pad.xml\",\n"
         "     \"status\": \"Pass\", \"reason\": \"HTTP 200\", \"http_status\": 200,\n"
         "     \"error\": null, \"seconds\": 0.214},\n"
         "    {\"title\": \"ByteBarn\", ..., \"status\": \"Fail\",\n"
         "     \"reason\": \"error 12029: cannot connect\", \"http_status\": null,\n"
         "     \"error\": 12029, \"seconds\": 0.003}]}\n"
         "Each site of the list is there, in its order; \"failed\" counts every site\n"
         "that did not pass, also those a stopped run never reached (their reason is\n"
         "\"not sent: the run was stopped\" or \"no answer: the run was stopped\", and\n"
         "their seconds null). A record without a GETORPOST line fails with \"no\n"
         "request template\".\n"
         "\n"
         "Exit status:\n"
         "  0    every site asked passed (also when the site list is empty)\n"
         "  1    one or more sites failed\n"
         "  2    the PAD file could not be fetched or names no category\n"
         "  3    Report.htm could not be written\n"
         "  64   usage error (unknown option, no or two PAD URLs, a PAD URL with a\n"
         "       line break or another control character, no such folder)\n"
         "  65   --check found problems in the PAD file: errors (0: none, or only\n"
         "       warnings; 2: not fetched)\n"
         "  66   --history: the run log cannot be read (not a database, locked by\n"
         "       another run for too long, no permission), or it has no run N;\n"
         "       --retry-failed: the run log has no run of PAD_URL\n"
         "  74   standard output could not be written (a full disk, a closed pipe);\n"
         "       the report and the history are still written (a stop keeps 129,\n"
         "       130 or 143)\n"
         "  129  stopped by SIGHUP\n"
         "  130  stopped with Ctrl+C\n"
         "  143  stopped by SIGTERM (on Windows: the console window was closed)\n";
}

}  // namespace tesselwick::cli

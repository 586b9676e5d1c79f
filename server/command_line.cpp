#include "command_line.h"

#include <charconv>
#include <optional>
#include <system_error>

namespace tesselwick::site {
namespace {

std::optional<int> ParseNumber(const std::string& text, int low, int high) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  if (value < low || value > high) return std::nullopt;
  return value;
}

}  // namespace

DefaultFiles FindDefaultFiles(const std::filesystem::path& programFile,
                              const std::filesystem::path& shareFromProgram) {
  std::error_code ec;
  const std::filesystem::path share =
      (programFile.parent_path() / shareFromProgram).lexically_normal();
  if (!programFile.empty() && std::filesystem::is_directory(share / "data", ec)) {
    return {share / "data", share / "manual.htm"};
  }
  return {SourceDataDir(), SourceManualFile()};
}

DefaultFiles FindDefaultFiles() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return FindDefaultFiles(ec ? std::filesystem::path() : self, TESSELWICK_SHARE_FROM_PROGRAM);
}

std::string UsageText(const DefaultFiles& defaults) {
  return "Usage: tesselwick-site [options]\n"
         "       tesselwick-site --export DIR [--data DIR] [--manual FILE]\n"
         "\n"
         "The TesselWick web site: answers the program's version check and site-list\n"
         "download, serves the manual at /manual.htm and, with --demo, a sample PAD file\n"
         "and sample download sites.\n"
         "\n"
         "Options:\n"
         "  --data DIR           folder with the published pad.dat and version.txt\n"
         "                       (default " +
         defaults.dataDir.string() +
         ")\n"
         "  --host HOST          address to listen on (default 127.0.0.1)\n"
         "  --port N             port to listen on (default 8417; 0 picks a free port)\n"
         "  --manual FILE        the manual page (default " +
         defaults.manualFile.string() +
         ")\n"
         "  --demo               also serve /demo/pad.xml and demo download sites, and hand\n"
         "                       out a site list naming those sites\n"
         "  --demo-sites N       number of demo sites (default 12)\n"
         "  --demo-delay-ms L    each demo site answers a submission after L ms (default 150)\n"
         "  --export DIR         write the published site into DIR as plain files for a\n"
         "                       web server (DIR/htdocs) with an nginx configuration\n"
         "                       (DIR/nginx-site.conf), and end\n"
         "  -h, --help           show this text\n"
         "\n"
         "Every answered request is logged on standard output. SIGINT or SIGTERM stops it.\n"
         "Each client address has at most 8 connections answered at once; a connection\n"
         "without a request is closed after 2 s.\n";
}

CommandLine ParseCommandLine(const std::vector<std::string>& args, const DefaultFiles& defaults) {
  CommandLine cl;
  cl.config.dataDir = defaults.dataDir;
  cl.config.manualFile = defaults.manualFile;
  for (std::size_t i = 0; i < args.size() && cl.error.empty(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    if (const std::size_t eq = name.find('=');
        name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    // The option's value: after "=" or the next argument.
    auto take = [&]() -> std::optional<std::string> {
      if (value) return value;
      if (i + 1 < args.size()) return args[++i];
      cl.error = name + " needs a value";
      return std::nullopt;
    };
    auto takeNumber = [&](int low, int high) -> std::optional<int> {
      const std::optional<std::string> text = take();
      if (!text) return std::nullopt;
      std::optional<int> n = ParseNumber(*text, low, high);
      if (!n) {
        cl.error = name + " takes a whole number from " + std::to_string(low) + " to " +
                   std::to_string(high) + ", not \"" + *text + "\"";
      }
      return n;
    };

    if (name == "-h" || name == "--help") {
      cl.help = true;
    } else if (name == "--demo") {
      if (value) cl.error = "--demo takes no value";
      cl.config.demo = true;
    } else if (name == "--data") {
      if (auto v = take()) cl.config.dataDir = *v;
    } else if (name == "--export") {
      if (auto v = take()) {
        if (v->empty()) cl.error = "--export needs a folder";
        cl.exportDir = *v;
      }
    } else if (name == "--manual") {
      if (auto v = take()) cl.config.manualFile = *v;
    } else if (name == "--host") {
      if (auto v = take()) {
        if (v->empty()) cl.error = "--host needs a host name or address";
        cl.config.host = *v;
      }
    } else if (name == "--port") {
      if (auto n = takeNumber(0, 65535)) cl.config.port = *n;
    } else if (name == "--demo-sites") {
      if (auto n = takeNumber(1, 1000)) cl.config.demoSites = *n;
    } else if (name == "--demo-delay-ms") {
      if (auto n = takeNumber(0, 60000)) cl.config.demoDelay = std::chrono::milliseconds(*n);
    } else {
      cl.error = "unknown option " + name;
    }
  }
  if (cl.error.empty() && !cl.exportDir.empty() && cl.config.demo) {
    cl.error = "--export writes the published site; the demo is served only by tesselwick-site";
  }
  return cl;
}

}  // namespace tesselwick::site

// tesselwick-site: the TesselWick web site in a box. Serves the update
// server's two requests, the manual and, with --demo, sample download sites.
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "command_line.h"
#include "site_export.h"
#include "site_server.h"

int main(int argc, char** argv) {
  using tesselwick::site::CommandLine;
  const std::vector<std::string> args(argv + 1, argv + argc);
  const tesselwick::site::DefaultFiles defaults = tesselwick::site::FindDefaultFiles();
  CommandLine cl = tesselwick::site::ParseCommandLine(args, defaults);
  if (cl.help) {
    std::cout << tesselwick::site::UsageText(defaults);
    return 0;
  }
  if (!cl.error.empty()) {
    std::cerr << "tesselwick-site: " << cl.error << "\n"
              << "Try 'tesselwick-site --help' for the options.\n";
    return 2;
  }

  if (!cl.exportDir.empty()) {
    const tesselwick::site::SiteExport written =
        tesselwick::site::ExportSite(cl.config, cl.exportDir);
    for (const std::filesystem::path& file : written.files) {
      std::cout << "tesselwick-site: wrote " << file.string() << "\n";
    }
    if (!written.error.empty()) {
      std::cerr << "tesselwick-site: " << written.error << std::endl;
      return 1;
    }
    std::cout << "tesselwick-site: serve " << written.root.string()
              << " as the site's root; for nginx, include " << written.nginxConf.string()
              << " in a server block" << std::endl;
    return 0;
  }

  // Every open connection takes a file descriptor, and a site may have many
  // thousands open: take all the system allows this process.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }

  // SIGINT and SIGTERM are taken by sigwait below; every thread that the
  // server starts inherits this mask, so none of them is interrupted.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);  // a client that hangs up early is no reason to end

  cl.config.log = [](const std::string& line) { std::cout << line << std::endl; };
  tesselwick::site::SiteServer server(cl.config);
  if (!server.Start()) {
    std::cerr << "tesselwick-site: " << server.Error() << std::endl;
    return 1;
  }
  std::cout << "tesselwick-site: listening on " << server.BaseUrl() << " (port " << server.Port()
            << "), manual at " << server.BaseUrl() << "/manual.htm" << std::endl;
  if (cl.config.demo) {
    std::cout << "tesselwick-site: demo mode, " << cl.config.demoSites << " sites answering after "
              << cl.config.demoDelay.count() << " ms; sample PAD file " << server.DemoPadUrl()
              << std::endl;
  }

  int signal = 0;
  sigwait(&stopSignals, &signal);
  std::cout << "tesselwick-site: stopping (" << (signal == SIGINT ? "SIGINT" : "SIGTERM") << ")"
            << std::endl;
  server.Stop();
  return 0;
}

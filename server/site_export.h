#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "site_server.h"

namespace tesselwick::site {

// The published site as plain files, for any web server, content-delivery
// network or static host to serve. Under `dir`:
//   htdocs/cgi-bin/versioncheck.pl   the version check's answer
//   htdocs/cgi-bin/versionupdate.pl  the site list, pad.dat as published
//   htdocs/manual.htm                the manual
//   htdocs/index.html                the home page
//   nginx-site.conf                  directives for an nginx server block
// The program asks for the two answers at those paths with a query string
// ("?version=..."), which changes nothing: a static server that ignores it
// serves the same bytes as tesselwick-site.
struct SiteExport {
  std::filesystem::path root;                // DIR/htdocs, absolute: the site's document root
  std::filesystem::path nginxConf;           // DIR/nginx-site.conf, absolute
  std::vector<std::filesystem::path> files;  // the files written, in order
  std::string error;                         // empty when all went well
};

// The relative paths, under `dir`, of what ExportSite writes.
inline constexpr const char* kExportRoot = "htdocs";
inline constexpr const char* kExportNginxConf = "nginx-site.conf";

// Reads the published data and the manual that `config` names, and writes
// the files into `dir` (created when missing). Each file is written whole into
// a new temporary folder in `dir` and then takes the old one's place, the site
// list before the version check's answer, so a web server serving the folder
// meanwhile never announces a list it does not yet hand out. Nothing is
// written outside `dir`: a link in the place of a file is replaced, not
// written through, and a link in the place of htdocs or htdocs/cgi-bin is
// refused with an error.
SiteExport ExportSite(const SiteConfig& config, const std::filesystem::path& dir);

// The nginx directives that serve `root` (an absolute folder) as the site: the
// two answers as text/plain whatever their query string, the manual and the
// home page as HTML, nothing else. Meant to be included in a server block.
std::string NginxSiteConf(const std::filesystem::path& root);

}  // namespace tesselwick::site

#include "site_export.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>

#include "core/platform/text_file.h"
#include "published_data.h"

namespace tesselwick::site {
namespace fs = std::filesystem;

namespace {

std::optional<std::string> FileBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

// `path` as an nginx string: quoted, with its quotes and backslashes escaped.
std::string NginxQuoted(const std::string& path) {
  std::string quoted = "\"";
  for (const char c : path) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

// One exact location served from the root with a fixed content type.
std::string Location(const std::string& path, const std::string& type,
                     const std::string& extra = "") {
  return "location = " + path +
         " {\n"
         "    types { }\n"
         "    default_type " +
         type +
         ";\n"
         "    add_header Cache-Control \"max-age=300\";\n" +
         extra + "}\n";
}

}  // namespace

std::string NginxSiteConf(const fs::path& root) {
  return "# The TesselWick site as written by tesselwick-site --export. Include this file\n"
         "# in an nginx server block, for example:\n"
         "#\n"
         "#     server {\n"
         "#         listen 80;\n"
         "#         server_name tesselwick.example;\n"
         "#         include " +
         (root.parent_path() / kExportNginxConf).string() +
         ";\n"
         "#     }\n"
         "#\n"
         "# The program asks for /cgi-bin/versioncheck.pl?version=... and\n"
         "# /cgi-bin/versionupdate.pl?version=...: the query string is ignored, every\n"
         "# copy gets the same answer. Answers may be kept for 5 minutes by caches and a\n"
         "# content-delivery network in front, so a new site list reaches everyone soon.\n"
         "# Nothing else of the folder is served. Moved elsewhere, change root below.\n"
         "\n"
         "root " +
         NginxQuoted(root.string()) +
         ";\n"
         "\n" +
         Location("/", "\"text/html; charset=utf-8\"", "    try_files /index.html =404;\n") +
         Location("/manual.htm", "\"text/html; charset=utf-8\"") +
         Location("/cgi-bin/versioncheck.pl", "text/plain") +
         Location("/cgi-bin/versionupdate.pl", "text/plain") +
         "location / {\n"
         "    return 404;\n"
         "}\n";
}

SiteExport ExportSite(const SiteConfig& config, const fs::path& dir) {
  SiteExport result;
  if (config.demo) {
    result.error = "the demo is not exported: its sites are answered by tesselwick-site itself";
    return result;
  }
  std::optional<PublishedData> data = LoadPublishedData(config.dataDir, result.error);
  if (!data) return result;
  const std::optional<std::string> manual = FileBytes(config.manualFile);
  if (config.manualFile.empty() || !manual) {
    result.error =
        "cannot read the manual " +
        (config.manualFile.empty() ? std::string("(none given)") : config.manualFile.string());
    return result;
  }

  std::error_code ec;
  const fs::path base = fs::absolute(dir, ec).lexically_normal();
  const fs::path root = base / kExportRoot;
  result.root = root;
  result.nginxConf = base / kExportNginxConf;
  // nginx reads "$" as the start of a variable, even in a quoted string.
  for (const char c : root.string()) {
    if (c == '$' || static_cast<unsigned char>(c) < 0x20) {
      result.error = "the folder " + base.string() +
                     " has a character in its path that nginx cannot take ($ or a control "
                     "character); choose another";
      return result;
    }
  }
  fs::create_directories(root / "cgi-bin", ec);
  if (ec) {
    result.error = "cannot create " + (root / "cgi-bin").string() + ": " + ec.message();
    return result;
  }

  // The site list goes first and the version check's answer last: a server
  // already serving the folder announces the new list only once it is there.
  const std::pair<fs::path, std::string> files[] = {
      {root / "cgi-bin" / "versionupdate.pl", data->siteList},
      {root / "manual.htm", *manual},
      {root / "index.html", SiteHomePage(*data)},
      {result.nginxConf, NginxSiteConf(root)},
      {root / "cgi-bin" / "versioncheck.pl",
       FormatVersionAnswer(data->version, data->scriptVersion)},
  };
  for (const auto& [file, bytes] : files) {
    if (!ReplaceFileBytes(file, bytes)) {
      result.error = "cannot write " + file.string();
      return result;
    }
    result.files.push_back(file);
  }
  return result;
}

}  // namespace tesselwick::site

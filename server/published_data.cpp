#include "published_data.h"

#include <fstream>
#include <iterator>
#include <system_error>

namespace tesselwick::site {
namespace fs = std::filesystem;

namespace {

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Reads a whole file as bytes; false when it cannot be read.
bool ReadBytes(const fs::path& file, std::string& bytes) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

std::optional<std::string> FindKeyValue(std::string_view text, std::string_view key) {
  std::optional<std::string> found;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
    const std::size_t eq = line.find('=');
    if (eq != std::string_view::npos && line.substr(0, eq) == key) {
      found = std::string(line.substr(eq + 1));
    }
  }
  return found;
}

std::string FormatVersionAnswer(std::string_view version, std::string_view scriptVersion) {
  std::string answer = "VERSION=";
  answer += version;
  answer += "\r\nSCRIPTVERSION=";
  answer += scriptVersion;
  answer += "\r\n";
  return answer;
}

std::optional<PublishedData> LoadPublishedData(const fs::path& dir, std::string& error) {
  const std::string where = dir.string();
  std::error_code ec;
  if (dir.empty()) {
    error = "no data folder given";
    return std::nullopt;
  }
  if (!fs::is_directory(dir, ec)) {
    error = "data folder " + where + " does not exist";
    return std::nullopt;
  }
  PublishedData data;
  const fs::path padFile = dir / "pad.dat";
  if (!fs::is_regular_file(padFile, ec)) {
    error = "data folder " + where + " has no pad.dat";
    return std::nullopt;
  }
  if (!ReadBytes(padFile, data.siteList)) {
    error = "cannot read " + padFile.string();
    return std::nullopt;
  }
  const fs::path versionFile = dir / "version.txt";
  std::string versionText;
  if (!fs::is_regular_file(versionFile, ec)) {
    error = "data folder " + where + " has no version.txt";
    return std::nullopt;
  }
  if (!ReadBytes(versionFile, versionText)) {
    error = "cannot read " + versionFile.string();
    return std::nullopt;
  }
  const std::optional<std::string> version = FindKeyValue(versionText, "VERSION");
  if (!version || version->empty()) {
    error = versionFile.string() + " has no VERSION line";
    return std::nullopt;
  }
  data.version = *version;

  const std::optional<std::string> listed = FindKeyValue(versionText, "SCRIPTVERSION");
  const std::optional<std::string> inSiteList = FindKeyValue(data.siteList, "SCRIPTVERSION");
  if (listed && !listed->empty()) {
    if (inSiteList && *inSiteList != *listed) {
      error = "version.txt says SCRIPTVERSION=" + *listed +
              " but pad.dat says SCRIPTVERSION=" + *inSiteList + " (in " + where +
              "): make them agree";
      return std::nullopt;
    }
    data.scriptVersion = *listed;
  } else if (inSiteList && !inSiteList->empty()) {
    data.scriptVersion = *inSiteList;
  } else {
    error = "neither version.txt nor pad.dat in " + where + " has a SCRIPTVERSION line";
    return std::nullopt;
  }
  return data;
}

}  // namespace tesselwick::site

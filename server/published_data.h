#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tesselwick::site {

// What the update server hands out: the site list and the two versions.
struct PublishedData {
  std::string siteList;       // pad.dat, byte for byte as stored
  std::string version;        // the current program version (VERSION)
  std::string scriptVersion;  // the current site-list version (SCRIPTVERSION)
};

// Reads `dir`/pad.dat and `dir`/version.txt. version.txt holds key=value lines:
// VERSION (required) and SCRIPTVERSION; without SCRIPTVERSION there, the one in
// pad.dat is taken. When both name one they must agree: a program that
// downloads pad.dat takes its SCRIPTVERSION as its installed version, so a
// mismatch would offer the same update forever. On failure returns nothing and
// sets `error` to one line saying what is wrong.
std::optional<PublishedData> LoadPublishedData(const std::filesystem::path& dir,
                                               std::string& error);

// The value of the last line "key=value" in `text` whose key is exactly `key`,
// with trailing white space (a carriage return included) removed; lines end
// with LF or CR LF, and a last line without one counts too.
std::optional<std::string> FindKeyValue(std::string_view text, std::string_view key);

// The version check's answer: "VERSION=<version>\r\nSCRIPTVERSION=<script>\r\n".
std::string FormatVersionAnswer(std::string_view version, std::string_view scriptVersion);

}  // namespace tesselwick::site

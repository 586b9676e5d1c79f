#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/sites/site_record.h"

namespace tesselwick {

// What reading the text of pad.dat yields.
struct SiteFileContents {
  // Records in file order, each listed once its TITLE is non-empty.
  std::vector<SiteRecord> records;
  // The working record after the last line: fields carry over from record to
  // record, so it is also the start of whatever follows.
  SiteRecord current;
  // The last SCRIPTVERSION value, if the text had one.
  std::optional<std::string> scriptVersion;
};

// Reads the records of a site file's text (LF line ends). `pending` is the
// working record before the first line: a non-empty Title there is a record
// that the first TITLE line, or the end of the text, completes. Fields are never
// emptied between records, so a record without a key keeps the previous one's
// value, and lines before the first TITLE give their values to the first
// record. A last line without a line feed is ignored.
SiteFileContents ParseSiteFile(std::string_view text, SiteRecord pending = {});

}  // namespace tesselwick

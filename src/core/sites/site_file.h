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
// that the first TITLE line, or the end of the text, completes. URL and
// SUBMITURL are not emptied between records, so a record without one keeps
// the previous record's value (shared, not copied, so a long value costs its
// size once however many records take it); lines before the first TITLE give
// their values to the first record. The request template belongs to its own
// record alone: a record without a GETORPOST line has none, so it is never
// requested in another site's name. A last line without a line feed is
// ignored.
SiteFileContents ParseSiteFile(std::string_view text, SiteRecord pending = {});

// True when text reads as a site list: at least one listed record with a
// request template of its own. An error page, a version answer or a few
// stray bytes do not.
bool IsSiteList(std::string_view text);

}  // namespace tesselwick

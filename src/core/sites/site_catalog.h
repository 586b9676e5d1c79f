#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/sites/site_record.h"

namespace tesselwick {

// The sites of the site list, in the list's order: each load puts its
// records on top, the file's last record first, so row 0 is the last site
// read. The list keeps the site-list version that its loads read.
class SiteCatalog {
 public:
  // What one load of pad.dat did.
  struct Loaded {
    // How many sites it put on top of the list.
    std::size_t added = 0;
    // The file's SCRIPTVERSION, when it had one.
    std::optional<std::string> version;
    // Why the file could not be read ("it is a folder"); the list is then
    // left as it was.
    std::optional<std::string> problem;
  };

  // Reads the site file and puts its records on top of the list. `working`
  // is the record being assembled: a non-empty Title there is a pending
  // record that the file's first TITLE line, or its end, completes; after
  // the load it holds what the last line left (see ParseSiteFile).
  Loaded Load(const std::filesystem::path& file, SiteRecord& working);
  void Clear();

  std::size_t Count() const { return records_.size(); }
  // The site in row `row`, 0 being the top row.
  const SiteRecord& Row(std::size_t row) const { return records_[records_.size() - 1 - row]; }
  // The last SCRIPTVERSION any load read; empty before that.
  const std::string& Version() const { return version_; }

 private:
  // In the order they were read; row i is records_[size - 1 - i].
  std::vector<SiteRecord> records_;
  std::string version_;
};

}  // namespace tesselwick

#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>

namespace tesselwick::cli {

// --history: the runs of the run log in `folder` (tesselwick-runs.db), newest
// first, or with `run` that one run and its sites in list order; as readable
// lines on `out` or, with `json`, as one JSON object. The log is only read:
// a folder without one shows no runs and gains no file, and a file that
// cannot be read is left as it is. Returns the exit status (0, or 66 when
// the log cannot be read or has no such run, said in one line on `err`).
int ShowHistory(const std::filesystem::path& folder, std::optional<std::int64_t> run, bool json,
                std::ostream& out, std::ostream& err);

}  // namespace tesselwick::cli

#pragma once

#include <filesystem>
#include <optional>

namespace tesselwick {

// The size of the main window in pixels, as the user left it.
struct WindowSize {
  int width = 0;
  int height = 0;
  bool operator==(const WindowSize&) const = default;
};

// The settings file of the window's size: "tesselwick/window.ini" in the
// user's configuration folder given.
std::filesystem::path WindowSizeFile(const std::filesystem::path& configFolder);

// Reads the size saved in `file` (lines "WIDTH=" and "HEIGHT="). Nothing when
// the file is missing or unreadable or holds no size from 1 to 100000 in
// both; a missing file is not created.
std::optional<WindowSize> ReadWindowSize(const std::filesystem::path& file);

// Saves `size` in `file`, creating its folder when missing (private to the
// user). False when it could not be written; the old file is then kept.
bool SaveWindowSize(const std::filesystem::path& file, WindowSize size);

}  // namespace tesselwick

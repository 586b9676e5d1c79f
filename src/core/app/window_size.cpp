#include "core/app/window_size.h"

#include <charconv>
#include <cstdint>
#include <string>
#include <system_error>

#include "core/platform/text_file.h"
#include "core/text/key_value_line.h"

namespace tesselwick {

namespace {

constexpr int kLargest = 100000;

std::optional<int> Dimension(const std::string& value) {
  int number = 0;
  const char* end = value.data() + value.size();
  const auto [stop, error] = std::from_chars(value.data(), end, number);
  if (error != std::errc() || stop != end || number < 1 || number > kLargest) return std::nullopt;
  return number;
}

constexpr std::uintmax_t kMostSizeFileBytes = 4096;

}  // namespace

std::filesystem::path WindowSizeFile(const std::filesystem::path& configFolder) {
  return configFolder / "tesselwick" / "window.ini";
}

std::optional<WindowSize> ReadWindowSize(const std::filesystem::path& file) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return std::nullopt;
  // The program writes two short lines; a larger file is not its own, and is
  // not read into memory at start-up.
  const std::uintmax_t bytes = std::filesystem::file_size(file, ec);
  if (ec || bytes > kMostSizeFileBytes) return std::nullopt;
  const std::optional<std::string> text = ReadTextFileContents(file);
  if (!text) return std::nullopt;
  std::optional<int> width;
  std::optional<int> height;
  ForEachKeyValueLine(*text, [&](const KeyValue& line) {
    if (line.key == "WIDTH") width = Dimension(line.value);
    if (line.key == "HEIGHT") height = Dimension(line.value);
  });
  if (!width || !height) return std::nullopt;
  return WindowSize{*width, *height};
}

bool SaveWindowSize(const std::filesystem::path& file, WindowSize size) {
  std::error_code ec;
  const std::filesystem::path folder = file.parent_path();
  if (!folder.empty() && !std::filesystem::exists(folder, ec)) {
    std::filesystem::create_directories(folder, ec);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace, ec);
  }
  return ReplaceTextFile(file, "WIDTH=" + std::to_string(size.width) +
                                   "\nHEIGHT=" + std::to_string(size.height) + "\n");
}

}  // namespace tesselwick

#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tesselwick::test {

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes away.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

  // Writes bytes exactly as given.
  void Write(std::string_view name, std::string_view bytes) const;
  // The bytes of a file, or "<missing>" when there is none.
  std::string Read(std::string_view name) const;

 private:
  std::filesystem::path path_;
};

}  // namespace tesselwick::test

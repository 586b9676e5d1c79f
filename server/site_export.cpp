#include "site_export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <system_error>
#include <utility>

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

// An open folder of the export, written into by name only, so that nothing
// is ever written through a link planted in it.
class Folder {
 public:
  Folder() = default;
  explicit Folder(int fd) : fd_(fd) {}
  ~Folder() {
    if (fd_ >= 0) ::close(fd_);
  }
  Folder(Folder&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Folder& operator=(Folder&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  int Fd() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

std::string Reason(int error) {
  std::string reason = std::strerror(error);
  if (!reason.empty())
    reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
  return reason;
}

// The folder `name` in `parent`, made when missing. A symbolic link there is
// refused: following it would put the export outside its own folder.
Folder OpenSubfolder(const Folder& parent, const char* name, const fs::path& shown,
                     std::string& error) {
  if (::mkdirat(parent.Fd(), name, 0777) != 0 && errno != EEXIST) {
    error = "cannot create " + shown.string() + ": " + Reason(errno);
    return Folder();
  }
  Folder folder(::openat(parent.Fd(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (folder.IsOpen()) return folder;
  const int openError = errno;
  struct stat info {};
  if (::fstatat(parent.Fd(), name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode)) {
    error = shown.string() +
            " is a symbolic link; the export writes only into its own folder: remove the link "
            "or export into another folder";
  } else if (openError == ENOTDIR) {
    error = shown.string() + " is not a folder";
  } else {
    error = "cannot open " + shown.string() + ": " + Reason(openError);
  }
  return Folder();
}

// A new, empty folder in `parent` of the export's own, where each file is
// written whole before it takes its place. It is made here and now, so no
// name in it can be a link planted beforehand. Removed with what is left in it.
class StagingFolder {
 public:
  StagingFolder(const Folder& parent, std::string& error) : parent_(parent) {
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
      char name[32];
      std::snprintf(name, sizeof name, ".tesselwick-export-%06x",
                    static_cast<unsigned>(random() & 0xffffffU));
      if (::mkdirat(parent.Fd(), name, 0700) == 0) {
        name_ = name;
        break;
      }
      if (errno != EEXIST) break;
    }
    if (!name_.empty()) {
      folder_ = Folder(
          ::openat(parent.Fd(), name_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    if (!folder_.IsOpen()) error = Reason(errno);
  }
  ~StagingFolder() {
    for (const std::string& file : files_) ::unlinkat(folder_.Fd(), file.c_str(), 0);
    if (!name_.empty()) ::unlinkat(parent_.Fd(), name_.c_str(), AT_REMOVEDIR);
  }
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;

  bool IsOpen() const { return folder_.IsOpen(); }

  // Writes `bytes` to the new file `name`, with the permissions of the file
  // it is to replace in `destination`, if that is a plain file. Empty, or why not.
  std::string Write(const std::string& name, const std::string& bytes, const Folder& destination) {
    const int fd = ::openat(folder_.Fd(), name.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return Reason(errno);
    files_.push_back(name);
    struct stat old {};
    if (::fstatat(destination.Fd(), name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(old.st_mode)) {
      ::fchmod(fd, old.st_mode & 07777);
    }
    std::size_t written = 0;
    while (written < bytes.size()) {
      const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        const int writeError = n < 0 ? errno : EIO;
        ::close(fd);
        return Reason(writeError);
      }
      written += static_cast<std::size_t>(n);
    }
    const int synced = ::fsync(fd) == 0 ? 0 : errno;
    if (::close(fd) != 0 && synced == 0) return Reason(errno);
    return synced == 0 ? std::string() : Reason(synced);
  }

  // Puts the file `name` in the place of `destination`'s file of that name;
  // a link there is replaced, never followed. Empty, or why not.
  std::string MoveInto(const std::string& name, const Folder& destination) {
    if (::renameat(folder_.Fd(), name.c_str(), destination.Fd(), name.c_str()) != 0) {
      return Reason(errno);
    }
    std::erase(files_, name);
    return {};
  }

 private:
  const Folder& parent_;
  std::string name_;
  Folder folder_;
  std::vector<std::string> files_;
};

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
  // The folder itself may be reached through links of the user's; inside
  // it, nothing is followed.
  fs::create_directories(base, ec);
  Folder top(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (ec || !top.IsOpen()) {
    result.error = "cannot create " + base.string() + ": " + (ec ? ec.message() : Reason(errno));
    return result;
  }
  const Folder htdocs = OpenSubfolder(top, kExportRoot, root, result.error);
  if (!htdocs.IsOpen()) return result;
  const Folder cgiBin = OpenSubfolder(htdocs, "cgi-bin", root / "cgi-bin", result.error);
  if (!cgiBin.IsOpen()) return result;
  std::string why;
  StagingFolder staging(top, why);
  if (!staging.IsOpen()) {
    result.error = "cannot make a temporary folder in " + base.string() + ": " + why;
    return result;
  }

  // Every file is written whole first; then they take their places, the site
  // list first and the version check's answer last: a server already serving
  // the folder announces the new list only once it is there.
  struct File {
    const Folder& folder;
    std::string name;
    std::string bytes;
  };
  const File files[] = {
      {cgiBin, "versionupdate.pl", data->siteList},
      {htdocs, "manual.htm", *manual},
      {htdocs, "index.html", SiteHomePage(*data)},
      {top, kExportNginxConf, NginxSiteConf(root)},
      {cgiBin, "versioncheck.pl", FormatVersionAnswer(data->version, data->scriptVersion)},
  };
  const auto shown = [&](const File& file) {
    return &file.folder == &top      ? base / file.name
           : &file.folder == &htdocs ? root / file.name
                                     : root / "cgi-bin" / file.name;
  };
  for (const File& file : files) {
    why = staging.Write(file.name, file.bytes, file.folder);
    if (!why.empty()) {
      result.error = "cannot write " + shown(file).string() + ": " + why;
      return result;
    }
  }
  for (const File& file : files) {
    why = staging.MoveInto(file.name, file.folder);
    if (!why.empty()) {
      result.error = "cannot write " + shown(file).string() + ": " + why;
      return result;
    }
    result.files.push_back(shown(file));
  }
  // The new names are kept even should the machine stop now.
  for (const int fd : {cgiBin.Fd(), htdocs.Fd(), top.Fd()}) ::fsync(fd);
  return result;
}

}  // namespace tesselwick::site

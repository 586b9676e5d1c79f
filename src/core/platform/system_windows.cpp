// The Windows side of the platform layer: wide (UTF-16) paths, files opened
// with CreateFileW and used through the C runtime's descriptors in binary mode.
// windows.h first: the others build on it. Declarations up to Windows 10
// are seen; what older systems lack is tried and left when it fails.
#define _WIN32_WINNT 0x0A00
#include <windows.h>
//
#include <fcntl.h>
#include <io.h>
#include <shlobj.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "core/platform/system.h"
#include "core/text/translation.h"

namespace tesselwick::platform {

namespace fs = std::filesystem;

namespace {

std::string ErrorText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring wide = length > 0 ? std::wstring(text, length) : std::wstring();
  LocalFree(text);
  while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L'.'))
    wide.pop_back();
  if (wide.empty()) return "system error " + std::to_string(code);
  return Utf8FromPath(fs::path(wide));
}

// A descriptor of the C runtime for a handle, in binary mode: text mode would
// turn CR LF into LF and end the file at the first Ctrl+Z.
int Descriptor(HANDLE handle, int flags) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
  if (fd < 0) CloseHandle(handle);
  return fd;
}

// Everyone else may read, write, rename and delete a file we hold open.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

fs::path PathFromUtf8(std::string_view text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

std::string Utf8FromPath(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::tm LocalTime(std::time_t when) {
  std::tm local{};
  const __time64_t time = when;
  _localtime64_s(&local, &time);
  return local;
}

fs::path UserFilesFolder() {
  PWSTR folder = nullptr;
  fs::path path;
  if (SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, &folder) == S_OK)
    path = fs::path(folder) / L"TesselWick";
  CoTaskMemFree(folder);
  return path;
}

OpenedFile OpenForReading(const fs::path& path) {
  OpenedFile opened;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    opened.problem = N_("it is a folder");
    return opened;
  }
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    opened.problem = ErrorText(GetLastError());
    return opened;
  }
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    opened.problem = N_("it is not a regular file");
    CloseHandle(handle);
    return opened;
  }
  opened.fd = Descriptor(handle, _O_RDONLY);
  if (opened.fd < 0) opened.problem = N_("out of file descriptors");
  return opened;
}

long ReadSome(int fd, char* buffer, std::size_t size) {
  const unsigned chunk = size > (1U << 30) ? (1U << 30) : static_cast<unsigned>(size);
  return _read(fd, buffer, chunk);
}

long WriteSome(int fd, const char* bytes, std::size_t size) {
  const unsigned chunk = size > (1U << 30) ? (1U << 30) : static_cast<unsigned>(size);
  return _write(fd, bytes, chunk);
}

bool FlushToDisk(int fd) { return _commit(fd) == 0; }

bool CloseFile(int fd) { return _close(fd) == 0; }

namespace {

// Windows' byte-range locks keep other handles from reading what they
// cover, so the lock covers one byte at the end of the range, where no file
// has data.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;
constexpr DWORD kLockOffsetLow = 0xFFFFFFFE;

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

}  // namespace

bool TryLockFile(int fd) {
  OVERLAPPED at{};
  at.Offset = kLockOffsetLow;
  at.OffsetHigh = kLockOffsetHigh;
  return LockFileEx(HandleOf(fd), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                    &at) != 0;
}

void UnlockFile(int fd) {
  OVERLAPPED at{};
  at.Offset = kLockOffsetLow;
  at.OffsetHigh = kLockOffsetHigh;
  UnlockFileEx(HandleOf(fd), 0, 1, 0, &at);
}

bool IsFileAt(int fd, const fs::path& path) {
  BY_HANDLE_FILE_INFORMATION open{};
  if (!GetFileInformationByHandle(HandleOf(fd), &open)) return false;
  HANDLE named = CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION other{};
  const bool known = GetFileInformationByHandle(named, &other) != 0;
  CloseHandle(named);
  return known && open.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
         open.nFileIndexHigh == other.nFileIndexHigh && open.nFileIndexLow == other.nFileIndexLow;
}

bool CanReplaceHeldFile() { return false; }

int CreateNewFile(const fs::path& path, bool& taken) {
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
    return -1;
  }
  taken = false;
  return Descriptor(handle, _O_WRONLY);
}

ReplacedFile InspectReplaced(const fs::path& path) {
  ReplacedFile old;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  old.exists = attributes != INVALID_FILE_ATTRIBUTES;
  // A read-only file stays as it is, although moving over it could succeed.
  old.writable =
      old.exists &&
      !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DEVICE));
  return old;
}

// A new file takes its permissions from its folder, as the old one did.
bool KeepPermissions(int, const ReplacedFile&) { return true; }

namespace {

// Renames with POSIX semantics (Windows 10 from 1709 on): the name passes to
// the new file at once even while others hold the old one open, as long as
// they let it be deleted, as this program's readers do.
bool RenameOverOpenFile(const fs::path& temp, const fs::path& path) {
  HANDLE handle = CreateFileW(temp.c_str(), DELETE | SYNCHRONIZE, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  std::error_code ec;
  const std::wstring target = fs::absolute(path, ec).wstring();
  const auto nameBytes = static_cast<DWORD>(target.size() * sizeof(wchar_t));
  std::string buffer(sizeof(FILE_RENAME_INFO) + nameBytes, '\0');
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
  info->RootDirectory = nullptr;
  info->FileNameLength = nameBytes;
  std::memcpy(info->FileName, target.c_str(), nameBytes);
  // FileRenameInfoEx, which mingw's headers declare for later systems only.
  constexpr auto kRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
  const bool renamed = !ec && SetFileInformationByHandle(handle, kRenameInfoEx, info,
                                                         static_cast<DWORD>(buffer.size()));
  CloseHandle(handle);
  return renamed;
}

}  // namespace

bool ReplaceWith(const fs::path& temp, const fs::path& path) {
  // A virus scanner or an indexer holds a file for a moment; an editor that
  // keeps it open for longer, not letting it be deleted, makes the save fail
  // and say so.
  for (int attempt = 0;; ++attempt) {
    if (RenameOverOpenFile(temp, path)) return true;
    if (MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return true;
    const DWORD error = GetLastError();
    const bool held = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
                      error == ERROR_LOCK_VIOLATION;
    if (!held || attempt == 10) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

bool CreatePrivateFolder(const fs::path& folder, std::string& problem) {
  // The user's application-data folder is the user's own already, and a new
  // folder takes its permissions from its parent.
  if (CreateDirectoryW(folder.c_str(), nullptr)) return true;
  const DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS) return true;
  problem = ErrorText(error);
  return false;
}

bool MayEnterFolder(const fs::path& folder, std::string& problem) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (!ec) return true;
  problem = ec.message();
  return false;
}

// Sockets are not counted against a limit of open files here.
std::size_t RaiseOpenFileLimit(std::size_t wanted) { return wanted; }

// libcurl converts international host names from UTF-8 itself on Windows.
Utf8Text::Utf8Text() = default;
Utf8Text::~Utf8Text() = default;

}  // namespace tesselwick::platform

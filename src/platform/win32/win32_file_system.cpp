#include "platform/win32/win32_file_system.h"

#include <cstdint>
#include <string_view>

#include <io.h>
#include <windows.h>

namespace auralith {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::uint64_t Join(DWORD high, DWORD low) {
  return (static_cast<std::uint64_t>(high) << 32) | static_cast<std::uint64_t>(low);
}

// FILETIME counts 100 ns ticks since 1601-01-01 UTC; whole seconds since 1970
// are taken by flooring, so a time before 1970 is not rounded up.
std::int64_t FileTimeToUnixSeconds(const FILETIME& time) {
  constexpr std::int64_t kTicksPerSecond = 10000000;
  constexpr std::int64_t kEpochDifference = 11644473600LL * kTicksPerSecond;
  const std::int64_t ticks =
      static_cast<std::int64_t>(Join(time.dwHighDateTime, time.dwLowDateTime)) - kEpochDifference;
  std::int64_t seconds = ticks / kTicksPerSecond;
  if (ticks % kTicksPerSecond < 0) --seconds;
  return seconds;
}

bool IsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IdentifyAs(const std::string& path, DirectoryId* id) {
  const HANDLE handle =
      CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(handle, &info) != 0;
  CloseHandle(handle);
  if (!ok) return false;
  id->device = info.dwVolumeSerialNumber;
  id->node = Join(info.nFileIndexHigh, info.nFileIndexLow);
  return true;
}

}  // namespace

bool Win32FileSystem::ListDirectory(const std::string& dir, std::vector<DirEntry>* entries) {
  entries->clear();
  std::string wildcard = dir;
  if (!wildcard.empty() && !IsSeparator(wildcard.back())) wildcard.push_back('\\');
  wildcard += "*.*";

  WIN32_FIND_DATAA data;
  const HANDLE find = FindFirstFileA(wildcard.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    // Only an empty drive root has not even "." and ".." to deliver.
    return GetLastError() == ERROR_FILE_NOT_FOUND && IsDirectory(dir.empty() ? "." : dir);
  }
  do {
    const std::string_view name = data.cFileName;
    if (name == "." || name == "..") continue;
    DirEntry item;
    item.name = name;
    item.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    item.hidden = (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    entries->push_back(std::move(item));
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return true;
}

bool Win32FileSystem::Identify(const std::string& dir, DirectoryId* id) {
  if (dir.empty()) return IdentifyAs(".", id);
  if (IdentifyAs(dir, id)) return true;
  // Some file systems refuse a directory name with a trailing separator; a
  // drive root ("C:\") must keep it, and is opened by the first attempt.
  std::string trimmed = dir;
  while (trimmed.size() > 1 && IsSeparator(trimmed.back())) trimmed.pop_back();
  return trimmed.size() != dir.size() && trimmed.back() != ':' && IdentifyAs(trimmed, id);
}

bool Win32FileSystem::Status(const std::string& path, FileStatus* status) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  status->size = Join(data.nFileSizeHigh, data.nFileSizeLow);
  status->modified = FileTimeToUnixSeconds(data.ftLastWriteTime);
  return true;
}

bool Win32FileSystem::Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Win32FileSystem::Readable(const std::string& path) { return _access(path.c_str(), 4) == 0; }

bool Win32FileSystem::MakeDirectory(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool Win32FileSystem::RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool Win32FileSystem::CopyFileTo(const std::string& from, const std::string& to) {
  return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

}  // namespace auralith

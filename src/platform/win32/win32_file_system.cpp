#include "platform/win32/win32_file_system.h"

#include <cstdint>
#include <cwchar>
#include <string_view>

#include <io.h>
#include <windows.h>

#include "base/code_page.h"

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

// Paths and names are texts in the ANSI code page here and UTF-16 for the
// system, converted as the system's own "A" functions would.
std::wstring Widen(const std::string& text) {
  const std::u16string wide = AnsiToUtf16(text);
  return std::wstring(wide.begin(), wide.end());
}

std::string Narrow(const wchar_t* name, bool utf8) {
  const std::size_t length = std::wcslen(name);
  if (utf8) return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(name), length));
  const int n = WideCharToMultiByte(CP_ACP, 0, name, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, name, static_cast<int>(length), text.data(), n, nullptr, nullptr);
  return text;
}

// The file index of an open file, as GetFileInformationByHandle gives it but
// without the volume serial number that call also fetches: under Wine that
// is a round trip to the mount manager, several milliseconds a directory.
bool QueryFileIndex(HANDLE handle, std::uint64_t* node) {
  using Query = LONG(WINAPI*)(HANDLE, void* status, void* info, ULONG length, int infoClass);
  constexpr int kFileInternalInformation = 6;
  static const Query query = [] {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll ? reinterpret_cast<Query>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationFile")))
                 : nullptr;
  }();
  if (query == nullptr) return false;
  struct {
    void* pointer;  // status or pointer
    ULONG_PTR information;
  } status{};
  LARGE_INTEGER index{};
  if (query(handle, &status, &index, sizeof index, kFileInternalInformation) < 0) return false;
  *node = static_cast<std::uint64_t>(index.QuadPart);
  return true;
}

bool IsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The whole identity, or (without `id`) the file index alone into `node`.
bool IdentifyAs(const std::string& path, DirectoryId* id, std::uint64_t* node) {
  const HANDLE handle =
      CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool ok = false;
  if (id == nullptr && QueryFileIndex(handle, node)) {
    ok = true;
  } else {
    BY_HANDLE_FILE_INFORMATION info;
    ok = GetFileInformationByHandle(handle, &info) != 0;
    if (ok && id != nullptr) {
      id->device = info.dwVolumeSerialNumber;
      id->node = Join(info.nFileIndexHigh, info.nFileIndexLow);
    } else if (ok) {
      *node = Join(info.nFileIndexHigh, info.nFileIndexLow);
    }
  }
  CloseHandle(handle);
  return ok;
}

bool IdentifyDirectory(const std::string& dir, DirectoryId* id, std::uint64_t* node) {
  if (dir.empty()) return IdentifyAs(".", id, node);
  if (IdentifyAs(dir, id, node)) return true;
  // Some file systems refuse a directory name with a trailing separator; a
  // drive root ("C:\") must keep it, and is opened by the first attempt.
  std::string trimmed = dir;
  while (trimmed.size() > 1 && IsSeparator(trimmed.back())) trimmed.pop_back();
  return trimmed.size() != dir.size() && trimmed.back() != ':' && IdentifyAs(trimmed, id, node);
}

}  // namespace

bool Win32FileSystem::ListDirectory(const std::string& dir, std::vector<DirEntry>* entries) {
  entries->clear();
  std::wstring wildcard = Widen(dir);
  if (!wildcard.empty() && wildcard.back() != L'\\' && wildcard.back() != L'/') wildcard.push_back(L'\\');
  wildcard += L"*.*";

  // The find data carries size and last-write time already; taking them from
  // there spares a status call per file, which under Wine costs several times
  // the enumeration itself. The basic level skips the short names, and the
  // large fetch asks for the directory in a few big reads.
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileExW(wildcard.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                       FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) {
    // Only an empty drive root has not even "." and ".." to deliver.
    return GetLastError() == ERROR_FILE_NOT_FOUND && IsDirectory(dir.empty() ? "." : dir);
  }
  const bool utf8 = GetACP() == CP_UTF8;
  do {
    const wchar_t* name = data.cFileName;
    if (name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'))) continue;
    DirEntry item;
    item.name = Narrow(name, utf8);
    item.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    item.hidden = (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    // A link's find data describe the link, not its target; Status() is
    // asked for those.
    if (!item.directory && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
      item.statusKnown = true;
      item.status.size = Join(data.nFileSizeHigh, data.nFileSizeLow);
      item.status.modified = FileTimeToUnixSeconds(data.ftLastWriteTime);
    }
    entries->push_back(std::move(item));
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return true;
}

bool Win32FileSystem::Identify(const std::string& dir, DirectoryId* id) { return IdentifyDirectory(dir, id, nullptr); }

bool Win32FileSystem::IdentifyNode(const std::string& dir, std::uint64_t* node) {
  return IdentifyDirectory(dir, nullptr, node);
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

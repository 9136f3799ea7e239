#include "platform/win32/win32_file_system.h"

#include <array>
#include <cstdint>
#include <cwchar>
#include <string_view>
#include <vector>

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
// system (AnsiToWide), converted as the system's own "A" functions would.
std::string Narrow(const wchar_t* name, std::size_t length, bool utf8) {
  if (utf8) return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(name), length));
  const int n = WideCharToMultiByte(CP_ACP, 0, name, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, name, static_cast<int>(length), text.data(), n, nullptr, nullptr);
  return text;
}

// The file index of an open file, as GetFileInformationByHandle gives it but
// without the volume serial number that call also fetches: under Wine that
// is a round trip to the mount manager, several milliseconds a directory.
struct IoStatus {
  void* pointer;  // status or pointer
  ULONG_PTR information;
};

template <typename Function>
Function NtdllFunction(const char* name) {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(ntdll, name))) : nullptr;
}

bool QueryFileIndex(HANDLE handle, std::uint64_t* node) {
  using Query = LONG(WINAPI*)(HANDLE, IoStatus*, void* info, ULONG length, int infoClass);
  constexpr int kFileInternalInformation = 6;
  static const Query query = NtdllFunction<Query>("NtQueryInformationFile");
  if (query == nullptr) return false;
  IoStatus status{};
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

// One entry of the FileIdFullDirectoryInformation listing.
struct FullDirectoryEntry {
  ULONG next;
  ULONG fileIndex;
  LARGE_INTEGER creationTime;
  LARGE_INTEGER lastAccessTime;
  LARGE_INTEGER lastWriteTime;
  LARGE_INTEGER changeTime;
  LARGE_INTEGER endOfFile;
  LARGE_INTEGER allocationSize;
  ULONG attributes;
  ULONG nameBytes;
  ULONG eaSize;
  LARGE_INTEGER fileId;
  WCHAR name[1];
};

FILETIME AsFileTime(const LARGE_INTEGER& time) {
  return {static_cast<DWORD>(time.LowPart), static_cast<DWORD>(time.HighPart)};
}

bool IsDotOrDotDot(const wchar_t* name, std::size_t length) {
  return name[0] == L'.' && (length == 1 || (length == 2 && name[1] == L'.'));
}

// Fills the parts of an entry its attributes and find data give.
void Describe(DirEntry& item, DWORD attributes, std::uint64_t size, const FILETIME& written) {
  item.directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  item.hidden = (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
  // A link's find data describe the link, not its target; Status() is
  // asked for those.
  if (!item.directory && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    item.statusKnown = true;
    item.status.size = size;
    item.status.modified = FileTimeToUnixSeconds(written);
  }
}

enum class Listing { kDone, kUnsupported };

// Lists through the directory's own handle with the file ids, so that a walk
// needs no open per subdirectory to learn its identity: under Wine that open
// costs as much as listing a small folder.
Listing ListWithIds(const std::wstring& path, bool utf8, std::vector<DirEntry>* entries) {
  using Query = LONG(WINAPI*)(HANDLE, HANDLE event, void* apc, void* context, IoStatus*, void* info, ULONG length,
                              int infoClass, BOOLEAN single, void* mask, BOOLEAN restart);
  constexpr int kFileIdFullDirectoryInformation = 38;
  constexpr LONG kNoMoreFiles = static_cast<LONG>(0x80000006);
  constexpr LONG kNoSuchFile = static_cast<LONG>(0xC000000F);
  static const Query query = NtdllFunction<Query>("NtQueryDirectoryFile");
  if (query == nullptr) return Listing::kUnsupported;
  const HANDLE handle = CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Listing::kUnsupported;
  // On the stack, which every thread already has, rather than asked of the
  // heap per folder or kept thread_local: with MinGW a thread_local's
  // destructor runs on storage already freed at thread exit. Entries are
  // 8-byte aligned within it.
  std::array<std::uint64_t, 64 * 1024 / sizeof(std::uint64_t)> buffer;
  Listing result = Listing::kDone;
  for (bool first = true;; first = false) {
    IoStatus io{};
    const LONG status = query(handle, nullptr, nullptr, nullptr, &io, buffer.data(),
                              static_cast<ULONG>(buffer.size() * sizeof(std::uint64_t)),
                              kFileIdFullDirectoryInformation, FALSE, nullptr, first);
    if (status == kNoMoreFiles || status == kNoSuchFile) break;
    if (status < 0) {
      // Not a directory, or a file system without this listing: the find
      // functions tell which, and list the latter.
      if (first) result = Listing::kUnsupported;
      break;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
    for (std::size_t offset = 0;;) {
      const auto* entry = reinterpret_cast<const FullDirectoryEntry*>(bytes + offset);
      const std::size_t length = entry->nameBytes / sizeof(WCHAR);
      if (!IsDotOrDotDot(entry->name, length)) {
        DirEntry& item = entries->emplace_back();
        item.name = Narrow(entry->name, length, utf8);
        Describe(item, entry->attributes, static_cast<std::uint64_t>(entry->endOfFile.QuadPart),
                 AsFileTime(entry->lastWriteTime));
        // A link or mount point's id is its own, not its target's.
        if (item.directory && (entry->attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && entry->fileId.QuadPart) {
          item.nodeKnown = true;
          item.node = static_cast<std::uint64_t>(entry->fileId.QuadPart);
        }
      }
      if (entry->next == 0) break;
      offset += entry->next;
    }
  }
  CloseHandle(handle);
  return result;
}

}  // namespace

bool Win32FileSystem::ListDirectory(const std::string& dir, std::vector<DirEntry>* entries) {
  entries->clear();
  const bool utf8 = GetACP() == CP_UTF8;
  switch (ListWithIds(AnsiToWide(dir.empty() ? "." : dir), utf8, entries)) {
    case Listing::kDone: return true;
    case Listing::kUnsupported: entries->clear(); break;
  }
  std::wstring wildcard = AnsiToWide(dir);
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
  do {
    const std::size_t length = std::wcslen(data.cFileName);
    if (IsDotOrDotDot(data.cFileName, length)) continue;
    DirEntry& item = entries->emplace_back();
    item.name = Narrow(data.cFileName, length, utf8);
    Describe(item, data.dwFileAttributes, Join(data.nFileSizeHigh, data.nFileSizeLow), data.ftLastWriteTime);
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

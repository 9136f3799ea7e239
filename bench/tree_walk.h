#pragma once

// The bare walk the floors share: every folder listed once, and each file's
// size and last-write time taken as cheaply as the system allows. Windows:
// FindFirstFileExW without short names, in large batches, with size and time
// from the find data. POSIX: readdir and one fstatat per entry.

#include <cstdint>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace bench {

#ifdef _WIN32
using Path = std::wstring;
constexpr wchar_t kSeparator = L'\\';

// Calls visit(path, name, size, modified) for every file below `dir`.
template <typename Visit>
void WalkTree(const Path& dir, Visit&& visit) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileExW((dir + L"\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                 FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    const Path path = dir + kSeparator + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      WalkTree(path, visit);
    } else {
      const std::uint64_t size = static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
      const std::uint64_t modified =
          static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
      visit(path, name, size, modified);
    }
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

// The root as given on the command line (the benchmark's paths are ASCII).
inline Path RootArgument(const char* arg) {
  std::wstring out;
  for (const char* p = arg; *p; ++p) out += static_cast<wchar_t>(*p == '/' ? '\\' : static_cast<unsigned char>(*p));
  while (!out.empty() && out.back() == L'\\') out.pop_back();
  return out;
}
#else
using Path = std::string;
constexpr char kSeparator = '/';

template <typename Visit>
void WalkTree(const Path& dir, Visit&& visit) {
  DIR* listing = opendir(dir.c_str());
  if (listing == nullptr) return;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat status;
    if (fstatat(dirfd(listing), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
    const Path path = dir + kSeparator + name;
    if (S_ISDIR(status.st_mode)) {
      WalkTree(path, visit);
    } else if (S_ISREG(status.st_mode)) {
      const auto modified = static_cast<std::uint64_t>(status.st_mtim.tv_sec) * 1000000000u +
                            static_cast<std::uint64_t>(status.st_mtim.tv_nsec);
      visit(path, name, static_cast<std::uint64_t>(status.st_size), modified);
    }
  }
  closedir(listing);
}

inline Path RootArgument(const char* arg) {
  std::string out = arg;
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}
#endif

}  // namespace bench

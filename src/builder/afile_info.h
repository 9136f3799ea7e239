#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

namespace auralith {

// Everything known about one music file. `path` is relative to the root music
// directory, with the platform's separator.
struct AFileInfo {
  std::string path;
  std::string artist;
  std::string album;
  std::string title;
  std::string track;
  std::int32_t length = -1;  // whole seconds, -1 unknown
  std::int32_t seen = 1;
  std::int64_t modified = 0;  // seconds since 1970-01-01 UTC
  std::uint64_t size = 0;

  bool operator==(const AFileInfo&) const = default;
};

// A run's records by relative path (exact, case-sensitive keys); owns them.
using PathTable = std::unordered_map<std::string, std::unique_ptr<AFileInfo>>;

}  // namespace auralith

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "builder/afile_info.h"
#include "settings/settings.h"

namespace auralith {

// A cache is a few MB even for a large collection; anything beyond this is
// not ours and is not read at all.
inline constexpr std::uint64_t kMaxTagCacheBytes = std::uint64_t{1} << 30;

// Loads the records of the last run when the cache was written under the
// current settings. Never fails: anything unreadable gives an empty table.
// Every loaded record starts with seen = 0.
PathTable LoadTagCache(const std::string& file, Settings& settings, std::size_t count);

// What LoadTagCache makes of the cache's bytes once they are read.
PathTable ParseTagCache(std::string_view bytes, Settings& settings, std::size_t count);

// Writes the whole table through a temporary file renamed into place, so a
// crash never leaves a half-written cache. False when it could not be written
// (the previous cache then stays as it was).
bool SaveTagCache(const std::string& file, Settings& settings, const PathTable& table);

}  // namespace auralith

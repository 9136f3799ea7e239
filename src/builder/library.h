#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/progress_sink.h"
#include "builder/afile_info.h"
#include "settings/settings.h"

namespace auralith {

struct AlbumEntry {
  std::string key;
  std::string name;
  std::vector<AFileInfo*> tracks;  // not owned: the records belong to the PathTable
};

struct ArtistEntry {
  std::string key;
  std::string name;
  std::vector<std::unique_ptr<AlbumEntry>> albums;
};

using Library = std::vector<std::unique_ptr<ArtistEntry>>;

// Lower-case a-z0-9 only, an optional leading "the" removed, "_" when empty.
std::string MakeSortKey(std::string_view name, bool ignoreThe);

// True when a may stand before b within one album.
bool CompareTracks(const AFileInfo& a, const AFileInfo& b);

// Merge-sorts tracks by a comparison that need not be a consistent ordering:
// whatever it answers, the sort ends and every track stays exactly once.
void SortTracks(std::vector<AFileInfo*>& tracks,
                const std::function<bool(const AFileInfo&, const AFileInfo&)>& mayStandBefore);

// Groups the records of `paths` (in that order) into artists and albums by
// their sort keys, then applies the three ordering rules. The progress sink's
// item line shows each path and the bar steps once per path.
Library BuildLibrary(const std::vector<std::string>& paths, const PathTable& table,
                     Settings& settings, ProgressSink& progress);
// The same with each path's record already found: records[i] is that of
// paths[i], or null when it has none.
Library BuildLibrary(const std::vector<std::string>& paths, const std::vector<AFileInfo*>& records,
                     Settings& settings, ProgressSink& progress);

}  // namespace auralith

#include "builder/library.h"

#include <algorithm>
#include <unordered_map>

#include "base/strings.h"

namespace auralith {

std::string MakeSortKey(std::string_view name, bool ignoreThe) {
  std::string key;
  key.reserve(name.size());
  for (char c : name) {
    c = AsciiLower(c);
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) key.push_back(c);
  }
  // Tested after the clean-up, so "The" glued to a longer word goes too
  // ("Theatre" -> "atre"); a lone "the" stays.
  if (ignoreThe && key.size() > 3 && StartsWith(key, "the")) key.erase(0, 3);
  if (key.empty()) key = "_";
  return key;
}

bool CompareTracks(const AFileInfo& a, const AFileInfo& b) {
  if (a.album == b.album && a.artist == b.artist && !a.track.empty() && !b.track.empty()) {
    // Shorter first puts "9" before "10" without parsing the number, which a
    // tag may write as "5/12".
    if (a.track.size() != b.track.size()) return a.track.size() < b.track.size();
    return CompareIgnoreAsciiCase(a.track, b.track) <= 0;
  }
  return CompareIgnoreAsciiCase(a.path, b.path) <= 0;
}

// Bottom-up merge sort. Each merge step moves exactly one element from one of
// the two runs, so no answer of the comparison can lose, repeat or loop.
void SortTracks(std::vector<AFileInfo*>& tracks,
                const std::function<bool(const AFileInfo&, const AFileInfo&)>& mayStandBefore) {
  const std::size_t n = tracks.size();
  if (n < 2) return;
  std::vector<AFileInfo*> buffer(n);
  std::vector<AFileInfo*>* from = &tracks;
  std::vector<AFileInfo*>* to = &buffer;
  for (std::size_t width = 1; width < n; width *= 2) {
    for (std::size_t low = 0; low < n; low += 2 * width) {
      const std::size_t middle = std::min(low + width, n);
      const std::size_t high = std::min(low + 2 * width, n);
      std::size_t left = low;
      std::size_t right = middle;
      std::size_t out = low;
      while (left < middle && right < high) {
        if (mayStandBefore(*(*from)[left], *(*from)[right]))
          (*to)[out++] = (*from)[left++];
        else
          (*to)[out++] = (*from)[right++];
      }
      while (left < middle) (*to)[out++] = (*from)[left++];
      while (right < high) (*to)[out++] = (*from)[right++];
    }
    std::swap(from, to);
  }
  if (from != &tracks) tracks.swap(buffer);
}

namespace {

template <typename Entry>
void SortByKey(std::vector<std::unique_ptr<Entry>>& entries) {
  std::sort(entries.begin(), entries.end(),
            [](const std::unique_ptr<Entry>& a, const std::unique_ptr<Entry>& b) { return a->key < b->key; });
}

}  // namespace

Library BuildLibrary(const std::vector<std::string>& paths, const PathTable& table, Settings& settings,
                     ProgressSink& progress) {
  std::vector<AFileInfo*> records;
  records.reserve(paths.size());
  for (const std::string& path : paths) {
    const auto found = table.find(path);
    records.push_back(found != table.end() ? found->second.get() : nullptr);
  }
  return BuildLibrary(paths, records, settings, progress);
}

Library BuildLibrary(const std::vector<std::string>& paths, const std::vector<AFileInfo*>& records,
                     Settings& settings, ProgressSink& progress) {
  const bool ignoreThe = settings._4_the.Get() != 0;
  Library artists;
  // Entries are found by key through these indexes; they only ever point at
  // the first entry made for a key, so names and order are those of the
  // first occurrence, as a search from the front would find them.
  std::unordered_map<std::string, ArtistEntry*> artistIndex;
  // Keys hold only a-z, 0-9 and "_", so "/" cannot occur inside either part.
  std::unordered_map<std::string, AlbumEntry*> albumIndex;

  // Sorted paths keep an album's files together, so most records repeat the
  // names of the one before and need no key at all.
  const AFileInfo* previous = nullptr;
  ArtistEntry* artist = nullptr;
  AlbumEntry* album = nullptr;
  std::string artistKey;
  std::string albumKey;

  for (std::size_t i = 0; i < paths.size(); ++i) {
    progress.SetItemLine(paths[i]);
    if (AFileInfo* record = records[i]) {
      const bool sameArtist = previous && previous->artist == record->artist;
      if (!sameArtist) {
        artistKey = MakeSortKey(record->artist, ignoreThe);
        ArtistEntry*& entry = artistIndex[artistKey];
        if (!entry) {
          auto created = std::make_unique<ArtistEntry>();
          created->key = artistKey;
          created->name = record->artist;
          entry = created.get();
          artists.push_back(std::move(created));
        }
        artist = entry;
      }
      if (!sameArtist || previous->album != record->album) {
        albumKey = MakeSortKey(record->album, ignoreThe);
        AlbumEntry*& entry = albumIndex[artistKey + '/' + albumKey];
        if (!entry) {
          auto created = std::make_unique<AlbumEntry>();
          created->key = albumKey;
          created->name = record->album;
          entry = created.get();
          artist->albums.push_back(std::move(created));
        }
        album = entry;
      }
      album->tracks.push_back(record);
      previous = record;
    }
    progress.StepIt();
  }

  SortByKey(artists);

  // With "ARTIST\ALBUM\File" folders or an album in the file-name pattern the
  // albums keep the order of their folders or file names.
  const bool sortAlbums =
      settings._4_organizationnum.Get() <= 2 && settings._4_format.Get().find("%2") == std::string::npos;
  // Without the track number in the entries, the order of the files is the
  // only order the user can see.
  const bool sortTracks = settings._4_outformat.Get().find("%3") != std::string::npos;
  for (auto& artistEntry : artists) {
    if (sortAlbums) SortByKey(artistEntry->albums);
    if (sortTracks)
      for (auto& albumEntry : artistEntry->albums) SortTracks(albumEntry->tracks, CompareTracks);
  }
  return artists;
}

}  // namespace auralith

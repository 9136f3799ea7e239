#include "builder/library.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "settings/memory_registry_store.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using testing::Native;
using testing::RecordingProgress;

struct KeyCase {
  const char* name;
  bool ignoreThe;
  const char* key;
};

TEST(MakeSortKey, KeepsOnlyLowerCaseLettersAndDigits) {
  const KeyCase cases[] = {
      {"The Beatles", true, "beatles"},
      {"The Beatles", false, "thebeatles"},
      {"Beatles", true, "beatles"},
      {"The The", true, "the"},
      {"Them", true, "m"},
      {"The", true, "the"},
      {"THE", true, "the"},
      {"Theatre", true, "atre"},
      {"The 3", true, "3"},
      {"!!!", true, "_"},
      {"", false, "_"},
      {"\xE5\x9D\x82\xE6\x9C\xAC\xE9\xBE\x8D\xE4\xB8\x80", false, "_"},  // 坂本龍一
      {"M\xC3\xB6tley Cr\xC3\xBC""e", false, "mtleycre"},
      {"AC/DC", false, "acdc"},
      {"10cc", true, "10cc"},
      {"Tab\tand\x01" "Control", false, "tabandcontrol"},
  };
  for (const KeyCase& c : cases)
    EXPECT_EQ(MakeSortKey(c.name, c.ignoreThe), c.key) << '"' << c.name << "\" ignoreThe=" << c.ignoreThe;
}

class LibraryTest : public ::testing::Test {
 protected:
  // Records are added in path-list order.
  AFileInfo* Add(const std::string& path, const std::string& artist, const std::string& album,
                 const std::string& track = "") {
    auto record = std::make_unique<AFileInfo>();
    record->path = Native(path);
    record->artist = artist;
    record->album = album;
    record->track = track;
    record->title = path;
    AFileInfo* raw = record.get();
    table[record->path] = std::move(record);
    paths.push_back(raw->path);
    return raw;
  }

  Library Build() { return BuildLibrary(paths, table, settings, progress); }

  // The library as "key(name):album-key(name)=track,track;..." per artist.
  static std::vector<std::string> Shape(const Library& artists) {
    std::vector<std::string> shape;
    for (const auto& artist : artists) {
      std::string line = artist->key + "(" + artist->name + ")";
      for (const auto& album : artist->albums) {
        line += " " + album->key + "(" + album->name + ")=";
        for (const AFileInfo* track : album->tracks) line += track->track.empty() ? "-" : track->track + ",";
      }
      shape.push_back(line);
    }
    return shape;
  }

  MemoryRegistryStore store;
  Settings settings{store};
  RecordingProgress progress;
  PathTable table;
  std::vector<std::string> paths;
};

TEST_F(LibraryTest, NothingToGroupGivesAnEmptyLibraryButStepsPerPath) {
  EXPECT_TRUE(Build().empty());

  paths = {"gone.mp3", "also gone.mp3"};
  EXPECT_TRUE(Build().empty());
  EXPECT_EQ(progress.log,
            (std::vector<std::string>{"item:gone.mp3", "stepit", "item:also gone.mp3", "stepit"}));
}

struct OrderCase {
  std::uint32_t organization;
  const char* format;
  const char* outformat;
  bool albumsSorted;
  bool tracksSorted;
};

TEST_F(LibraryTest, OrderingRulesFollowTheSettings) {
  const OrderCase cases[] = {
      {0, "", "%3. %4", true, true},
      {1, "%3 - %4", "%3", true, true},
      {2, "", "%4 (%3)", true, true},
      {3, "", "%3. %4", false, true},
      {0, "%1 - %2 - %3", "%3. %4", false, true},
      {2, "%3 %4", "%4", true, false},
      {3, "%2", "%5", false, false},
  };
  Add("z/2.mp3", "Zed", "Zeta", "2");
  Add("z/1.mp3", "Zed", "Zeta", "1");
  Add("a/1.mp3", "Zed", "Alpha", "1");
  Add("b/1.mp3", "Abba", "Gold", "1");
  for (const OrderCase& c : cases) {
    settings._4_organizationnum.Set(c.organization);
    settings._4_format.Set(c.format);
    settings._4_outformat.Set(c.outformat);
    const std::string zeta = c.tracksSorted ? " zeta(Zeta)=1,2," : " zeta(Zeta)=2,1,";
    const std::string zed = c.albumsSorted ? "zed(Zed) alpha(Alpha)=1," + zeta : "zed(Zed)" + zeta + " alpha(Alpha)=1,";
    EXPECT_EQ(Shape(Build()), (std::vector<std::string>{"abba(Abba) gold(Gold)=1,", zed}))
        << c.organization << " " << c.format << " " << c.outformat;
  }
}

struct Track {
  const char* path;
  const char* artist;
  const char* track;
};

struct TrackOrderCase {
  const char* what;
  std::vector<Track> tracks;  // in path-list order
  std::vector<const char*> expected;  // paths in album order
};

TEST_F(LibraryTest, TracksOfAnAlbumSortByNumberElseByPath) {
  const TrackOrderCase cases[] = {
      {"shorter number first", {{"a.mp3", "A", "2"}, {"b.mp3", "A", "10"}, {"c.mp3", "A", "1"}},
       {"c.mp3", "a.mp3", "b.mp3"}},
      {"leading zero is longer", {{"a.mp3", "A", "07"}, {"b.mp3", "A", "7"}}, {"b.mp3", "a.mp3"}},
      {"letters without case", {{"a.mp3", "A", "B"}, {"b.mp3", "A", "a"}}, {"b.mp3", "a.mp3"}},
      {"as written in the tag", {{"a.mp3", "A", "5/12"}, {"b.mp3", "A", "12/12"}, {"c.mp3", "A", "10/12"}},
       {"a.mp3", "c.mp3", "b.mp3"}},
      {"a missing number falls back to the paths", {{"b.mp3", "A", "3"}, {"a.mp3", "A", ""}},
       {"a.mp3", "b.mp3"}},
      {"paths without case", {{"B.mp3", "A", ""}, {"a.mp3", "A", ""}}, {"a.mp3", "B.mp3"}},
      {"artist spelt two ways", {{"a.mp3", "Beatles", "2"}, {"b.mp3", "beatles", "1"}}, {"a.mp3", "b.mp3"}},
  };
  settings._4_outformat.Set("%3. %4");
  for (const TrackOrderCase& c : cases) {
    table.clear();
    paths.clear();
    for (const Track& t : c.tracks) Add(t.path, t.artist, "Album", t.track);
    const Library artists = Build();
    ASSERT_EQ(artists.size(), 1u) << c.what;
    ASSERT_EQ(artists[0]->albums.size(), 1u) << c.what;
    std::vector<std::string> order;
    for (const AFileInfo* track : artists[0]->albums[0]->tracks) order.push_back(track->path);
    EXPECT_EQ(order, std::vector<std::string>(c.expected.begin(), c.expected.end())) << c.what;
  }
}

// Whatever the comparison answers, the sort must end and keep every track
// exactly once; with a consistent comparison it must really sort.
TEST(SortTracks, KeepsEveryTrackWhateverTheComparisonAnswers) {
  std::mt19937 random(20240611);
  for (const std::size_t size : {0u, 1u, 2u, 3u, 5u, 16u, 17u, 100u, 1000u, 4097u}) {
    std::vector<AFileInfo> records(size);
    std::vector<AFileInfo*> tracks;
    for (std::size_t i = 0; i < size; ++i) {
      records[i].length = static_cast<std::int32_t>(random() % 50);
      tracks.push_back(&records[i]);
    }
    std::vector<AFileInfo*> expected = tracks;
    std::sort(expected.begin(), expected.end());

    for (int mode = 0; mode < 3; ++mode) {
      std::vector<AFileInfo*> sorted = tracks;
      SortTracks(sorted, [&](const AFileInfo&, const AFileInfo&) { return mode == 0 ? (random() & 1) != 0 : mode == 1; });
      std::sort(sorted.begin(), sorted.end());
      EXPECT_EQ(sorted, expected) << "size " << size << " mode " << mode;
    }

    std::vector<AFileInfo*> sorted = tracks;
    SortTracks(sorted, [](const AFileInfo& a, const AFileInfo& b) { return a.length <= b.length; });
    EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end(),
                               [](const AFileInfo* a, const AFileInfo* b) { return a->length < b->length; }))
        << "size " << size;
  }
}

// The grouping as a search from the front of the entries made so far would
// do it: the model the index must reproduce exactly.
Library GroupByLinearSearch(const std::vector<std::string>& paths, const PathTable& table, bool ignoreThe,
                            bool sortAlbums) {
  Library artists;
  for (const std::string& path : paths) {
    const auto found = table.find(path);
    if (found == table.end()) continue;
    AFileInfo* record = found->second.get();
    const std::string artistKey = MakeSortKey(record->artist, ignoreThe);
    auto artist = std::find_if(artists.begin(), artists.end(), [&](const auto& a) { return a->key == artistKey; });
    if (artist == artists.end()) {
      artists.push_back(std::make_unique<ArtistEntry>(ArtistEntry{artistKey, record->artist, {}}));
      artist = artists.end() - 1;
    }
    auto& albums = (*artist)->albums;
    const std::string albumKey = MakeSortKey(record->album, ignoreThe);
    auto album = std::find_if(albums.begin(), albums.end(), [&](const auto& a) { return a->key == albumKey; });
    if (album == albums.end()) {
      albums.push_back(std::make_unique<AlbumEntry>(AlbumEntry{albumKey, record->album, {}}));
      album = albums.end() - 1;
    }
    (*album)->tracks.push_back(record);
  }
  auto byKey = [](const auto& a, const auto& b) { return a->key < b->key; };
  std::sort(artists.begin(), artists.end(), byKey);
  if (sortAlbums)
    for (auto& artist : artists) std::sort(artist->albums.begin(), artist->albums.end(), byKey);
  return artists;
}

TEST_F(LibraryTest, IndexGroupsExactlyAsALinearSearch) {
  // Few distinct keys and many spellings of each, so first-name-wins and
  // first-occurrence order are exercised on every key.
  const char* const artistNames[] = {"The Beatles", "Beatles", "beatles!", "AC/DC", "ACDC", "", "Unknown", "!!!",
                                     "Th\xC3\xA9\xC3\xA2tre", "Theatre", "Them", "The", "the the", "Abba", "ABBA"};
  const char* const albumNames[] = {"Abbey Road", "abbey road", "ABBEY-ROAD", "", "???", "Help!", "help",
                                    "The Album", "Album", "1", "01"};
  std::mt19937 random(7);
  for (int i = 0; i < 3000; ++i) {
    const std::string path = "p" + std::to_string(random() % 100000) + "_" + std::to_string(i) + ".mp3";
    if (random() % 20 == 0) {
      paths.push_back(path);  // no record
      continue;
    }
    // The path as the track number names each track in Shape().
    Add(path, artistNames[random() % std::size(artistNames)], albumNames[random() % std::size(albumNames)], path);
  }
  std::shuffle(paths.begin(), paths.end(), random);
  settings._4_outformat.Set("%4");

  for (const std::uint32_t ignoreThe : {0u, 1u}) {
    for (const std::uint32_t organization : {0u, 3u}) {
      settings._4_the.Set(ignoreThe);
      settings._4_organizationnum.Set(organization);
      const Library built = Build();
      EXPECT_EQ(Shape(built), Shape(GroupByLinearSearch(paths, table, ignoreThe != 0, organization != 3)))
          << "ignoreThe " << ignoreThe << " organization " << organization;
      // The entries are the table's own records, not copies.
      const AFileInfo* first = built.at(0)->albums.at(0)->tracks.at(0);
      EXPECT_EQ(first, table.at(first->path).get());
    }
  }
}

}  // namespace
}  // namespace auralith

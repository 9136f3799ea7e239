#include "builder/library.h"

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "settings/memory_registry_store.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using Lines = std::vector<std::string>;

TEST(MakeSortKey, KeepsOnlyLowerCaseLettersAndDigits) {
  const struct {
    const char* name;
    bool ignoreThe;
    const char* key;
  } cases[] = {
      {"The Beatles", true, "beatles"}, {"The Beatles", false, "thebeatles"}, {"The The", true, "the"},
      {"Them", true, "m"},              {"THE", true, "the"},                 {"Theatre", true, "atre"},
      {"The 3", true, "3"},             {"!!!", true, "_"},                   {"", false, "_"},
      {"AC/DC", false, "acdc"},         {"10cc", true, "10cc"},               {"Tab\tand\x01" "Control", false, "tabandcontrol"},
      {"\xE5\x9D\x82\xE6\x9C\xAC\xE9\xBE\x8D\xE4\xB8\x80", false, "_"},
      {"M\xC3\xB6tley Cr\xC3\xBC" "e", false, "mtleycre"},
  };
  for (const auto& c : cases) EXPECT_EQ(MakeSortKey(c.name, c.ignoreThe), c.key) << c.name << ' ' << c.ignoreThe;
}

class LibraryTest : public ::testing::Test {
 protected:
  // Records are added in path-list order; the track number names a record.
  void Add(const std::string& path, const std::string& artist, const std::string& album, const std::string& track) {
    table[path] = std::make_unique<AFileInfo>(AFileInfo{path, artist, album, path, track});
    paths.push_back(path);
  }

  Library Build() { return BuildLibrary(paths, table, settings, progress); }

  // The library as "key(name) album-key(name)=track,track, ..." per artist.
  static Lines Shape(const Library& artists) {
    Lines shape;
    for (const auto& artist : artists) {
      std::string line = artist->key + "(" + artist->name + ")";
      for (const auto& album : artist->albums) {
        line += " " + album->key + "(" + album->name + ")=";
        for (const AFileInfo* track : album->tracks) line += track->track + ",";
      }
      shape.push_back(line);
    }
    return shape;
  }

  MemoryRegistryStore store;
  Settings settings{store};
  testing::RecordingProgress progress;
  PathTable table;
  Lines paths;
};

// An artist or album keeps the name and place of its first occurrence; an
// album belongs to its artist, whatever another artist's album is called.
TEST_F(LibraryTest, GroupsByKeyAndKeepsFirstNames) {
  Add("a", "The Beatles", "Help!", "1");
  Add("b", "ABBA", "Help!", "2");
  Add("c", "Beatles", "Abbey Road", "3");
  Add("d", "Beatles", "help", "4");
  paths.push_back("gone");  // no record
  Add("e", "Beatles", "Abbey Road", "5");
  settings._4_outformat.Set("%4");
  const struct {
    std::uint32_t ignoreThe;
    std::uint32_t folders;
    Lines shape;
  } cases[] = {
      {1, 0, {"abba(ABBA) help(Help!)=2,", "beatles(The Beatles) abbeyroad(Abbey Road)=3,5, help(Help!)=1,4,"}},
      {1, 3, {"abba(ABBA) help(Help!)=2,", "beatles(The Beatles) help(Help!)=1,4, abbeyroad(Abbey Road)=3,5,"}},
      {0, 3, {"abba(ABBA) help(Help!)=2,", "beatles(Beatles) abbeyroad(Abbey Road)=3,5, help(help)=4,",
              "thebeatles(The Beatles) help(Help!)=1,"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.ignoreThe) + " " + std::to_string(c.folders));
    settings._4_the.Set(c.ignoreThe);
    settings._4_organizationnum.Set(c.folders);
    progress.log.clear();
    const Library artists = Build();
    EXPECT_EQ(Shape(artists), c.shape);
    EXPECT_EQ(artists[0]->albums[0]->tracks[0], table.at("b").get()) << "the table's own records";
    EXPECT_EQ(std::count(progress.log.begin(), progress.log.end(), "stepit"), 6);
    EXPECT_EQ(progress.log[8], "item:gone");
  }
}

TEST_F(LibraryTest, OrderingRulesFollowTheSettings) {
  const struct {
    std::uint32_t folders;
    const char* format;
    const char* outformat;
    bool albumsSorted;
    bool tracksSorted;
  } cases[] = {
      {0, "", "%3. %4", true, true},          {2, "", "%4 (%3)", true, true},
      {3, "", "%3. %4", false, true},         {0, "%1 - %2 - %3", "%3. %4", false, true},
      {2, "%3 %4", "%4", true, false},        {3, "%2", "%5", false, false},
  };
  Add("z/2.mp3", "Zed", "Zeta", "2");
  Add("z/1.mp3", "Zed", "Zeta", "1");
  Add("a/1.mp3", "Zed", "Alpha", "1");
  Add("b/1.mp3", "Abba", "Gold", "1");
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.folders) + " " + c.format + " " + c.outformat);
    settings._4_organizationnum.Set(c.folders);
    settings._4_format.Set(c.format);
    settings._4_outformat.Set(c.outformat);
    const std::string zeta = c.tracksSorted ? " zeta(Zeta)=1,2," : " zeta(Zeta)=2,1,";
    const std::string zed = c.albumsSorted ? "zed(Zed) alpha(Alpha)=1," + zeta : "zed(Zed)" + zeta + " alpha(Alpha)=1,";
    EXPECT_EQ(Shape(Build()), (Lines{"abba(Abba) gold(Gold)=1,", zed}));
  }
}

TEST_F(LibraryTest, TracksOfAnAlbumSortByNumberElseByPath) {
  const struct {
    const char* what;
    std::vector<std::array<const char*, 3>> tracks;  // path, artist, track, in path-list order
    Lines expected;                                  // paths in album order
  } cases[] = {
      {"shorter number first", {{"a", "A", "2"}, {"b", "A", "10"}, {"c", "A", "1"}}, {"c", "a", "b"}},
      {"leading zero is longer", {{"a", "A", "07"}, {"b", "A", "7"}}, {"b", "a"}},
      {"letters without case", {{"a", "A", "B"}, {"b", "A", "a"}}, {"b", "a"}},
      {"as written in the tag", {{"a", "A", "5/12"}, {"b", "A", "12/12"}, {"c", "A", "10/12"}}, {"a", "c", "b"}},
      {"a missing number falls back to the paths", {{"b", "A", "3"}, {"a", "A", ""}}, {"a", "b"}},
      {"paths without case", {{"B", "A", ""}, {"a", "A", ""}}, {"a", "B"}},
      {"artist spelt two ways", {{"a", "Beatles", "2"}, {"b", "beatles", "1"}}, {"a", "b"}},
  };
  settings._4_outformat.Set("%3. %4");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    table.clear();
    paths.clear();
    for (const auto& [path, artist, track] : c.tracks) Add(path, artist, "Album", track);
    const Library artists = Build();
    ASSERT_EQ(artists.size(), 1u);
    ASSERT_EQ(artists[0]->albums.size(), 1u);
    Lines order;
    for (const AFileInfo* track : artists[0]->albums[0]->tracks) order.push_back(track->path);
    EXPECT_EQ(order, c.expected);
  }
}

// Whatever the comparison answers, the sort must end and keep every track
// exactly once; with a consistent comparison it must really sort.
TEST(SortTracks, KeepsEveryTrackWhateverTheComparisonAnswers) {
  std::mt19937 random(20240611);
  for (const std::size_t size : {0u, 1u, 2u, 3u, 17u, 100u, 4097u}) {
    SCOPED_TRACE(size);
    std::vector<AFileInfo> records(size);
    std::vector<AFileInfo*> tracks;
    for (AFileInfo& record : records) {
      record.length = static_cast<std::int32_t>(random() % 50);
      tracks.push_back(&record);
    }
    for (int mode = 0; mode < 3; ++mode) {
      std::vector<AFileInfo*> sorted = tracks;
      SortTracks(sorted, [&](const AFileInfo&, const AFileInfo&) { return mode == 0 ? (random() & 1) != 0 : mode == 1; });
      std::sort(sorted.begin(), sorted.end());
      EXPECT_EQ(sorted, tracks) << "mode " << mode;
    }
    SortTracks(tracks, [](const AFileInfo& a, const AFileInfo& b) { return a.length <= b.length; });
    EXPECT_TRUE(std::is_sorted(tracks.begin(), tracks.end(),
                               [](const AFileInfo* a, const AFileInfo* b) { return a->length < b->length; }));
  }
}

}  // namespace
}  // namespace auralith

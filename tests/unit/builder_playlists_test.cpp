// The library's grouping and order, and the playlists and data file written for it.

#include "builder/playlists.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <deque>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "base/path.h"
#include "builder/library.h"
#include "builder/library_data.h"
#include "platform/native.h"
#include "settings/memory_registry_store.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using testing::ListNames;
using testing::Native;
using testing::ReadFile;

using Lines = std::vector<std::string>;

TEST(MakeSortKey, KeepsOnlyLowerCaseLettersAndDigits) {
  const std::tuple<const char*, bool, const char*> cases[] = {
      {"The Beatles", true, "beatles"}, {"The Beatles", false, "thebeatles"}, {"The The", true, "the"},
      {"Them", true, "m"},              {"THE", true, "the"},                 {"The 3", true, "3"},
      {"!!!", true, "_"},               {"", false, "_"},                     {"AC/DC", false, "acdc"},
      {"10cc", true, "10cc"},           {"Tab\tand\x01" "Control", false, "tabandcontrol"},
      {"M\xC3\xB6tley Cr\xC3\xBC" "e", false, "mtleycre"},
  };
  for (const auto& [name, ignoreThe, key] : cases) EXPECT_EQ(MakeSortKey(name, ignoreThe), key) << name << ' ' << ignoreThe;
}

std::string Dots(std::size_t count) { return std::string(count, '.'); }

Lines Section(const std::string& name) {
  return {"#EXTINF:-1,|" + Dots(121), "|" + Dots(122) + "mp3", "#EXTINF:-1,|......" + name + Dots(100),
          "|......" + name + Dots(101) + "mp3"};
}

// An album's heading file lies in `folder`.
Lines AlbumHeading(const std::string& name, const std::string& folder) {
  return {"#EXTINF:-1,|......" + name + "......|", folder + "|......" + name + "......|.mp3"};
}

std::string M3u(std::initializer_list<Lines> groups) {
  Lines lines = {"#EXTM3U"};
  for (const Lines& group : groups) lines.insert(lines.end(), group.begin(), group.end());
  return testing::Crlf(lines);
}

class OutputTest : public ::testing::Test {
 protected:
  OutputTest() {
    settings.location.Set(dir.path());
    settings._4_music.Set(music);
    settings._4_outformat.Set("%3. %4");
    settings._4_headers.Set(1);
  }

  // A new album, under the last artist when that has the key.
  AlbumEntry& Album(const std::string& artistKey, const std::string& artistName, const std::string& key,
                    const std::string& name) {
    if (artists.empty() || artists.back()->key != artistKey)
      artists.push_back(std::make_unique<ArtistEntry>(ArtistEntry{artistKey, artistName, {}}));
    auto& albums = artists.back()->albums;
    albums.push_back(std::make_unique<AlbumEntry>(AlbumEntry{key, name, {}}));
    return *albums.back();
  }

  void Track(AlbumEntry& album, const std::string& path, const std::string& track, const std::string& title,
             std::int32_t length = 1) {
    album.tracks.push_back(&records.emplace_back(AFileInfo{Native(path), "", "", title, track, length}));
  }

  Lines Entry(const std::string& info, const std::string& path) { return {"#EXTINF:" + info, music + Native(path)}; }

  void Write() { WritePlaylists(artists, settings, fs, prompter, progress); }
  std::string Playlist(const std::string& name) { return ReadFile(folder + name); }
  std::string WriteData() {
    WriteLibraryData(artists, settings, prompter, progress);
    return ReadFile(dir / "Auralith.data");
  }

  // A record for BuildLibrary, in path-list order; its track number names it.
  void Add(const std::string& path, const std::string& artist, const std::string& album, const std::string& track) {
    table.Insert(std::make_unique<AFileInfo>(AFileInfo{path, artist, album, path, track}));
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

  testing::TempDir dir;
  const std::string folder = dir / "playlists/", music = Native("C:/Music/");
  MemoryRegistryStore store;
  Settings settings{store};
  NativeFileSystem fs;
  testing::ScriptedPrompter prompter;
  testing::RecordingProgress progress;
  std::deque<AFileInfo> records;
  Library artists;
  PathTable table;
  Lines paths;
};

using LibraryTest = OutputTest;

// An artist or album keeps its first name and place; albums of one name stay apart under different artists.
TEST_F(LibraryTest, GroupsByKeyAndKeepsFirstNames) {
  Add("a", "The Beatles", "Help!", "1");
  Add("b", "ABBA", "Help!", "2");
  Add("c", "Beatles", "Abbey Road", "3");
  Add("d", "Beatles", "help", "4");
  paths.push_back("gone");  // no record
  Add("e", "Beatles", "Abbey Road", "5");
  settings._4_outformat.Set("%4");
  // 4_the, 4_organizationnum, the library's shape.
  const std::tuple<std::uint32_t, std::uint32_t, Lines> cases[] = {
      {1, 0, {"abba(ABBA) help(Help!)=2,", "beatles(The Beatles) abbeyroad(Abbey Road)=3,5, help(Help!)=1,4,"}},
      {1, 3, {"abba(ABBA) help(Help!)=2,", "beatles(The Beatles) help(Help!)=1,4, abbeyroad(Abbey Road)=3,5,"}},
      {0, 3, {"abba(ABBA) help(Help!)=2,", "beatles(Beatles) abbeyroad(Abbey Road)=3,5, help(help)=4,",
              "thebeatles(The Beatles) help(Help!)=1,"}},
  };
  for (const auto& [ignoreThe, folders, shape] : cases) {
    SCOPED_TRACE(std::to_string(ignoreThe) + " " + std::to_string(folders));
    settings._4_the.Set(ignoreThe);
    settings._4_organizationnum.Set(folders);
    const Library artists = Build();
    EXPECT_EQ(Shape(artists), shape);
    EXPECT_EQ(artists[0]->albums[0]->tracks[0], table.find("b")->second.get()) << "the table's own records";
  }
}

// 4_organizationnum, 4_format, 4_outformat; whether albums, then tracks, are sorted.
TEST_F(LibraryTest, OrderingRulesFollowTheSettings) {
  const std::tuple<std::uint32_t, const char*, const char*, bool, bool> cases[] = {
      {2, "", "%4 (%3)", true, true}, {0, "%1 - %2 - %3", "%3. %4", false, true}, {2, "%3 %4", "%4", true, false},
  };
  Add("z/2.mp3", "Zed", "Zeta", "2");
  Add("z/1.mp3", "Zed", "Zeta", "1");
  Add("a/1.mp3", "Zed", "Alpha", "1");
  Add("b/1.mp3", "Abba", "Gold", "1");
  for (const auto& [folders, format, outformat, albumsSorted, tracksSorted] : cases) {
    SCOPED_TRACE(std::to_string(folders) + " " + format + " " + outformat);
    settings._4_organizationnum.Set(folders);
    settings._4_format.Set(format);
    settings._4_outformat.Set(outformat);
    const std::string zeta = tracksSorted ? " zeta(Zeta)=1,2," : " zeta(Zeta)=2,1,";
    const std::string zed = albumsSorted ? "zed(Zed) alpha(Alpha)=1," + zeta : "zed(Zed)" + zeta + " alpha(Alpha)=1,";
    EXPECT_EQ(Shape(Build()), (Lines{"abba(Abba) gold(Gold)=1,", zed}));
  }
}

// Format, artist, title, path, entry.
TEST(ExpandEntry, ReplacesEachFieldInOnePassInOrder) {
  const std::tuple<const char*, const char*, const char*, const char*, const char*> cases[] = {
      {"%1 / %2 / %3 / %4", "", "T", "a.mp3", " / Album / 05 / T"},
      {"%1", "%4 Band", "Title", "a.mp3", "Title Band"},
      {"%1", "%5", "Title", "dir/file.mp3", "file.mp3"},
      {"%6 %% 100% %", "A", "T", "a.mp3", "%6 %% 100% %"},
      {"%%1%4%4", "A", "T", "a.mp3", "%ATT"},
  };
  for (const auto& [format, artist, title, path, expected] : cases)
    EXPECT_EQ(ExpandEntry(format, AFileInfo{Native(path), artist, "Album", title, "05"}), expected) << format;
}

// Within an album by track number as written, shorter first, else by path;
// letters compare without case. Rows: a's number and path, b's, whether a goes first.
TEST(CompareTracks, ByNumberAsWrittenElseByPath) {
  const std::tuple<const char*, const char*, const char*, const char*, bool> cases[] = {
      {"2", "z", "10", "a", true}, {"07", "a", "7", "z", false}, {"B", "a", "a", "z", false},
      {"3", "b", "", "a", false},  {"", "a", "", "B", true},     {"1", "b", "1", "a", true},
  };
  for (const auto& [aTrack, aPath, bTrack, bPath, before] : cases) {
    const AFileInfo a{aPath, "Artist", "Album", "", aTrack}, b{bPath, "Artist", "Album", "", bTrack};
    EXPECT_EQ(CompareTracks(a, b), before) << aTrack << " " << aPath << " / " << bTrack << " " << bPath;
  }
  // Another artist's or album's track goes by path whatever its number.
  EXPECT_FALSE(CompareTracks(AFileInfo{"b", "Beatles", "Album", "", "1"}, AFileInfo{"a", "beatles", "Album", "", "2"}));
  EXPECT_FALSE(CompareTracks(AFileInfo{"b", "Artist", "Help", "", "1"}, AFileInfo{"a", "Artist", "help", "", "2"}));
}

using PlaylistsTest = OutputTest;

// Old playlists and data files go, all else stays; an empty library has a top-level playlist.
TEST_F(PlaylistsTest, AlbumArtistAndTopLevelPlaylistsByteForByte) {
  for (const char* name : {"old.m3u", "OLD2.M3U", ".m3u", "x.js", "Y.JS", ".js", "keep.txt", "keep.m3u8", "m3u",
                           "keepjs", "keep.json"})
    testing::WriteFile(folder + name, "old");
  testing::MakeDirectories(folder + "dir.m3u");
  Write();
  EXPECT_EQ(ListNames(folder), (Lines{".m3u", "dir.m3u", "keep.json", "keep.m3u8", "keep.txt", "keepjs", "m3u"}));
  EXPECT_EQ(Playlist(".m3u"), M3u({Section("All")}));

  AlbumEntry& abbey = Album("beatles", "The Beatles", "abbeyroad", "Abbey Road");
  Track(abbey, "Beatles/Abbey Road/01 Come Together.mp3", "01", "Come Together", 259);
  Track(abbey, "Beatles/Abbey Road/02 Something.mp3", "02", "Something", -1);
  Track(Album("beatles", "The Beatles", "help", "Help!"), "Help/Help.mp3", "", "Help", 138);
  Track(Album("abba", "ABBA", "gold", "Gold"), "Gold.mp3", "1", "Dancing Queen", 230);
  // Empty names show as "Unknown"; a folder that is the separator alone counts as none.
  Track(Album("_", "", "_", ""), "/Track.mp3", "", "Track", 5);
  Write();

  EXPECT_EQ(Playlist("beatles_abbeyroad.m3u"),
            M3u({AlbumHeading("Abbey Road", music + Native("Beatles/Abbey Road/")),
                 Entry("259,01. Come Together", "Beatles/Abbey Road/01 Come Together.mp3"),
                 Entry("-1,02. Something", "Beatles/Abbey Road/02 Something.mp3")}));
  // A first track directly in the root gives the heading the root alone.
  EXPECT_EQ(Playlist("abba_gold.m3u"), M3u({AlbumHeading("Gold", music), Entry("230,1. Dancing Queen", "Gold.mp3")}));
  EXPECT_EQ(Playlist("___.m3u"), M3u({AlbumHeading("Unknown", music), Entry("5,. Track", "/Track.mp3")}));
  EXPECT_EQ(Playlist("beatles.m3u"), M3u({Section("The Beatles"), {"beatles_abbeyroad.m3u", "beatles_help.m3u"}}));
  EXPECT_EQ(Playlist("_.m3u"), M3u({Section("Unknown"), {"___.m3u"}}));
  EXPECT_EQ(Playlist(".m3u"), M3u({Section("All"), {"beatles.m3u", "abba.m3u", "_.m3u"}}));

  settings._4_headers.Set(0);
  settings._4_outformat.Set("");
  Write();
  EXPECT_EQ(Playlist("beatles_help.m3u"), M3u({Entry("138,Help.mp3", "Help/Help.mp3")}));
  EXPECT_EQ(Playlist(".m3u"), M3u({{"beatles.m3u", "abba.m3u", "_.m3u"}}));
}

// A file where the playlist folder belongs stops the writer (else each playlist
// would fail on its own); any other file that cannot be written is reported once.
TEST_F(PlaylistsTest, FailuresAreReportedOnce) {
  // What stands in the way, the message, the names then in the playlist folder.
  const std::tuple<const char*, const char*, std::size_t> cases[] = {
      {"playlists", "Couldn't create playlist directory", 0},
      {"playlists/beatles_abbeyroad.m3u/keep", "Error writing playlist for the album named \"Abbey Road\"", 4},
      {"playlists/beatles.m3u/keep", "Error writing playlist for artist \"The Beatles\"", 4},
      {"playlists/.m3u/keep", "Error writing top-level playlist", 4},
      {"Auralith.data/keep", "Error writing data file", 4},
  };
  Track(Album("beatles", "The Beatles", "abbeyroad", "Abbey Road"), "1.mp3", "1", "T");
  Track(Album("beatles", "The Beatles", "help", "Help!"), "2.mp3", "1", "T");
  for (const auto& [blocker, message, names] : cases) {
    SCOPED_TRACE(blocker);
    for (const char* name : {"playlists", "Auralith.data"}) testing::RemoveTree(dir / name);
    testing::WriteFile(dir / blocker, "x");
    prompter.shown.clear();
    Write();
    WriteLibraryData(artists, settings, prompter, progress);
    ASSERT_EQ(testing::ShownTexts(prompter), Lines{message});
    EXPECT_EQ(std::tuple(prompter.shown[0].caption, prompter.shown[0].icon), std::tuple("Error", MessageIcon::Error));
    EXPECT_EQ(ListNames(folder).size(), names);
  }
}

// A playlist whose file keeps the size and time the last run left, and whose text
// is the same again, is not even opened; any other is compared and put right.
TEST_F(PlaylistsTest, RecordedPlaylistsAreOpenedOnlyWhenTheirFileOrTextChanged) {
  Track(Album("a", "A", "b", "B"), "1.mp3", "1", "T");
  Write();
  const std::string path = folder + "a_b.m3u", right = Playlist("a_b.m3u");
  const auto time = std::filesystem::last_write_time(path);
  // Other bytes of the same length, at the recorded time or two seconds later.
  const std::string forged(right.size(), 'x');
  auto forge = [&](int seconds) {
    testing::WriteFile(path, forged);
    std::filesystem::last_write_time(path, time + std::chrono::seconds(seconds));
  };
  // The record put in place of the last run's (null: none), the seconds, whether the forgery stays.
  const std::tuple<const char*, int, bool> cases[] = {
      {nullptr, 0, true}, {nullptr, 2, false}, {"", 0, false}, {"Auralith playlists 2\n1 2 x a_b.m3u\n", 0, false}};
  for (const auto& [record, seconds, trusted] : cases) {
    Write();
    if (record != nullptr) testing::WriteFile(dir / "Auralith.playlists", record);
    forge(seconds);
    Write();
    EXPECT_EQ(Playlist("a_b.m3u"), trusted ? forged : right) << (record ? record : "") << seconds;
  }
  forge(0);
  settings._4_outformat.Set("%4");
  Write();
  EXPECT_NE(Playlist("a_b.m3u").find("#EXTINF:1,T\r\n"), std::string::npos) << "new text";
  records.back().title = "U";  // a text of the same size
  Write();
  EXPECT_NE(Playlist("a_b.m3u").find("#EXTINF:1,U\r\n"), std::string::npos) << "same size";
  EXPECT_TRUE(prompter.shown.empty());
}

// Not on Windows, where a path with a name that long is past MAX_PATH.
#ifndef _WIN32
TEST_F(PlaylistsTest, APlaylistWhoseNameTakesAllTheRoomIsReplacedToo) {
  const std::string key(251, 'k');  // key + ".m3u": the longest name a file may have
  Track(Album(key, "K", "a", "A"), "1.mp3", "1", "T");
  Write();
  artists.back()->albums.back()->key = "b";  // the artist's playlist lists the album's
  Write();
  EXPECT_NE(Playlist(key + ".m3u").find(key + "_b.m3u"), std::string::npos);
}
#endif

using LibraryDataTest = OutputTest;

TEST_F(LibraryDataTest, OneTrackLibraryByteForByte) {
  std::string base = dir.path() + "playlists" + kPathSeparator;
  std::replace(base.begin(), base.end(), '\\', '/');
  Track(Album("beatles", "The Beatles", "abbeyroad", "Abbey Road"), "x.mp3", "01", "Come Together");
  EXPECT_EQ(WriteData(), testing::Crlf({
                             "var base = \"" + base + "\";", "", "", "",
                             "artist_list[0]            = new Array(\"The Beatles\",\"beatles.m3u\");",
                             "album_list[0]             = new Array();",
                             "track_list[0]             = new Array();", "",
                             "album_list[0][0]          = new Array(\"Abbey Road\",\"beatles_abbeyroad.m3u\");",
                             "track_list[0][0]          = new Array();",
                             "track_list[0][0][0]       = \"01. Come Together\";",
                         }));
  EXPECT_EQ(progress.log, Lines{"stepit"});
}

// A name may hold "'", a track text may not; an empty artist is named before the
// clean-up, an album after. Rows: artist and album name, title, the three as written.
TEST_F(LibraryDataTest, NamesAndTrackTextsAreEscaped) {
  const std::tuple<const char*, const char*, const char*, const char*, const char*> cases[] = {
      {"", "", "Unknown", "Unknown", ""},
      {"\a\f", "Tab\tBell\aFeed\f", "", "Unknown", "Tab\tBell\aFeed\f"},
      {"Beat\r\nles\a", "Line\nFeed\rReturn", "Beatles", "Beatles", "Line\\nFeed\\rReturn"},
      {"Say \"Hi\"", "AC\\DC", "Say \\\"Hi\\\"", "Say \\\"Hi\\\"", "AC\\\\DC"},
      {"It's", "Don't", "It's", "It's", "Don\\'t"},
      {"A\xE2\x80\xA8" "B", "A\xE2\x80\xA9" "B", "A\\u2028B", "A\\u2028B", "A\\u2029B"},
      // The removed break leaves a separator behind, which must not stay raw.
      {"A\xE2\x80\n\xA8" "B", "Cut \xE2\x80", "A\\u2028B", "A\\u2028B", "Cut \xE2\x80"},
  };
  settings._4_outformat.Set("%4");
  for (const auto& [name, title, artistText, albumText, titleText] : cases) {
    SCOPED_TRACE(titleText);
    artists.clear();
    Track(Album("k", name, "_", name), "x.mp3", "1", title);
    const std::string text = WriteData();
    for (const std::string& line : {"= new Array(\"" + std::string(artistText) + "\",\"k.m3u\");\r\n",
                                   "= new Array(\"" + std::string(albumText) + "\",\"k__.m3u\");\r\n",
                                   "= \"" + std::string(titleText) + "\";\r\n"})
      EXPECT_NE(text.find(line), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace auralith

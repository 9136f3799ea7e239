#include "builder/playlists.h"

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/path.h"
#include "platform/native.h"
#include "settings/memory_registry_store.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using testing::Crlf;
using testing::FileExists;
using testing::ListNames;
using testing::MakeDirectories;
using testing::Native;
using testing::ReadFile;
using testing::RecordingProgress;
using testing::ScriptedPrompter;
using testing::TempDir;
using testing::WriteFile;

std::string Dots(std::size_t count) { return std::string(count, '.'); }

struct EntryCase {
  const char* format;
  const char* artist;
  const char* title;
  const char* path;
  const char* expected;
};

TEST(ExpandEntry, ReplacesEachFieldInOnePassInOrder) {
  const EntryCase cases[] = {
      {"%3. %4", "Beatles", "Mr. Jones", "a/05 x.mp3", "05. Mr. Jones"},
      {"", "Beatles", "Mr. Jones", "a/b/05 x.mp3", "05 x.mp3"},
      {"%5", "Beatles", "Mr. Jones", "root.ogg", "root.ogg"},
      {"%1 - %4", "", "Song", "a.mp3", " - Song"},
      {"%1 / %2 / %3 / %4", "A", "T", "a.mp3", "A / Album / 05 / T"},
      {"%1", "%4 Band", "Title", "a.mp3", "Title Band"},
      {"%1", "%5", "Title", "dir/file.mp3", "file.mp3"},
      {"%4", "Artist", "%1 of %3", "a.mp3", "%1 of %3"},
      {"%6 %% 100% %", "A", "T", "a.mp3", "%6 %% 100% %"},
      {"%%1%4%4", "A", "T", "a.mp3", "%ATT"},
  };
  for (const EntryCase& c : cases) {
    AFileInfo track;
    track.artist = c.artist;
    track.album = "Album";
    track.track = "05";
    track.title = c.title;
    track.path = Native(c.path);
    EXPECT_EQ(ExpandEntry(c.format, track), c.expected) << c.format;
  }
}

class PlaylistsTest : public ::testing::Test {
 protected:
  PlaylistsTest() {
    settings.location.Set(dir.path());
    settings._4_music.Set(music);
    settings._4_outformat.Set("%3. %4");
    settings._4_headers.Set(1);
  }

  AlbumEntry& AddAlbum(const std::string& artistKey, const std::string& artistName, const std::string& key,
                       const std::string& name) {
    if (artists.empty() || artists.back()->key != artistKey) {
      artists.push_back(std::make_unique<ArtistEntry>());
      artists.back()->key = artistKey;
      artists.back()->name = artistName;
    }
    artists.back()->albums.push_back(std::make_unique<AlbumEntry>());
    AlbumEntry& album = *artists.back()->albums.back();
    album.key = key;
    album.name = name;
    return album;
  }

  void AddTrack(AlbumEntry& album, const std::string& path, const std::string& track, const std::string& title,
                std::int32_t length) {
    AFileInfo& record = records.emplace_back();
    record.path = Native(path);
    record.artist = "Beatles";
    record.album = album.name;
    record.track = track;
    record.title = title;
    record.length = length;
    album.tracks.push_back(&record);
  }

  void Write() { WritePlaylists(artists, settings, fs, prompter, progress); }
  std::string Playlist(const std::string& name) { return ReadFile(folder + name); }
  std::vector<std::string> Messages() const { return testing::ShownTexts(prompter); }

  TempDir dir;
  const std::string folder = dir / "playlists/";
  const std::string music = Native("C:/Music/");
  MemoryRegistryStore store;
  Settings settings{store};
  NativeFileSystem fs;
  ScriptedPrompter prompter;
  RecordingProgress progress;
  std::deque<AFileInfo> records;
  Library artists;
};

TEST_F(PlaylistsTest, AlbumArtistAndTopLevelPlaylistsByteForByte) {
  AlbumEntry& abbey = AddAlbum("beatles", "The Beatles", "abbeyroad", "Abbey Road");
  AddTrack(abbey, "Beatles/Abbey Road/01 Come Together.mp3", "01", "Come Together", 259);
  AddTrack(abbey, "Beatles/Abbey Road/02 Something.mp3", "02", "Something", -1);
  AlbumEntry& help = AddAlbum("beatles", "The Beatles", "help", "Help!");
  AddTrack(help, "Help/Help.mp3", "", "Help", 138);
  AlbumEntry& gold = AddAlbum("abba", "ABBA", "gold", "Gold");
  AddTrack(gold, "Gold.mp3", "1", "Dancing Queen", 230);
  Write();

  EXPECT_EQ(Playlist("beatles_abbeyroad.m3u"),
            Crlf({"#EXTM3U", "#EXTINF:-1,|......Abbey Road......|",
                  music + Native("Beatles/Abbey Road/") + "|......Abbey Road......|.mp3",
                  "#EXTINF:259,01. Come Together", music + Native("Beatles/Abbey Road/01 Come Together.mp3"),
                  "#EXTINF:-1,02. Something", music + Native("Beatles/Abbey Road/02 Something.mp3")}));
  EXPECT_EQ(Playlist("beatles_help.m3u"),
            Crlf({"#EXTM3U", "#EXTINF:-1,|......Help!......|", music + Native("Help/") + "|......Help!......|.mp3",
                  "#EXTINF:138,. Help", music + Native("Help/Help.mp3")}));
  // A first track directly in the root gives the heading the root alone.
  EXPECT_EQ(Playlist("abba_gold.m3u"),
            Crlf({"#EXTM3U", "#EXTINF:-1,|......Gold......|", music + "|......Gold......|.mp3",
                  "#EXTINF:230,1. Dancing Queen", music + "Gold.mp3"}));
  EXPECT_EQ(Playlist("beatles.m3u"),
            Crlf({"#EXTM3U", "#EXTINF:-1,|" + Dots(121), "|" + Dots(122) + "mp3",
                  "#EXTINF:-1,|......The Beatles" + Dots(100), "|......The Beatles" + Dots(101) + "mp3",
                  "beatles_abbeyroad.m3u", "beatles_help.m3u"}));
  EXPECT_EQ(Playlist(".m3u"), Crlf({"#EXTM3U", "#EXTINF:-1,|" + Dots(121), "|" + Dots(122) + "mp3",
                                    "#EXTINF:-1,|......All" + Dots(100), "|......All" + Dots(101) + "mp3",
                                    "beatles.m3u", "abba.m3u"}));
  EXPECT_TRUE(prompter.shown.empty());

  EXPECT_EQ(progress.log, (std::vector<std::string>{"item:Writing playlist \"beatles_abbeyroad\"", "stepit", "stepit",
                                                    "item:Writing playlist \"beatles_help\"", "stepit",
                                                    "item:Writing playlist \"abba_gold\"", "stepit"}));
}

TEST_F(PlaylistsTest, RewritesOnlyPlaylistsWhoseContentChanged) {
  AlbumEntry& abbey = AddAlbum("beatles", "The Beatles", "abbeyroad", "Abbey Road");
  AddTrack(abbey, "Beatles/Abbey Road/01 Come Together.mp3", "01", "Come Together", 259);
  AlbumEntry& help = AddAlbum("beatles", "The Beatles", "help", "Help!");
  AddTrack(help, "Help/Help.mp3", "", "Help", 138);
  Write();
  const std::string abbeyBefore = Playlist("beatles_abbeyroad.m3u");
  for (const char* name : {"beatles_abbeyroad.m3u", "beatles_help.m3u"}) testing::SetModified(folder + name, 1000000);
  NativeFileSystem probe;
  FileStatus status;

  // What a stopped run was writing goes, even where the content stands.
  WriteFile(folder + "beatles_abbeyroad.m3u.tmp", "partial");
  help.tracks.front()->title = "Help (Remastered)";
  Write();
  EXPECT_FALSE(FileExists(folder + "beatles_abbeyroad.m3u.tmp"));
  ASSERT_TRUE(probe.Status(folder + "beatles_abbeyroad.m3u", &status));
  EXPECT_EQ(status.modified, 1000000);
  EXPECT_EQ(Playlist("beatles_abbeyroad.m3u"), abbeyBefore);
  ASSERT_TRUE(probe.Status(folder + "beatles_help.m3u", &status));
  EXPECT_NE(status.modified, 1000000);
  EXPECT_NE(Playlist("beatles_help.m3u").find("Help (Remastered)"), std::string::npos);

  // Shorter content replaces longer content whole.
  help.tracks.front()->title = "H";
  Write();
  EXPECT_EQ(Playlist("beatles_help.m3u"),
            Crlf({"#EXTM3U", "#EXTINF:-1,|......Help!......|", music + Native("Help/") + "|......Help!......|.mp3",
                  "#EXTINF:138,. H", music + Native("Help/Help.mp3")}));
}

TEST_F(PlaylistsTest, WithoutHeadingsOnlyEntriesAndNames) {
  settings._4_headers.Set(0);
  settings._4_outformat.Set("");
  AlbumEntry& abbey = AddAlbum("beatles", "The Beatles", "abbeyroad", "Abbey Road");
  AddTrack(abbey, "Beatles/01 Come Together.mp3", "01", "Come Together", 259);
  AddAlbum("beatles", "The Beatles", "help", "Help!");
  AddTrack(*artists.back()->albums.back(), "Help.mp3", "", "Help", 1);
  Write();

  EXPECT_EQ(Playlist("beatles_abbeyroad.m3u"),
            Crlf({"#EXTM3U", "#EXTINF:259,01 Come Together.mp3", music + Native("Beatles/01 Come Together.mp3")}));
  EXPECT_EQ(Playlist("beatles.m3u"), Crlf({"#EXTM3U", "beatles_abbeyroad.m3u", "beatles_help.m3u"}));
  EXPECT_EQ(Playlist(".m3u"), Crlf({"#EXTM3U", "beatles.m3u"}));
}

// A line break would end the "#EXTINF" line early and the player would take
// the rest of the title for the path of another entry.
TEST_F(PlaylistsTest, EmptyNamesShowAsUnknownAndLineBreaksBecomeSpaces) {
  // A folder part that is the separator alone counts as no folder.
  AddTrack(AddAlbum("_", "", "_", ""), "/Track.mp3", "", "Track", 5);
  AddTrack(AddAlbum("a", "Two\nLines", "b", "Side\r\nA"), "a.mp3", "1", "Title\rWith\nBreaks", 3);
  Write();

  EXPECT_EQ(Playlist("___.m3u"), Crlf({"#EXTM3U", "#EXTINF:-1,|......Unknown......|",
                                       music + "|......Unknown......|.mp3", "#EXTINF:5,. Track",
                                       music + Native("/Track.mp3")}));
  EXPECT_EQ(Playlist("_.m3u"), Crlf({"#EXTM3U", "#EXTINF:-1,|" + Dots(121), "|" + Dots(122) + "mp3",
                                     "#EXTINF:-1,|......Unknown" + Dots(100), "|......Unknown" + Dots(101) + "mp3",
                                     "___.m3u"}));
  EXPECT_EQ(Playlist("a_b.m3u"), Crlf({"#EXTM3U", "#EXTINF:-1,|......Side  A......|", music + "|......Side  A......|.mp3",
                                       "#EXTINF:3,1. Title With Breaks", music + "a.mp3"}));
  EXPECT_NE(Playlist("a.m3u").find("\r\n#EXTINF:-1,|......Two Lines" + Dots(100) + "\r\n"), std::string::npos);
}

TEST_F(PlaylistsTest, EmptyLibraryEmptiesTheFolderAndWritesTheTopLevelPlaylist) {
  const char* const old[] = {"old.m3u", "OLD2.M3U", "Mixed.M3u", ".m3u", "x.js", "Y.JS", ".js",
                             "keep.txt", "keep.m3u8", "m3u", "keepjs", "keep.json"};
  for (const char* name : old) WriteFile(folder + name, "old");
  MakeDirectories(folder + "dir.m3u");
  Write();

  EXPECT_EQ(ListNames(folder),
            (std::vector<std::string>{".m3u", "dir.m3u", "keep.json", "keep.m3u8", "keep.txt", "keepjs", "m3u"}));
  EXPECT_EQ(Playlist(".m3u"), Crlf({"#EXTM3U", "#EXTINF:-1,|" + Dots(121), "|" + Dots(122) + "mp3",
                                    "#EXTINF:-1,|......All" + Dots(100), "|......All" + Dots(101) + "mp3"}));

  // Every playlist first, then every script, each named in the item line;
  // the top-level playlist is written again, so it is replaced, not removed.
  std::vector<std::string> removed = progress.log;
  const auto firstScript = std::find_if(removed.begin(), removed.end(),
                                        [](const std::string& line) { return line.find(".js") != std::string::npos ||
                                                                             line.find(".JS") != std::string::npos; });
  ASSERT_EQ(firstScript - removed.begin(), 3);
  std::sort(removed.begin(), firstScript);
  std::sort(firstScript, removed.end());
  EXPECT_EQ(removed, (std::vector<std::string>{
                         "item:Removing playlist \"Mixed.M3u\"",
                         "item:Removing playlist \"OLD2.M3U\"", "item:Removing playlist \"old.m3u\"",
                         "item:Removing playlist \".js\"", "item:Removing playlist \"Y.JS\"",
                         "item:Removing playlist \"x.js\""}));
}

struct FailureCase {
  const char* what;
  const char* blocker;  // a directory in the playlist folder where a playlist belongs
  std::vector<std::string> messages;
  std::vector<std::string> written;
};

TEST_F(PlaylistsTest, EachFailureIsReportedAndTheWriterGoesOn) {
  const FailureCase cases[] = {
      {"album", "beatles_abbeyroad.m3u",
       {"Error writing playlist for the album named \"Abbey Road\""},
       {".m3u", "abba.m3u", "abba_gold.m3u", "beatles.m3u", "beatles_help.m3u"}},
      {"artist", "beatles.m3u",
       {"Error writing playlist for artist \"The Beatles\""},
       {".m3u", "abba.m3u", "abba_gold.m3u", "beatles_abbeyroad.m3u", "beatles_help.m3u"}},
      {"top level", ".m3u",
       {"Error writing top-level playlist"},
       {"abba.m3u", "abba_gold.m3u", "beatles.m3u", "beatles_abbeyroad.m3u", "beatles_help.m3u"}},
  };
  AddTrack(AddAlbum("beatles", "The Beatles", "abbeyroad", "Abbey Road"), "1.mp3", "1", "T", 1);
  AddTrack(AddAlbum("beatles", "The Beatles", "help", "Help!"), "2.mp3", "1", "T", 1);
  AddTrack(AddAlbum("abba", "ABBA", "gold", "Gold"), "3.mp3", "1", "T", 1);
  for (const FailureCase& c : cases) {
    testing::RemoveTree(dir / "playlists");
    MakeDirectories(folder + c.blocker);
    prompter.shown.clear();
    Write();
    ASSERT_EQ(Messages(), c.messages) << c.what;
    EXPECT_EQ(prompter.shown[0].caption, "Error");
    EXPECT_EQ(prompter.shown[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(prompter.shown[0].icon, MessageIcon::Error);
    std::vector<std::string> names = ListNames(folder);
    names.erase(std::find(names.begin(), names.end(), c.blocker));
    EXPECT_EQ(names, c.written) << c.what;
  }
}

TEST_F(PlaylistsTest, AFolderThatCannotBeMadeStopsBeforeAnythingIsTouched) {
  AddTrack(AddAlbum("a", "A", "b", "B"), "1.mp3", "1", "T", 1);
  auto expectStopped = [&](const char* what) {
    EXPECT_EQ(Messages(), (std::vector<std::string>{"Couldn't create playlist directory"})) << what;
    ASSERT_EQ(prompter.shown.size(), 1u) << what;
    EXPECT_EQ(prompter.shown[0].icon, MessageIcon::Error) << what;
    EXPECT_EQ(prompter.shown[0].caption, "Error") << what;
    EXPECT_TRUE(progress.log.empty()) << what;
  };

  // A plain file where the folder belongs would otherwise fail every
  // playlist with a message of its own.
  WriteFile(dir / "playlists", "not a folder");
  Write();
  expectStopped("plain file");
  EXPECT_EQ(ReadFile(dir / "playlists"), "not a folder");

  prompter.shown.clear();
  settings.location.Set(dir / "missing/parent/");
  Write();
  expectStopped("missing parent");
  EXPECT_FALSE(FileExists(dir / "missing"));
}

}  // namespace
}  // namespace auralith

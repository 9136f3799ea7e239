#include "builder/library_data.h"

#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/path.h"
#include "settings/memory_registry_store.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using testing::Crlf;
using testing::FileExists;
using testing::MakeDirectories;
using testing::Native;
using testing::ReadFile;
using testing::RecordingProgress;
using testing::ScriptedPrompter;
using testing::TempDir;

std::vector<std::string> SplitCrlf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

class LibraryDataTest : public ::testing::Test {
 protected:
  LibraryDataTest() {
    settings.location.Set(dir.path());
    settings._4_outformat.Set("%3. %4");
  }

  ArtistEntry& AddArtist(const std::string& key, const std::string& name) {
    artists.push_back(std::make_unique<ArtistEntry>());
    artists.back()->key = key;
    artists.back()->name = name;
    return *artists.back();
  }

  AlbumEntry& AddAlbum(ArtistEntry& artist, const std::string& key, const std::string& name) {
    artist.albums.push_back(std::make_unique<AlbumEntry>());
    artist.albums.back()->key = key;
    artist.albums.back()->name = name;
    return *artist.albums.back();
  }

  AFileInfo& AddTrack(AlbumEntry& album, const std::string& track, const std::string& title) {
    AFileInfo& record = records.emplace_back();
    record.path = Native("x/" + title + ".mp3");
    record.track = track;
    record.title = title;
    album.tracks.push_back(&record);
    return record;
  }

  // The playlist folder as the page gets it.
  std::string Base() const {
    std::string base = dir.path() + "playlists" + kPathSeparator;
    for (char& c : base)
      if (c == '\\') c = '/';
    return base;
  }

  std::string Write() {
    WriteLibraryData(artists, settings, prompter, progress);
    return ReadFile(dir / "Auralith.data");
  }

  TempDir dir;
  MemoryRegistryStore store;
  Settings settings{store};
  ScriptedPrompter prompter;
  RecordingProgress progress;
  std::deque<AFileInfo> records;
  Library artists;
};

TEST_F(LibraryDataTest, EmptyAndOneTrackLibrariesByteForByte) {
  EXPECT_EQ(Write(), "var base = \"" + Base() + "\";\r\n\r\n");
  EXPECT_TRUE(progress.log.empty());

  AddTrack(AddAlbum(AddArtist("beatles", "The Beatles"), "abbeyroad", "Abbey Road"), "01", "Come Together");
  EXPECT_EQ(Write(), Crlf({
                         "var base = \"" + Base() + "\";",
                         "",
                         "",
                         "",
                         "artist_list[0]            = new Array(\"The Beatles\",\"beatles.m3u\");",
                         "album_list[0]             = new Array();",
                         "track_list[0]             = new Array();",
                         "",
                         "album_list[0][0]          = new Array(\"Abbey Road\",\"beatles_abbeyroad.m3u\");",
                         "track_list[0][0]          = new Array();",
                         "track_list[0][0][0]       = \"01. Come Together\";",
                     }));
  EXPECT_TRUE(prompter.shown.empty());
  EXPECT_EQ(progress.log, (std::vector<std::string>{"stepit"}));
}

// The "=" stands in one column while indices have at most three digits; a
// fourth digit pushes it one to the right.
TEST_F(LibraryDataTest, AlignmentKeepsTheEqualsColumnUpToThreeDigits) {
  for (int i = 0; i < 106; ++i) {
    ArtistEntry& artist = AddArtist("a" + std::to_string(i), "A");
    const int albums = i == 0 ? 12 : 1;
    for (int j = 0; j < albums; ++j) {
      AlbumEntry& album = AddAlbum(artist, "b", "B");
      const int tracks = i == 0 && j == 0 ? 1001 : 1;
      for (int k = 0; k < tracks; ++k) AddTrack(album, "", "t");
    }
  }
  const std::vector<std::string> lines = SplitCrlf(Write());
  std::size_t assignments = 0;
  for (const std::string& line : lines) {
    if (line.empty() || line.rfind("var ", 0) == 0) continue;
    ++assignments;
    const bool fourDigits = line.rfind("track_list[0][0][1000]", 0) == 0;
    EXPECT_EQ(line.find('='), fourDigits ? 27u : 26u) << line;
  }
  EXPECT_EQ(assignments, 106u * 3 + 117 * 2 + 1001 + 11 + 105);

  const std::string expected[] = {
      "artist_list[10]           = new Array(\"A\",\"a10.m3u\");",
      "artist_list[100]          = new Array(\"A\",\"a100.m3u\");",
      "album_list[100]           = new Array();",
      "album_list[0][10]         = new Array(\"B\",\"a0_b.m3u\");",
      "track_list[0][11]         = new Array();",
      "track_list[0][0][9]       = \". t\";",
      "track_list[0][0][10]      = \". t\";",
      "track_list[0][0][100]     = \". t\";",
      "track_list[0][0][1000]     = \". t\";",
      "track_list[105][0][0]     = \". t\";",
  };
  for (const std::string& line : expected)
    EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
  EXPECT_EQ(progress.log.size(), 106u);
}

// Names and track texts are escaped differently: a name may hold "'", a track
// text may not; an empty artist is named before the clean-up, an album after.
struct EscapeCase {
  const char* name;  // the artist's and the album's
  const char* title;
  const char* artistText;
  const char* albumText;
  const char* titleText;
};

TEST_F(LibraryDataTest, NamesAndTrackTextsAreEscaped) {
  const EscapeCase cases[] = {
      {"", "", "Unknown", "Unknown", ""},
      {"\a\f", "Tab\tBell\aFeed\f", "", "Unknown", "Tab\tBell\aFeed\f"},
      {"Beat\r\nles\a", "Line\nFeed\rReturn", "Beatles", "Beatles", "Line\\nFeed\\rReturn"},
      {"Say \"Hi\"", "Say \"Hi\"", "Say \\\"Hi\\\"", "Say \\\"Hi\\\"", "Say \\\"Hi\\\""},
      {"AC\\DC", "AC\\DC", "AC\\\\DC", "AC\\\\DC", "AC\\\\DC"},
      {"It's", "Don't", "It's", "It's", "Don\\'t"},
      {"A\xE2\x80\xA8" "B", "A\xE2\x80\xA9" "B", "A\\u2028B", "A\\u2028B", "A\\u2029B"},
      // The removed break leaves a separator behind, which must not stay raw.
      {"A\xE2\x80\n\xA8" "B", "x", "A\\u2028B", "A\\u2028B", "x"},
      {"Caf\xC3\xA9", "Cut \xE2\x80", "Caf\xC3\xA9", "Caf\xC3\xA9", "Cut \xE2\x80"},
  };
  settings._4_outformat.Set("%4");
  for (const EscapeCase& c : cases) {
    artists.clear();
    AddTrack(AddAlbum(AddArtist("k", c.name), "_", c.name), "1", c.title);
    const std::string text = Write();
    for (const std::string& line : {"= new Array(\"" + std::string(c.artistText) + "\",\"k.m3u\");\r\n",
                                    "= new Array(\"" + std::string(c.albumText) + "\",\"k__.m3u\");\r\n",
                                    "= \"" + std::string(c.titleText) + "\";\r\n"})
      EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  // Fields are replaced in turn, so a field may bring in another; no format
  // names the file.
  for (const auto& [format, text] : {std::pair{"%1", "t Band"}, {"", "t.mp3"}}) {
    artists.clear();
    settings._4_outformat.Set(format);
    AddTrack(AddAlbum(AddArtist("a", "A"), "b", "B"), "1", "t").artist = "%4 Band";
    EXPECT_NE(Write().find(std::string("= \"") + text + "\";\r\n"), std::string::npos) << format;
  }
}

TEST_F(LibraryDataTest, AFileThatCannotBeWrittenIsReported) {
  AddAlbum(AddArtist("a", "A"), "b", "B");
  MakeDirectories(dir / "Auralith.data");
  WriteLibraryData(artists, settings, prompter, progress);
  settings.location.Set(dir / "missing/");
  WriteLibraryData(artists, settings, prompter, progress);
  const auto box = testing::ShownTexts(prompter);
  EXPECT_EQ(box, (std::vector<std::string>{"Error writing data file", "Error writing data file"}));
  EXPECT_EQ(prompter.shown[1].caption, "Error");
  EXPECT_EQ(prompter.shown[1].icon, MessageIcon::Error);
  EXPECT_EQ(prompter.shown[1].buttons, MessageButtons::Ok);
  EXPECT_FALSE(FileExists(dir / "missing"));
}

}  // namespace
}  // namespace auralith

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/code_page.h"
#include "builder/file_info.h"
#include "settings/memory_registry_store.h"
#include "settings/settings.h"
#include "support/audio_fixtures.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using testing::MakeGarbage;
using testing::MakeMp3;
using testing::MakeOgg;
using testing::MakeWav;
using testing::MpegVersion;
using testing::TagKind;
using testing::TagSpec;

const char* const kAlert = "\"\n\nDo you want to be alerted if this type of error occurs again?";

TEST(StripLeadingNumbers, DigitsThenSeparatorsGoOncePerPass) {
  const std::pair<const char*, const char*> cases[] = {
      {"01 - Intro", "Intro"},   {"1999_-_Live", "Live"},  {"01 - 02 Tracks", "02 Tracks"}, {"12 -\t_ ", ""},
      {"2024", ""},              {"Intro", "Intro"},       {"-01 Intro", "01 Intro"},      {"01Intro", "Intro"},
      {" 01 Intro", "01 Intro"}, {"", ""},                 {"\xE2\x91\xA0 One", "\xE2\x91\xA0 One"},
  };
  for (const auto& [name, stripped] : cases) EXPECT_EQ(StripLeadingNumbers(name), stripped) << name;
}

// Artist, album, title and track.
using Texts = std::array<std::string, 4>;

std::string Mp3(std::vector<TagSpec> tags) { return MakeMp3({.seconds = 2.0, .tags = std::move(tags)}); }

class FileInfoTest : public ::testing::Test {
 protected:
  FileInfoTest() {
    settings._4_music.Set(root.path());
    settings._4_id3.Set(1);
  }

  // Writes `bytes` as `relative` below the root (unless null) and reads it
  // into a record that the folders and pattern already filled as `start`.
  AFileInfo Read(const std::string& relative, const std::string* bytes, const Texts& start = {}) {
    if (bytes != nullptr) testing::WriteFile(root / relative, *bytes);
    AFileInfo record;
    record.path = testing::Native(relative);
    record.artist = start[0];
    record.album = start[1];
    record.title = start[2];
    record.track = start[3];
    ReadFileInfo(record, settings, prompter);
    return record;
  }

  testing::TempDir root;
  MemoryRegistryStore store;
  Settings settings{store};
  testing::ScriptedPrompter prompter;
};

// Tag text arrives in the process's code page; the expected texts are UTF-8.
TEST_F(FileInfoTest, TagsFillOrReplaceWhatFoldersAndPatternGave) {
  const struct {
    const char* name;
    const char* path;
    std::string bytes;
    Texts expected;
    bool id3 = true;
    Texts start{};
  } cases[] = {
      {"id3v1", "Song.mp3", Mp3({{.kind = TagKind::Id3v1, .artist = "Low", .album = "Secret Name", .title = "Starfire", .track = "7"}}),
       {"Low", "Secret Name", "Starfire", "7"}},
      {"v2.3 latin-1", "Song.mp3", Mp3({{.kind = TagKind::Id3v23Latin1, .artist = "Björk", .album = "Homogénic", .title = "Jóga", .track = "5/12"}}),
       {"Björk", "Homogénic", "Jóga", "5/12"}},
      {"v2.3 utf-16", "Song.mp3", Mp3({{.kind = TagKind::Id3v23Utf16, .artist = "坂本龍一", .album = "音楽図鑑", .title = "Tibetan Dance"}}),
       {"坂本龍一", "音楽図鑑", "Tibetan Dance", ""}},
      {"v2.4 first, v1 for the rest",
       "Song.mp3", Mp3({{.artist = "Sigur Rós", .title = "Svefn-g-englar"},
                        {.kind = TagKind::Id3v1, .artist = "V1", .album = "V1 Album", .title = "V1", .track = "9"}}),
       {"Sigur Rós", "V1 Album", "Svefn-g-englar", "9"}},
      // The lead artist, else the band, the conductor, the composer.
      {"lead artist before band", "Song.mp3", Mp3({{.artist = "Lead", .band = "Band"}}), {"Lead", "", "Song", ""}},
      {"v2 band before v1 artist", "Song.mp3", Mp3({{.band = "Band"}, {.kind = TagKind::Id3v1, .artist = "V1"}}),
       {"Band", "", "Song", ""}},
      {"conductor next", "Song.mp3", Mp3({{.conductor = "Karajan", .composer = "Beethoven"}}), {"Karajan", "", "Song", ""}},
      {"composer last", "Song.mp3", Mp3({{.kind = TagKind::Id3v23Utf16, .composer = "Satie"}}), {"Satie", "", "Song", ""}},
      // Ogg comments: names in any case, the first value wins.
      {"ogg", "a.OGG", MakeOgg(1.0, {{"artist", "Sigur Rós"}, {"Album", "()"}, {"tItLe", "Untitled"}, {"TrackNumber", "1/10"}}),
       {"Sigur Rós", "()", "Untitled", "1/10"}},
      {"ogg repeated field", "c.ogg", MakeOgg(1.0, {{"ARTIST", "First"}, {"ARTIST", "Second"}, {"TITLE", ""}}),
       {"First", "", "c", ""}},
      // Artist and album only fill what is empty; track and title win.
      {"mp3 over the pattern", "Song.mp3", Mp3({{.artist = "B", .album = "Y", .title = "T", .track = "5/12"}}),
       {"A", "X", "T", "5/12"}, true, {"A", "X", "P", "05"}},
      {"ogg over the pattern", "Song.ogg", MakeOgg(1.0, {{"ARTIST", "B"}, {"ALBUM", "Y"}}), {"A", "Y", "P", "05"}, true,
       {"A", "", "P", "05"}},
      {"tags off", "05 - Song.mp3", Mp3({{.artist = "B", .title = "T", .track = "9"}}), {"", "", "05 - Song", "05"},
       false, {"", "", "", "05"}},
      {"tags off, ogg", "07 Song.ogg", MakeOgg(1.0, {{"TITLE", "Tag"}}), {"", "", "07 Song", ""}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    settings._4_id3.Set(c.id3 ? 1 : 0);
    const AFileInfo record = Read(c.path, &c.bytes, c.start);
    const Texts& e = c.expected;
    EXPECT_EQ((Texts{record.artist, record.album, record.title, record.track}),
              (Texts{Utf8ToAnsi(e[0]), Utf8ToAnsi(e[1]), Utf8ToAnsi(e[2]), e[3]}));
    EXPECT_GE(record.length, 1);
  }
  EXPECT_TRUE(prompter.shown.empty());
}

// Whole seconds, truncated; -1 where a WAV or Ogg file tells nothing, which
// raises no alert.
TEST_F(FileInfoTest, PlayingTime) {
  auto wav = [](std::uint32_t chunkSize, std::uint32_t bytesPerSecond) {
    std::string bytes = MakeWav(0.01);
    testing::PutLe32(bytes, 4, chunkSize);
    testing::PutLe32(bytes, 28, bytesPerSecond);
    return bytes;
  };
  std::string foreignLetters = MakeWav(2.0);
  for (std::size_t i : {1, 2, 3, 9, 10, 11, 13, 14, 15}) foreignLetters[i] = 'x';
  std::string wrongTag = MakeWav(2.0);
  wrongTag[8] = 'X';
  const std::string ogg = MakeOgg(60.0);
  const TagSpec v24{.artist = "A", .title = "T"};
  const TagSpec v1{.kind = TagKind::Id3v1, .artist = "A"};
  const struct {
    const char* name;
    const char* path;
    std::string bytes;
    int length;
  } cases[] = {
      {"mpeg-1 cbr, 2.9 s", "a.mp3", MakeMp3({.seconds = 2.9}), 2},
      {"mpeg-2 vbr", "a.mp3", MakeMp3({.version = MpegVersion::Mpeg2, .seconds = 30.3, .kbps = {32, 64, 160, 8, 24}, .xing = true}), 30},
      {"vbr between tags", "a.MP3", MakeMp3({.seconds = 61.5, .kbps = {96, 256, 128}, .xing = true, .tags = {v24, v1}}), 61},
      {"under a second", "a.mp3", MakeMp3({.seconds = 0.1}), 0},
      {"ogg", "a.ogg", MakeOgg(2.5), 2},
      {"wav", "Upper.WAV", MakeWav(1.0), 1},
      {"176,428 / 176,400", "x.wav", wav(176428, 176400), 1},
      {"no byte rate divides by one", "x.wav", wav(100, 0), 72},
      {"only the first letters are tested", "x.wav", foreignLetters, 2},
      {"wrong chunk tag", "x.wav", wrongTag, -1},
      {"short header", "x.wav", MakeWav(1.0).substr(0, 35), -1},
      {"chunk smaller than the header", "x.wav", wav(27, 176400), -1},
      {"more seconds than a record holds", "x.wav", wav(0xFFFFFFFFu, 1), -1},
      {"ogg named wav", "e.wav", ogg, -1},
      {"text as ogg", "b.ogg", MakeGarbage(5000), -1},
      {"mp3 named ogg", "d.ogg", MakeMp3({.seconds = 2.0}), -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Read(c.path, &c.bytes).length, c.length);
  }
  // The time of an Ogg stream cut short is that of its last whole page.
  const std::string cut = ogg.substr(0, ogg.size() / 2);
  EXPECT_NEAR(Read("f.ogg", &cut).length, 30, 10);
  EXPECT_EQ(Read("missing.ogg", nullptr).length, -1);
  EXPECT_EQ(Read("missing.wav", nullptr).length, -1);
  EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(FileInfoTest, UntitledTracksAreNamedAfterTheirFile) {
  const struct {
    const char* path;
    bool prefix;
    const char* given;
    const char* title;
  } cases[] = {
      {"Artist/Album/01 - Intro.flac", true, "", "Intro"},
      {"Artist/Album/01 - Intro.flac", false, "", "01 - Intro"},
      {"a.b.c.flac", false, "", "a.b.c"},
      {"Dir.v2/NoDot", false, "", "NoDot"},
      {"01.flac", true, "", ""},
      {"Album/02 Given.flac", true, "From Pattern", "From Pattern"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    settings._4_prefix.Set(c.prefix ? 1 : 0);
    // No file is written: an ending that is not read must not be opened.
    const AFileInfo record = Read(c.path, nullptr, {"", "", c.given, ""});
    EXPECT_EQ(record.title, c.title);
    EXPECT_EQ(record.length, -1);
  }
  EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(FileInfoTest, Mp3WithoutMpegAudioIsAReadingErrorAndKeepsItsTagTexts) {
  std::string hugeId3 = "ID3\x04";
  hugeId3 += std::string("\0\0\x7f\x7f\x7f\x7f", 6) + MakeGarbage(300);
  const std::string tagOnly = testing::MakeId3Tag({.artist = "Tagged", .title = "Only a tag"});
  const std::string garbage = MakeGarbage(20000);
  const std::string oneFrame = MakeMp3({.seconds = 0.02});
  const struct {
    const char* name;
    const std::string* bytes;  // null: no such file
    const char* artist;
    const char* title;
  } cases[] = {
      {"garbage", &garbage, "", "x"},
      {"id3 tag without frames", &tagOnly, "Tagged", "Only a tag"},
      {"missing file", nullptr, "", "x"},
      {"tag size past the end", &hugeId3, "", "x"},
      {"one frame with nothing after it", &oneFrame, "", "x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    prompter.shown.clear();
    const AFileInfo record = Read("d/x.mp3", c.bytes);
    EXPECT_EQ(record.length, -1);
    EXPECT_EQ(record.artist, c.artist);
    EXPECT_EQ(record.title, c.title);
    EXPECT_EQ(testing::ShownTexts(prompter),
              std::vector<std::string>{"Error reading information from file \"" + testing::Native("d/x.mp3") + kAlert});
    testing::RemoveTree(root / "d");
  }
  EXPECT_EQ(prompter.shown[0].caption, "Error");
  EXPECT_EQ(prompter.shown[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(prompter.shown[0].icon, MessageIcon::Error);
}

TEST_F(FileInfoTest, AnsweringNoSwitchesTheAlertOffForGood) {
  const std::string garbage = MakeGarbage(1000);
  settings._4_ignorefileinfo.Write();  // 0, cached
  prompter.Answer(MessageAnswer::Yes);
  prompter.Answer(MessageAnswer::No);
  Read("one.mp3", &garbage);
  EXPECT_EQ(settings._4_ignorefileinfo.Read(), 0u) << "Yes asks for more alerts";
  Read("two.mp3", &garbage);
  EXPECT_EQ(settings._4_ignorefileinfo.Read(), 1u);
  const AFileInfo later = Read("three.mp3", &garbage);
  EXPECT_EQ(prompter.shown.size(), 2u);
  EXPECT_EQ(later.length, -1);
  EXPECT_EQ(later.title, "three");

  // Switched off meanwhile by another run, after this one cached 0.
  settings._4_ignorefileinfo.Set(0);
  Settings other(store);
  other._4_ignorefileinfo.Set(1);
  Read("four.mp3", &garbage);
  EXPECT_EQ(prompter.shown.size(), 2u);
}

// The record holds the name in the process's code page, and the file is
// opened by it; a page without these letters cannot name the file at all.
TEST_F(FileInfoTest, NonAsciiFileNamesOpen) {
  const std::pair<const char*, std::string> cases[] = {
      {"坂本龍一/音楽図鑑/Tibetan Dance.mp3", MakeMp3({.seconds = 3.0})},
      {"Café Tacvba/Ré/Élévé.ogg", MakeOgg(3.0)},
      {"Ñandú/Canción.wav", MakeWav(3.0)},
  };
  for (const auto& [path, bytes] : cases) {
    SCOPED_TRACE(path);
    const std::string ansi = Utf8ToAnsi(path);
    if (ansi.find('?') != std::string::npos) continue;
    testing::WriteFile(root / path, bytes);
    EXPECT_EQ(Read(ansi, nullptr).length, 3);
  }
  EXPECT_TRUE(prompter.shown.empty());
}

}  // namespace
}  // namespace auralith

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
using testing::MakeId3Tag;
using testing::MakeMp3;
using testing::Mp3Spec;
using testing::MpegVersion;
using testing::TagKind;
using testing::TagSpec;

// The texts the folders and the file-name pattern may have left in a record.
struct Texts {
  std::string artist{};
  std::string album{};
  std::string title{};
  std::string track{};
};

class Mp3InfoTest : public ::testing::Test {
 protected:
  Mp3InfoTest() {
    settings._4_music.Set(root.path());
    settings._4_id3.Set(1);
  }

  // Writes `bytes` as `relative` below the root (unless null) and reads it
  // into a record that the folders and pattern already filled as `start`.
  AFileInfo Read(const std::string& relative, const std::string* bytes, const Texts& start = {}) {
    if (bytes != nullptr) testing::WriteFile(root / relative, *bytes);
    AFileInfo record;
    record.path = testing::Native(relative);
    record.artist = start.artist;
    record.album = start.album;
    record.title = start.title;
    record.track = start.track;
    ReadFileInfo(record, settings, prompter);
    return record;
  }

  testing::TempDir root;
  MemoryRegistryStore store;
  Settings settings{store};
  testing::ScriptedPrompter prompter;
};

// ---------------------------------------------------------------- tag texts

struct TagCase {
  const char* name;
  std::vector<TagSpec> tags;
  const char* artist;
  const char* album;
  const char* title;
  const char* track;
};

TEST_F(Mp3InfoTest, ReadsEveryTagKindWithTheClassicFieldMeanings) {
  const TagCase cases[] = {
      {"id3v1 only", {{.kind = TagKind::Id3v1, .artist = "Low", .album = "Secret Name", .title = "Starfire", .track = "7"}},
       "Low", "Secret Name", "Starfire", "7"},
      {"id3v1 track 0 is none", {{.kind = TagKind::Id3v1, .title = "Untracked"}}, "", "", "Untracked", ""},
      {"v2.3 latin-1", {{.kind = TagKind::Id3v23Latin1, .artist = "Björk", .album = "Homogénic", .title = "Jóga", .track = "3"}},
       "Björk", "Homogénic", "Jóga", "3"},
      {"v2.3 utf-16", {{.kind = TagKind::Id3v23Utf16, .artist = "坂本龍一", .album = "音楽図鑑", .title = "Tibetan Dance", .track = "1"}},
       "坂本龍一", "音楽図鑑", "Tibetan Dance", "1"},
      {"v2.4 utf-8", {{.artist = "Sigur Rós", .album = "Ágætis byrjun", .title = "Svefn-g-englar", .track = "4/10"}},
       "Sigur Rós", "Ágætis byrjun", "Svefn-g-englar", "4/10"},
      {"trck kept raw", {{.kind = TagKind::Id3v23Latin1, .title = "Song", .track = "5/12"}}, "", "", "Song", "5/12"},
      {"v2.4 first, v1 for the rest",
       {{.artist = "V2 Artist", .title = "V2 Title"},
        {.kind = TagKind::Id3v1, .artist = "V1 Artist", .album = "V1 Album", .title = "V1 Title", .track = "9"}},
       "V2 Artist", "V1 Album", "V2 Title", "9"},
      {"band when no lead artist", {{.album = "A", .band = "The Band"}}, "The Band", "A", "", ""},
      {"conductor next", {{.conductor = "Karajan", .composer = "Beethoven"}}, "Karajan", "", "", ""},
      {"composer last", {{.kind = TagKind::Id3v23Utf16, .composer = "Satie"}}, "Satie", "", "", ""},
      {"lead artist before band", {{.artist = "Lead", .band = "Band"}}, "Lead", "", "", ""},
      {"v2 band before v1 artist",
       {{.band = "Band"}, {.kind = TagKind::Id3v1, .artist = "V1"}}, "Band", "", "", ""},
  };
  for (const TagCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bytes = MakeMp3({.seconds = 2.0, .tags = c.tags});
    const AFileInfo record = Read("Song.mp3", &bytes);
    // Tag text arrives in the process's code page.
    EXPECT_EQ(record.artist, Utf8ToAnsi(c.artist));
    EXPECT_EQ(record.album, Utf8ToAnsi(c.album));
    EXPECT_EQ(record.title, *c.title ? Utf8ToAnsi(c.title) : "Song");
    EXPECT_EQ(record.track, c.track);
    EXPECT_EQ(record.length, 2);
  }
  EXPECT_TRUE(prompter.shown.empty());
}

// ---------------------------------------------------------------- precedence

struct PrecedenceCase {
  const char* name;
  bool id3;
  Texts start;
  TagSpec tag;
  Texts expected;
};

TEST_F(Mp3InfoTest, TagsFillOrReplaceWhatFoldersAndPatternGave) {
  const PrecedenceCase cases[] = {
      {"tag track replaces the pattern's", true, {.track = "05"}, {.title = "T", .track = "5/12"}, {.title = "T", .track = "5/12"}},
      {"artist and album from the pattern stay", true, {.artist = "A", .album = "X"}, {.artist = "B", .album = "Y", .title = "T"},
       {.artist = "A", .album = "X", .title = "T"}},
      {"empty fields are filled", true, {.title = "Pattern"}, {.artist = "B", .album = "Y"},
       {.artist = "B", .album = "Y", .title = "Pattern"}},
      {"tags off: no text, file name title", false, {.track = "05"}, {.artist = "B", .title = "T", .track = "9"},
       {.title = "05 - Song", .track = "05"}},
  };
  for (const PrecedenceCase& c : cases) {
    SCOPED_TRACE(c.name);
    settings._4_id3.Set(c.id3 ? 1 : 0);
    const std::string bytes = MakeMp3({.seconds = 3.0, .tags = {c.tag}});
    const AFileInfo record = Read("05 - Song.mp3", &bytes, c.start);
    EXPECT_EQ(record.artist, c.expected.artist);
    EXPECT_EQ(record.album, c.expected.album);
    EXPECT_EQ(record.title, c.expected.title);
    EXPECT_EQ(record.track, c.expected.track);
    EXPECT_EQ(record.length, 3) << "the length is read whatever 4_id3 says";
  }
}

// ---------------------------------------------------------------- lengths

struct LengthCase {
  const char* name;
  Mp3Spec shape;
  int seconds;
};

TEST_F(Mp3InfoTest, PlayingTimeIsExactAndTruncated) {
  const TagSpec v24{.artist = "A", .title = "T"};
  const TagSpec v1{.kind = TagKind::Id3v1, .artist = "A"};
  const LengthCase cases[] = {
      {"mpeg-1 cbr, 2.9 s truncates", {.seconds = 2.9}, 2},
      {"mpeg-1 cbr 320", {.seconds = 10.0, .kbps = {320}}, 10},
      {"mpeg-2 cbr", {.version = MpegVersion::Mpeg2, .seconds = 30.3, .kbps = {64}}, 30},
      {"mpeg-2 vbr with xing", {.version = MpegVersion::Mpeg2, .seconds = 30.3, .kbps = {32, 64, 160, 8, 24}, .xing = true}, 30},
      {"mpeg-1 vbr with xing", {.seconds = 7.99, .kbps = {32, 320, 128, 64}, .xing = true}, 7},
      {"vbr between tags", {.seconds = 61.5, .kbps = {96, 256, 128}, .xing = true, .tags = {v24, v1}}, 61},
      {"under a second", {.seconds = 0.1}, 0},
  };
  for (const LengthCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bytes = MakeMp3(c.shape);
    EXPECT_EQ(Read("a.mp3", &bytes).length, c.seconds);
  }
  EXPECT_TRUE(prompter.shown.empty());
}

// ---------------------------------------------------------------- damage

TEST_F(Mp3InfoTest, FilesWithoutMpegAudioAreReadingErrorsAndKeepTheirTagTexts) {
  std::string hugeId3 = "ID3\x04";
  hugeId3 += std::string("\0\0\x7f\x7f\x7f\x7f", 6);
  hugeId3 += MakeGarbage(300);
  const std::string tagOnly = MakeId3Tag({.artist = "Tagged", .title = "Only a tag"});
  const std::string garbage = MakeGarbage(20000);
  const std::string empty;
  const std::string oneFrame = MakeMp3({.seconds = 0.02});
  const struct {
    const char* name;
    const std::string* bytes;  // null: no such file
    const char* artist;
    const char* title;
  } cases[] = {
      {"garbage", &garbage, "", "x"},
      {"id3 tag without frames", &tagOnly, "Tagged", "Only a tag"},
      {"empty file", &empty, "", "x"},
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
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "Error reading information from file \"" + testing::Native("d/x.mp3") +
                                          "\"\n\nDo you want to be alerted if this type of error occurs again?");
    EXPECT_EQ(prompter.shown[0].caption, "Error");
    EXPECT_EQ(prompter.shown[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(prompter.shown[0].icon, MessageIcon::Error);
    testing::RemoveTree(root / "d");
  }
}

}  // namespace
}  // namespace auralith

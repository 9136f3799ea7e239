// What a track's record gets from its folders, its file name and its tags.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "base/code_page.h"
#include "builder/file_info.h"
#include "builder/patterns.h"
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
using testing::Native;
using testing::TagKind;

const char* const kAlert = "\"\n\nDo you want to be alerted if this type of error occurs again?";

TEST(StripLeadingNumbers, DigitsThenSeparatorsGoOncePerPass) {
  const std::pair<const char*, const char*> cases[] = {
      {"01 - Intro", "Intro"},   {"1999_-_Live", "Live"},  {"01 - 02 Tracks", "02 Tracks"}, {"12 -\t_ ", ""},
      {"2024", ""},              {"Intro", "Intro"},       {"-01 Intro", "01 Intro"},      {"01Intro", "Intro"},
      {" 01 Intro", "01 Intro"}, {"", ""},                 {"\xE2\x91\xA0 One", "\xE2\x91\xA0 One"},
  };
  for (const auto& [name, stripped] : cases) EXPECT_EQ(StripLeadingNumbers(name), stripped) << name;
}

// Artist, album, track, title: the fields of %1 to %4.
using Values = std::array<std::string, 4>;
// Artist, album, title and track, in the order of a record.
using Texts = std::array<std::string, 4>;

const char* const kCrows = "Rock/Counting Crows - Across A Wire - 05 - Mr. Jones.mp3";

// Path ('/' stands for the platform's separator), pattern, values.
TEST(MatchPattern, Table) {
  const std::tuple<const char*, const char*, std::optional<Values>> cases[] = {
      {kCrows, "%1 - %2 - %3 - %4", Values{"Counting Crows", "Across A Wire", "05", "Mr. Jones"}},
      // A name that does not fit, or a token that matched nothing.
      {"Artist.mp3", "%1 - %2", std::nullopt},
      {"A X B.mp3", "%1 x %4", std::nullopt},
      {" - Title.mp3", "%3 - %4", std::nullopt},
      {"Whole Name.mp3", "%4%1", Values{"Whole Name", "", "", "Whole Name"}},
      {"A_B.mp3", "%x_%4", Values{"", "", "", "B"}},
      {"A - B.mp3", "%1 - %4%", Values{"A", "", "", "B"}},
      {"05 - Title.mp3", "- %4", Values{"", "", "", "Title"}},
      // The first occurrence of the literal after a token ends it.
      {"A - B - C.mp3", "%1 - %2", Values{"A", "B - C", "", ""}},
      {"A_x - B_C.mp3", "%1 - %2_%4", Values{"A_x", "B", "", "C"}},
      {"A - B.mp3", "%1-%4", Values{"A ", "", "", " B"}},
  };
  for (const auto& [path, pattern, expected] : cases)
    EXPECT_EQ(MatchPattern(Native(path), pattern), expected) << path << " ~ " << pattern;
  // An empty value does not stop the tokens after it.
  EXPECT_EQ(ExtractToken(" - Title.mp3", "%3 - %4", '4'), "Title");
}

std::string Mp3(std::vector<testing::TagShape> tags) { return MakeMp3({.seconds = 2.0, .tags = std::move(tags)}); }

class FileInfoTest : public ::testing::Test {
 protected:
  FileInfoTest() {
    settings._4_music.Set(root.path());
    settings._4_id3.Set(1);
  }

  // Writes `bytes` (unless null) and reads them over what folders and pattern gave.
  AFileInfo Read(const std::string& relative, const std::string* bytes, const Texts& start = {}) {
    if (bytes != nullptr) testing::WriteFile(root / relative, *bytes);
    AFileInfo record{Native(relative), start[0], start[1], start[2], start[3]};
    ReadFileInfo(record, settings, prompter);
    return record;
  }

  testing::TempDir root;
  MemoryRegistryStore store;
  Settings settings{store};
  testing::ScriptedPrompter prompter;
};

// Folders, then file name, as a run applies them: 4_organizationnum, 4_format, 4_prefix, path, record before, after.
TEST_F(FileInfoTest, FolderFormatThenFileNamePattern) {
  const std::tuple<std::uint32_t, const char*, bool, const char*, Texts, Texts> cases[] = {
      // Format 2: only a file exactly one folder below the root.
      {2, "", true, "A/c.mp3", {}, {"A", "", "", ""}},
      {2, "", true, "a.mp3", {}, {}},
      {2, "", true, "A/B/c.mp3", {}, {}},
      // Format 3: artist from the first folder, album from the second.
      {3, "", true, "A/01 - B/c.mp3", {}, {"A", "B", "", ""}},
      {3, "", false, "A/01 - B/c.mp3", {}, {"A", "01 - B", "", ""}},
      {3, "", true, "A/1999/CD1/c.mp3", {"Set", "", "", ""}, {"Set", "", "", ""}},
      {3, "", true, "A/B/c.mp3", {"", "Kept", "", ""}, {"A", "Kept", "", ""}},
      {3, "", true, "A//c.mp3", {}, {"A", "", "", ""}},
      {3, "", true, "/A/B/c.mp3", {}, {}},
      {0, "", true, "A/B/c.mp3", {}, {}},
      // The pattern fills only what is empty.
      {0, "%1 - %2 - %3 - %4", true, kCrows, {"Artist", "", "", "1"}, {"Artist", "Across A Wire", "Mr. Jones", "1"}},
      // A pattern album starting with a digit wins, only when leading numbers are ignored.
      {3, "%2 - %4", true, "X/Live/1999 Live - Song.mp3", {}, {"X", "1999 Live", "Song", ""}},
      {3, "%2 - %4", true, "X/Live/Live 1999 - Song.mp3", {}, {"X", "Live", "Song", ""}},
      {3, "%2 - %4", false, "X/Live/1999 Live - Song.mp3", {}, {"X", "Live", "Song", ""}},
      {0, "%1 - %4", true, "1999 Live - Song.mp3", {"", "Live", "", ""}, {"1999 Live", "Live", "Song", ""}},
      // A name that does not fit stores nothing, not even the tokens that did.
      {0, "%3 - %4", true, " - Title.mp3", {}, {}},
  };
  for (const auto& [folders, pattern, prefix, path, before, expected] : cases) {
    settings._4_organizationnum.Set(folders);
    settings._4_format.Set(pattern);
    settings._4_prefix.Set(prefix ? 1 : 0);
    AFileInfo record{Native(path), before[0], before[1], before[2], before[3]};
    ApplyFolderFormat(record, settings);
    ApplyFileNamePattern(record, settings);
    EXPECT_EQ((Texts{record.artist, record.album, record.title, record.track}), expected)
        << path << " " << folders << " " << pattern << " " << prefix;
  }
}

// Tag text arrives in the process's code page; the expected texts are UTF-8.
TEST_F(FileInfoTest, TagsFillOrReplaceWhatFoldersAndPatternGave) {
  const struct {
    const char* name;
    const char* path;
    std::optional<std::string> bytes;  // none: no file; an ending that is not read must not be opened
    Texts expected;
    bool id3 = true;
    Texts start{};
    bool prefix = false;
  } cases[] = {
      {"id3v1", "Song.mp3", Mp3({{.kind = TagKind::Id3v1, .artist = "Low", .album = "Secret Name", .title = "Starfire", .track = "7"}}),
       {"Low", "Secret Name", "Starfire", "7"}},
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
       {"A", "Y", "T", "5/12"}, true, {"A", "", "P", "05"}},
      {"tags off", "05 - Song.mp3", Mp3({{.artist = "B", .title = "T", .track = "9"}}), {"", "", "P", "05"}, false,
       {"", "", "P", "05"}},
      {"tags off, ogg", "07 Song.ogg", MakeOgg(1.0, {{"TITLE", "Tag"}}), {"", "", "07 Song", ""}, false},
      // Untitled tracks are named after their file.
      {"untitled", "Artist/Album/01 - Intro.flac", std::nullopt, {"", "", "Intro", ""}, true, {}, true},
      {"untitled, dots", "a.b.c.flac", std::nullopt, {"", "", "a.b.c", ""}},
      {"untitled, dotted folder", "Dir.v2/NoDot", std::nullopt, {"", "", "NoDot", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    settings._4_id3.Set(c.id3 ? 1 : 0);
    settings._4_prefix.Set(c.prefix ? 1 : 0);
    const AFileInfo record = Read(c.path, c.bytes ? &*c.bytes : nullptr, c.start);
    const Texts& e = c.expected;
    EXPECT_EQ((Texts{record.artist, record.album, record.title, record.track}),
              (Texts{Utf8ToAnsi(e[0]), Utf8ToAnsi(e[1]), Utf8ToAnsi(e[2]), e[3]}));
    EXPECT_EQ(record.length > 0, c.bytes.has_value()) << record.length;
  }
  EXPECT_TRUE(prompter.shown.empty());
}

// Whole seconds, truncated; -1 without an alert where a WAV or Ogg file tells nothing.
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
  const std::tuple<const char*, const char*, std::string, int> cases[] = {
      {"mpeg-1 cbr, 2.9 s", "a.mp3", MakeMp3({.seconds = 2.9}), 2},
      {"mpeg-2 vbr", "a.mp3", MakeMp3({.version = testing::MpegVersion::Mpeg2, .seconds = 30.3, .kbps = {32, 64, 160, 8, 24}, .xing = true}), 30},
      {"vbr between tags", "a.MP3",
       MakeMp3({.seconds = 61.5, .kbps = {96, 256, 128}, .xing = true,
                .tags = {{.artist = "A", .title = "T"}, {.kind = TagKind::Id3v1, .artist = "A"}}}), 61},
      {"no byte rate divides by one", "x.wav", wav(100, 0), 72},
      {"only the first letters are tested", "x.wav", foreignLetters, 2},
      {"wrong chunk tag", "x.wav", wrongTag, -1},
      {"short header", "x.wav", MakeWav(1.0).substr(0, 35), -1},
      {"chunk smaller than the header", "x.wav", wav(27, 176400), -1},
      {"more seconds than a record holds", "x.wav", wav(0xFFFFFFFFu, 1), -1},
      {"text as ogg", "b.ogg", MakeGarbage(5000), -1},
  };
  for (const auto& [name, path, bytes, length] : cases) EXPECT_EQ(Read(path, &bytes).length, length) << name;
  // The time of an Ogg stream cut short is that of its last whole page.
  const std::string cut = ogg.substr(0, ogg.size() / 2);
  EXPECT_NEAR(Read("f.ogg", &cut).length, 30, 10);
  EXPECT_EQ(Read("missing.wav", nullptr).length, -1);
  EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(FileInfoTest, Mp3WithoutMpegAudioIsAReadingErrorAndKeepsItsTagTexts) {
  // The bytes (none: no such file), then the artist and title kept.
  const std::tuple<const char*, std::optional<std::string>, const char*, const char*> cases[] = {
      {"id3 tag without frames", testing::MakeId3Tag({.artist = "Tagged", .title = "Only a tag"}), "Tagged", "Only a tag"},
      {"missing file", std::nullopt, "", "x"},
      {"one frame with nothing after it", MakeMp3({.seconds = 0.02}), "", "x"},
  };
  for (const auto& [name, bytes, artist, title] : cases) {
    SCOPED_TRACE(name);
    prompter.shown.clear();
    const AFileInfo record = Read("d/x.mp3", bytes ? &*bytes : nullptr);
    EXPECT_EQ(std::tuple(record.length, record.artist, record.title), std::tuple(-1, artist, title));
    EXPECT_EQ(testing::ShownTexts(prompter),
              std::vector<std::string>{"Error reading information from file \"" + Native("d/x.mp3") + kAlert});
    testing::RemoveTree(root / "d");
  }
  EXPECT_EQ(prompter.shown[0].buttons, MessageButtons::YesNo);
}

TEST_F(FileInfoTest, AnsweringNoSwitchesTheAlertOffForGood) {
  const std::string garbage = MakeGarbage(1000);
  settings._4_ignorefileinfo.Write();  // 0, cached
  for (MessageAnswer answer : {MessageAnswer::Yes, MessageAnswer::No}) prompter.Answer(answer);
  for (const char* name : {"one.mp3", "two.mp3", "three.mp3"}) Read(name, &garbage);
  EXPECT_EQ(settings._4_ignorefileinfo.Read(), 1u);
  EXPECT_EQ(prompter.shown.size(), 2u);

  // Switched off meanwhile by another run, after this one cached 0.
  settings._4_ignorefileinfo.Set(0);
  Settings other(store);
  other._4_ignorefileinfo.Set(1);
  Read("four.mp3", &garbage);
  EXPECT_EQ(prompter.shown.size(), 2u);
}

}  // namespace
}  // namespace auralith

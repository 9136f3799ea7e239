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
using testing::PutLe32;

TEST(StripLeadingNumbers, DigitsThenSeparatorsGoOncePerPass) {
  const struct {
    const char* name;
    const char* stripped;
  } cases[] = {
      {"01 - Intro", "Intro"},       {"1999_-_Live", "Live"},   {"01 - 02 Tracks", "02 Tracks"},
      {"12 -\t_ ", ""},               {"2024", ""},              {"Intro", "Intro"},
      {"-01 Intro", "01 Intro"},      {"01Intro", "Intro"},      {" 01 Intro", "01 Intro"},
      {"", ""},                       {"7 Seconds", "Seconds"},  {"\xE2\x91\xA0 One", "\xE2\x91\xA0 One"},
  };
  for (const auto& c : cases) EXPECT_EQ(StripLeadingNumbers(c.name), c.stripped) << c.name;
}

class FileInfoTest : public ::testing::Test {
 protected:
  FileInfoTest() {
    settings._4_music.Set(root.path());
    settings._4_id3.Set(1);
  }

  // Writes `bytes` as `relative` below the root (unless null) and reads it.
  AFileInfo Read(const std::string& relative, const std::string* bytes, const std::string& title = "") {
    if (bytes != nullptr) testing::WriteFile(root / relative, *bytes);
    AFileInfo record;
    record.path = testing::Native(relative);
    record.title = title;
    ReadFileInfo(record, settings, prompter);
    return record;
  }

  std::uint32_t StoredIgnoreSwitch() {
    RegValue value;
    if (!store.Query(Hive::CurrentUser, kSettingsKey, "4_ignorefileinfo", &value) || value.data.size() != 4) return 0;
    return static_cast<std::uint8_t>(value.data[0]);
  }

  testing::TempDir root;
  MemoryRegistryStore store;
  Settings settings{store};
  testing::ScriptedPrompter prompter;
};

// ---------------------------------------------------------------- title

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
      {"Dir/.flac", false, "", ""},
      {"01.flac", true, "", ""},
      {"ab", false, "", "ab"},
      {"Album/02 Given.flac", true, "From Pattern", "From Pattern"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    settings._4_prefix.Set(c.prefix ? 1 : 0);
    // No file is written: an ending that is not read must not be opened.
    const AFileInfo record = Read(c.path, nullptr, c.given);
    EXPECT_EQ(record.title, c.title);
    EXPECT_EQ(record.length, -1);
  }
  EXPECT_TRUE(prompter.shown.empty());
}

// ---------------------------------------------------------------- Ogg

TEST_F(FileInfoTest, OggCommentsAndLength) {
  const struct {
    const char* name;
    const char* path;
    bool id3;
    double seconds;
    std::vector<testing::VorbisComment> comments;
    std::string artist, album, title, track;
    int length;
  } cases[] = {
      {"all fields", "a.ogg", true, 2.5,
       {{"ARTIST", "Sigur Rós"}, {"ALBUM", "()"}, {"TITLE", "Untitled #1"}, {"TRACKNUMBER", "1"}},
       "Sigur Rós", "()", "Untitled #1", "1", 2},
      {"names in any case", "b.ogg", true, 1.0,
       {{"artist", "Low"}, {"Album", "C'mon"}, {"tItLe", "Try to Sleep"}, {"TrackNumber", "1/10"}},
       "Low", "C'mon", "Try to Sleep", "1/10", 1},
      {"first value wins", "c.ogg", true, 0.5, {{"ARTIST", "First"}, {"ARTIST", "Second"}}, "First", "", "c", "", 0},
      {"upper-case ending", "Song.OGG", true, 61.0, {{"TITLE", "坂本龍一"}}, "", "", "坂本龍一", "", 61},
      {"empty title keeps the file name", "Empty.ogg", true, 3.2, {{"TITLE", ""}}, "", "", "Empty", "", 3},
      {"tags off: length only", "07 Song.ogg", false, 4.0, {{"TITLE", "Tag"}, {"TRACKNUMBER", "9"}}, "", "",
       "07 Song", "", 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    settings._4_id3.Set(c.id3 ? 1 : 0);
    const std::string bytes = MakeOgg(c.seconds, c.comments);
    const AFileInfo record = Read(c.path, &bytes);
    EXPECT_EQ(record.artist, Utf8ToAnsi(c.artist));
    EXPECT_EQ(record.album, Utf8ToAnsi(c.album));
    EXPECT_EQ(record.title, Utf8ToAnsi(c.title));
    EXPECT_EQ(record.track, c.track);
    EXPECT_EQ(record.length, c.length);
  }
  EXPECT_TRUE(prompter.shown.empty());
}

// ---------------------------------------------------------------- WAV

TEST_F(FileInfoTest, WavLengthFromTheHeader) {
  auto header = [](std::uint32_t chunkSize, std::uint32_t bytesPerSecond) {
    std::string bytes = MakeWav(0.01);
    PutLe32(bytes, 4, chunkSize);
    PutLe32(bytes, 28, bytesPerSecond);
    return bytes;
  };
  std::string foreignLetters = MakeWav(2.0);
  for (std::size_t i : {1, 2, 3, 9, 10, 11, 13, 14, 15}) foreignLetters[i] = 'x';
  std::string wrongTag = MakeWav(2.0);
  wrongTag[8] = 'X';
  const struct {
    const char* name;
    std::string bytes;
    int length;
  } cases[] = {
      {"one second", MakeWav(1.0), 1},
      {"mono 8 kHz", MakeWav(2.5, 8000, 1), 2},
      {"176,428 / 176,400", header(176428, 176400), 1},
      {"no byte rate divides by one", header(100, 0), 72},
      {"only the first letters are tested", foreignLetters, 2},
      {"wrong chunk tag", wrongTag, -1},
      {"text file", MakeGarbage(100), -1},
      {"short header", MakeWav(1.0).substr(0, 35), -1},
      {"empty", "", -1},
      {"chunk smaller than the header", header(27, 176400), -1},
      {"more seconds than a record holds", header(0xFFFFFFFFu, 1), -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Read("x.wav", &c.bytes).length, c.length);
  }
  EXPECT_EQ(Read("Upper.WAV", &cases[0].bytes).length, 1);
  EXPECT_TRUE(prompter.shown.empty());
}

// ---------------------------------------------------------------- damage

TEST_F(FileInfoTest, DamagedOggAndWavKeepLengthUnknownWithoutAlert) {
  const std::string ogg = MakeOgg(60.0, {{"TITLE", "Whole"}});
  const struct {
    const char* name;
    const char* path;
    std::string bytes;
    int length;
  } cases[] = {
      {"ogg cut inside its headers", "a.ogg", ogg.substr(0, 100), -1},
      {"ogg that is text", "b.ogg", MakeGarbage(5000), -1},
      {"empty ogg", "c.ogg", "", -1},
      {"mp3 named ogg", "d.ogg", MakeMp3({.seconds = 2.0}), -1},
      {"ogg named wav", "e.wav", ogg, -1},
      // The time is that of the last whole page.
      {"ogg cut in the audio", "f.ogg", ogg.substr(0, ogg.size() / 2), 30},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int length = Read(c.path, &c.bytes).length;
    if (c.length < 0) EXPECT_EQ(length, -1);
    else EXPECT_NEAR(length, c.length, 10);
  }
  EXPECT_EQ(Read("f.ogg", nullptr).title, "Whole");
  EXPECT_EQ(Read("missing.ogg", nullptr).length, -1);
  EXPECT_EQ(Read("missing.wav", nullptr).length, -1);
  EXPECT_TRUE(prompter.shown.empty());
}

// ---------------------------------------------------------------- alert

TEST_F(FileInfoTest, AnsweringNoSwitchesTheAlertOffForGood) {
  const std::string garbage = MakeGarbage(1000);
  settings._4_ignorefileinfo.Write();  // 0, cached
  prompter.Answer(MessageAnswer::Yes);
  Read("one.mp3", &garbage);
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(StoredIgnoreSwitch(), 0u) << "Yes asks for more alerts";

  prompter.Answer(MessageAnswer::No);
  Read("two.mp3", &garbage);
  ASSERT_EQ(prompter.shown.size(), 2u);
  EXPECT_EQ(prompter.shown[1].text,
            "Error reading information from file \"two.mp3\"\n\nDo you want to be alerted if this type of error occurs again?");
  EXPECT_EQ(StoredIgnoreSwitch(), 1u);

  const AFileInfo later = Read("three.mp3", &garbage);
  EXPECT_EQ(prompter.shown.size(), 2u);
  EXPECT_EQ(later.length, -1);
  EXPECT_EQ(later.title, "three");

  // Switched off meanwhile by another run, after this one cached 0.
  settings._4_ignorefileinfo.Set(0);
  ASSERT_EQ(settings._4_ignorefileinfo.Get(), 0u);
  Settings other(store);
  other._4_ignorefileinfo.Set(1);
  Read("four.mp3", &garbage);
  EXPECT_EQ(prompter.shown.size(), 2u);
}

// ---------------------------------------------------------------- names

TEST_F(FileInfoTest, NonAsciiFileNamesOpen) {
  const std::string mp3 = MakeMp3({.seconds = 3.0});
  const std::string ogg = MakeOgg(2.0);
  const std::string wav = MakeWav(1.0);
  const struct {
    const char* path;  // UTF-8
    const std::string* bytes;
    int length;
  } cases[] = {
      {"Björk/Homogénic/01 - Jóga.mp3", &mp3, 3},
      {"Café Tacvba/Ré/Élévé.ogg", &ogg, 2},
      {"Ñandú/Canción.wav", &wav, 1},
      {"坂本龍一/音楽図鑑/Tibetan Dance.mp3", &mp3, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    // The record holds the name in the process's code page; a page without
    // these letters cannot name the file at all.
    const std::string ansi = Utf8ToAnsi(c.path);
    if (ansi.find('?') != std::string::npos) continue;
    testing::WriteFile(root / c.path, *c.bytes);
    AFileInfo record;
    record.path = testing::Native(ansi);
    ReadFileInfo(record, settings, prompter);
    EXPECT_EQ(record.length, c.length);
  }
  EXPECT_TRUE(prompter.shown.empty());
}

}  // namespace
}  // namespace auralith

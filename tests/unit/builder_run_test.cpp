// Whole "Generate playlists" runs over real files on disk.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/path.h"
#include "builder/builder_run.h"
#include "builder/tag_cache.h"
#include "platform/native.h"
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
using testing::Mp3Spec;
using testing::Native;
using testing::ReadFile;
using testing::TagKind;
using testing::TagSpec;
using testing::WriteFile;

constexpr const char* kInvalid = "You must specify a valid root directory and file extension list.";

// The file system of the machine, with a few ways of failing on purpose.
class SteeredFileSystem : public NativeFileSystem {
 public:
  bool ListDirectory(const std::string& dir, std::vector<DirEntry>* entries) override {
    if (throwOnList) throw std::bad_alloc();
    if (!NativeFileSystem::ListDirectory(dir, entries)) return false;
    // The vanished file goes while the run asks for its status, after the
    // listing; a status the listing carried would hide that.
    for (DirEntry& entry : *entries)
      if (!vanished.empty() && EndsWithPath(dir + entry.name, vanished)) entry.statusKnown = false;
    return true;
  }
  bool Status(const std::string& path, FileStatus* status) override {
    ++statusCalls;
    if (!vanished.empty() && EndsWithPath(path, vanished)) return false;
    return NativeFileSystem::Status(path, status);
  }
  static bool EndsWithPath(const std::string& path, const std::string& tail) {
    return path.size() >= tail.size() && path.compare(path.size() - tail.size(), tail.size(), tail) == 0;
  }

  bool throwOnList = false;
  std::string vanished;  // a file that is listed but has no status any more
  int statusCalls = 0;
};

std::string Mp3(const std::string& artist, const std::string& album, const std::string& title,
                const std::string& track, double seconds) {
  Mp3Spec shape;
  shape.seconds = seconds;
  TagSpec tag;
  tag.kind = TagKind::Id3v24Utf8;
  tag.artist = artist;
  tag.album = album;
  tag.title = title;
  tag.track = track;
  shape.tags = {tag};
  return MakeMp3(shape);
}

class BuilderRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    music = dir / "music/";
    location = dir / "loc/";
    testing::MakeDirectories(music);
    testing::MakeDirectories(location);
    settings = std::make_unique<Settings>(registry);
    settings->location.Set(location);
    settings->ResetToDefaults();
    settings->_4_music.Set(music);
  }

  void AddLibrary() {
    WriteFile(music + Native("Beatles/Abbey Road/01 Come Together.mp3"),
              Mp3("The Beatles", "Abbey Road", "Come Together", "1", 4.1));
    WriteFile(music + Native("Beatles/Abbey Road/02 Something.ogg"),
              MakeOgg(3.0, {{"ARTIST", "The Beatles"}, {"ALBUM", "Abbey Road"}, {"TITLE", "Something"},
                            {"TRACKNUMBER", "2"}}));
    WriteFile(music + Native("Abba/Gold/Waterloo.wav"), MakeWav(2.0, 8000, 1));
  }

  BuilderRun::Result Run() {
    BuilderRun run(*settings, fs, prompter, progress, shell);
    return run.Run();
  }

  std::string Playlist(const std::string& name) { return ReadFile(location + "playlists" + kPathSeparator + name); }

  testing::TempDir dir;
  std::string music, location;
  MemoryRegistryStore registry;
  std::unique_ptr<Settings> settings;
  SteeredFileSystem fs;
  testing::ScriptedPrompter prompter;
  testing::RecordingProgress progress;
  testing::RecordingShell shell;
};

TEST_F(BuilderRunTest, InvalidInputStopsBeforeTouchingAnything) {
  struct Case {
    const char* name;
    std::string root;
    const char* extensions;
  };
  const Case cases[] = {
      {"empty root", "", "mp3"},
      {"missing root", dir / "nowhere/", "mp3"},
      {"no usable extension", music, ".mp3"},
      {"only delimiters", music, " ,;| "},
  };
  AddLibrary();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    prompter.shown.clear();
    progress.log.clear();
    settings->_4_music.Set(c.root);
    settings->_4_extensions.Set(c.extensions);
    EXPECT_EQ(Run(), BuilderRun::Result::kInvalidInput);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, kInvalid);
    EXPECT_EQ(prompter.shown[0].caption, "");
    EXPECT_EQ(prompter.shown[0].buttons, MessageButtons::Ok);
    EXPECT_TRUE(progress.log.empty());
    EXPECT_TRUE(testing::ListNames(location).empty());
    EXPECT_TRUE(shell.calls.empty());
  }
}

TEST_F(BuilderRunTest, RootWithSeveralTrailingSeparatorsIsAccepted) {
  AddLibrary();
  settings->_4_music.Set(music + kPathSeparator + kPathSeparator);
  EXPECT_EQ(Run(), BuilderRun::Result::kCompleted);
  EXPECT_TRUE(prompter.shown.empty());
  // The scan used the text as stored, so the track paths carry the extra
  // separators after the root.
  EXPECT_NE(Playlist("beatles_abbeyroad.m3u").find(music + kPathSeparator + kPathSeparator + "Beatles"),
            std::string::npos);
}

TEST_F(BuilderRunTest, SmallLibraryEndToEnd) {
  AddLibrary();
  settings->_4_organization.Set("ARTIST\\ALBUM\\File,etc...");
  settings->_4_organizationnum.Set(3);
  ASSERT_EQ(Run(), BuilderRun::Result::kCompleted);
  EXPECT_TRUE(prompter.shown.empty());

  const std::string sep(1, kPathSeparator);
  EXPECT_EQ(Playlist("beatles_abbeyroad.m3u"),
            "#EXTM3U\r\n"
            "#EXTINF:-1,|......Abbey Road......|\r\n" +
                music + "Beatles" + sep + "Abbey Road" + sep + "|......Abbey Road......|.mp3\r\n" +
                "#EXTINF:4,1. Come Together\r\n" + music + "Beatles" + sep + "Abbey Road" + sep +
                "01 Come Together.mp3\r\n" + "#EXTINF:3,2. Something\r\n" + music + "Beatles" + sep +
                "Abbey Road" + sep + "02 Something.ogg\r\n");
  std::string base = location + "playlists" + sep;
  std::replace(base.begin(), base.end(), '\\', '/');
  // The folders come before the tags, so the artist is "Beatles" although the
  // tags say "The Beatles"; Waterloo.wav has no tags and no track number.
  EXPECT_EQ(ReadFile(location + "Auralith.data"),
            "var base = \"" + base + "\";\r\n\r\n"
            "\r\n\r\n"
            "artist_list[0]            = new Array(\"Abba\",\"abba.m3u\");\r\n"
            "album_list[0]             = new Array();\r\n"
            "track_list[0]             = new Array();\r\n"
            "\r\n"
            "album_list[0][0]          = new Array(\"Gold\",\"abba_gold.m3u\");\r\n"
            "track_list[0][0]          = new Array();\r\n"
            "track_list[0][0][0]       = \". Waterloo\";\r\n"
            "\r\n\r\n"
            "artist_list[1]            = new Array(\"Beatles\",\"beatles.m3u\");\r\n"
            "album_list[1]             = new Array();\r\n"
            "track_list[1]             = new Array();\r\n"
            "\r\n"
            "album_list[1][0]          = new Array(\"Abbey Road\",\"beatles_abbeyroad.m3u\");\r\n"
            "track_list[1][0]          = new Array();\r\n"
            "track_list[1][0][0]       = \"1. Come Together\";\r\n"
            "track_list[1][0][1]       = \"2. Something\";\r\n");
  EXPECT_EQ(testing::ListNames(location + "playlists"),
            (std::vector<std::string>{".m3u", "abba.m3u", "abba_gold.m3u", "beatles.m3u", "beatles_abbeyroad.m3u"}));
  EXPECT_EQ(shell.calls, (std::vector<std::string>{"Create", "ApplyChanges:15", "Release"}));
}

TEST_F(BuilderRunTest, ProgressFollowsTheEightSteps) {
  WriteFile(music + "a.wav", MakeWav(1.0, 8000, 1));
  WriteFile(music + "b.wav", MakeWav(1.0, 8000, 1));
  ASSERT_EQ(Run(), BuilderRun::Result::kCompleted);
  std::vector<std::string> steps;
  for (const auto& line : progress.log)
    if (line.rfind("item:", 0) != 0) steps.push_back(line);
  const std::vector<std::string> expected = {
      "step:Scanning music directory for files... (Step 1 of 8)", "range:0,1", "stepsize:1", "pos:0", "pos:1",
      "step:Sorting music files... (Step 2 of 8)", "range:0,1", "stepsize:1", "pos:0", "pos:1",
      "range:0,2", "stepsize:1", "pos:1", "step:Reading file info... (Step 3 of 8)", "stepit", "stepit", "pos:2",
      "range:0,2", "stepsize:1", "pos:1", "step:Sorting into playlists... (Step 4 of 8)", "stepit", "stepit", "pos:2",
      "range:0,2", "stepsize:1", "pos:1", "step:Generating playlists... (Step 5 of 8)", "stepit", "stepit", "pos:2",
      "range:0,1", "stepsize:1", "pos:1", "step:Writing data file... (Step 6 of 8)", "stepit", "pos:1",
      "range:0,1", "stepsize:1", "pos:0", "step:Refreshing desktop... (Step 7 of 8)", "pos:1",
      "range:0,1", "stepsize:1", "pos:0", "step:Cleaning up... (Step 8 of 8)", "pos:1"};
  EXPECT_EQ(steps, expected);
}

// Replaces every music file's content by garbage of the same size and keeps
// its last-write time: a run that opened any of them would notice.
void Spoil(const std::string& music, const std::vector<std::string>& files) {
  for (const auto& f : files) {
    NativeFileSystem fs;
    FileStatus before;
    ASSERT_TRUE(fs.Status(music + f, &before));
    WriteFile(music + f, MakeGarbage(static_cast<std::size_t>(before.size)));
    testing::SetModified(music + f, before.modified);
  }
}

TEST_F(BuilderRunTest, SecondRunOverAnUnchangedTreeOpensNoFile) {
  AddLibrary();
  ASSERT_EQ(Run(), BuilderRun::Result::kCompleted);
  const std::string data = ReadFile(location + "Auralith.data");
  const std::string album = Playlist("beatles_abbeyroad.m3u");
  Spoil(music, {Native("Beatles/Abbey Road/01 Come Together.mp3"), Native("Beatles/Abbey Road/02 Something.ogg"),
                Native("Abba/Gold/Waterloo.wav")});

  // Nothing changed, so nothing is written either.
  const std::vector<std::string> outputs = {location + "Auralith.archive", location + "Auralith.data",
                                            location + Native("playlists/beatles_abbeyroad.m3u")};
  for (const auto& output : outputs) testing::SetModified(output, 1000000);

  ASSERT_EQ(Run(), BuilderRun::Result::kCompleted);
  EXPECT_TRUE(prompter.shown.empty()) << prompter.shown[0].text;
  EXPECT_EQ(ReadFile(location + "Auralith.data"), data);
  EXPECT_EQ(Playlist("beatles_abbeyroad.m3u"), album);
  for (const auto& output : outputs) {
    FileStatus status;
    ASSERT_TRUE(fs.Status(output, &status));
    EXPECT_EQ(status.modified, 1000000) << output;
  }
}

TEST_F(BuilderRunTest, ChangedShapingSettingsReadEveryFileAgain) {
  struct Case {
    const char* name;
    void (*change)(Settings&);
    bool rereads;
  };
  const Case cases[] = {
      {"pattern", [](Settings& s) { s._4_format.Set("%3 %4"); }, true},
      {"folder format", [](Settings& s) { s._4_organizationnum.Set(2); }, true},
      {"tags", [](Settings& s) { s._4_id3.Set(0); }, true},
      {"leading numbers", [](Settings& s) { s._4_prefix.Set(0); }, true},
      {"leading The", [](Settings& s) { s._4_the.Set(0); }, false},
      {"entry format", [](Settings& s) { s._4_outformat.Set("%4"); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    const std::string mp3 = Native("Beatles/Abbey Road/01 Come Together.mp3");
    WriteFile(music + mp3, Mp3("The Beatles", "Abbey Road", "Come Together", "1", 2.0));
    prompter.shown.clear();
    ASSERT_EQ(Run(), BuilderRun::Result::kCompleted);
    ASSERT_TRUE(prompter.shown.empty());
    Spoil(music, {mp3});
    c.change(*settings);
    ASSERT_EQ(Run(), BuilderRun::Result::kCompleted);
    // Reading the spoilt MP3 again raises the file alert.
    EXPECT_EQ(prompter.shown.size(), c.rereads ? 1u : 0u);
  }
}

TEST_F(BuilderRunTest, FileWhoseStatusIsGoneIsLeftOutAndDroppedFromTheCache) {
  AddLibrary();
  ASSERT_EQ(Run(), BuilderRun::Result::kCompleted);
  fs.vanished = Native("Beatles/Abbey Road/02 Something.ogg");
  ASSERT_EQ(Run(), BuilderRun::Result::kCompleted);
  EXPECT_EQ(Playlist("beatles_abbeyroad.m3u").find("Something"), std::string::npos);
  EXPECT_EQ(ReadFile(location + "Auralith.archive").find("02 Something.ogg"), std::string::npos);
  EXPECT_NE(ReadFile(location + "Auralith.archive").find("01 Come Together.mp3"), std::string::npos);
}

TEST_F(BuilderRunTest, WarmRunAsksForNoStatusBeyondTheCacheFile) {
  AddLibrary();
  ASSERT_EQ(Run(), BuilderRun::Result::kCompleted);
  fs.statusCalls = 0;
  ASSERT_EQ(Run(), BuilderRun::Result::kCompleted);
  EXPECT_EQ(fs.statusCalls, 1);
}

// Files are read several at a time, but every message comes as if they were
// read one after another: each alert between its file's item line and its
// step, and none after the user switched them off.
TEST_F(BuilderRunTest, FilesReadTogetherAreReportedInListOrder) {
  std::vector<std::string> names;
  std::vector<std::string> unreadable;
  for (int i = 0; i < 48; ++i) {
    const std::string number = (i < 10 ? "n0" : "n") + std::to_string(i);
    const std::string title = "Song " + number;
    if (i % 7 == 3) {
      names.push_back(number + ".mp3");
      unreadable.push_back(names.back());
      WriteFile(music + names.back(), MakeGarbage(3000 + static_cast<std::size_t>(i)));
    } else if (i % 3 == 0) {
      names.push_back(number + ".ogg");
      WriteFile(music + names.back(), MakeOgg(1.5 + i % 4, {{"TITLE", title}}));
    } else {
      names.push_back(number + ".mp3");
      WriteFile(music + names.back(), Mp3("A", "B", title, number, 1.5 + i % 4));
    }
  }
  ASSERT_GE(unreadable.size(), 4u);
  // The third alert is answered No: the later unreadable files stay silent.
  prompter.Answer(MessageAnswer::Yes);
  prompter.Answer(MessageAnswer::Yes);
  prompter.Answer(MessageAnswer::No);
  prompter.onShow = [&](const testing::ScriptedPrompter::Shown& shown) { progress.log.push_back("alert:" + shown.text); };
  ASSERT_EQ(Run(), BuilderRun::Result::kCompleted);

  const auto begin = std::find(progress.log.begin(), progress.log.end(), "step:Reading file info... (Step 3 of 8)");
  ASSERT_NE(begin, progress.log.end());
  const std::vector<std::string> read(begin + 1, begin + 1 + static_cast<std::ptrdiff_t>(names.size() * 2 + 3));
  std::vector<std::string> expected;
  std::size_t alerts = 0;
  for (const std::string& name : names) {
    expected.push_back("item:" + name);
    if (std::find(unreadable.begin(), unreadable.end(), name) != unreadable.end() && ++alerts <= 3)
      expected.push_back("alert:Error reading information from file \"" + name +
                         "\"\n\nDo you want to be alerted if this type of error occurs again?");
    expected.push_back("stepit");
  }
  EXPECT_EQ(read, expected);
  EXPECT_EQ(settings->_4_ignorefileinfo.Read(), 1u);

  // Each record holds what its own file says.
  const PathTable table = ParseTagCache(ReadFile(location + "Auralith.archive"), *settings, 0);
  ASSERT_EQ(table.size(), names.size());
  for (int i = 0; i < 48; ++i) {
    const AFileInfo& record = *table.at(names[static_cast<std::size_t>(i)]);
    SCOPED_TRACE(record.path);
    const bool bad = i % 7 == 3;
    EXPECT_EQ(record.length, bad ? -1 : 1 + i % 4);
    EXPECT_EQ(record.title, bad ? record.path.substr(0, 3) : "Song " + record.path.substr(0, 3));
  }
}

TEST_F(BuilderRunTest, EmptyTreeStillRunsEveryStepAndEmptiesTheCache) {
  AddLibrary();
  ASSERT_EQ(Run(), BuilderRun::Result::kCompleted);
  testing::RemoveTree(music + "Beatles");
  testing::RemoveTree(music + "Abba");
  ASSERT_EQ(Run(), BuilderRun::Result::kCompleted);
  EXPECT_TRUE(prompter.shown.empty());
  EXPECT_EQ(ReadFile(location + "Auralith.archive").find(".mp3"), std::string::npos);
  EXPECT_EQ(testing::ListNames(location + "playlists"), std::vector<std::string>{".m3u"});
  EXPECT_EQ(ReadFile(location + "Auralith.data").find("artist_list"), std::string::npos);
}

TEST_F(BuilderRunTest, UnexpectedFailureIsReportedAndTheRunStillCleansUp) {
  AddLibrary();
  fs.throwOnList = true;
  EXPECT_EQ(Run(), BuilderRun::Result::kCompleted);
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].caption, "Error");
  EXPECT_EQ(prompter.shown[0].icon, MessageIcon::Error);
  ASSERT_GE(progress.log.size(), 2u);
  EXPECT_EQ(progress.log[progress.log.size() - 2], "step:Cleaning up... (Step 8 of 8)");
  EXPECT_EQ(progress.log.back(), "pos:1");
  EXPECT_FALSE(testing::FileExists(location + "Auralith.data"));
}

TEST_F(BuilderRunTest, CacheThatCannotBeWrittenIsReportedAndPlaylistsAreStillWritten) {
  AddLibrary();
  testing::MakeDirectories(location + "Auralith.archive");  // a folder where the cache should go
  testing::WriteFile(location + "Auralith.archive" + kPathSeparator + "keep", "x");
  ASSERT_EQ(Run(), BuilderRun::Result::kCompleted);
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].text, "Error writing cache file \"" + location + "Auralith.archive\"");
  EXPECT_TRUE(testing::FileExists(location + "playlists" + kPathSeparator + "beatles_abbeyroad.m3u"));
  EXPECT_TRUE(testing::FileExists(location + "Auralith.data"));
}

}  // namespace
}  // namespace auralith

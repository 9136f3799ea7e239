// The scan of a music tree, and whole "Generate playlists" runs over real files on disk.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "builder/builder_run.h"
#include "builder/scan.h"
#include "builder/tag_cache.h"
#include "platform/native.h"
#include "settings/memory_registry_store.h"
#include "settings/settings.h"
#include "support/audio_fixtures.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using testing::MakeGarbage;
using testing::MakeOgg;
using testing::Native;
using testing::ReadFile;
using testing::WriteFile;
using ::testing::UnorderedElementsAreArray;

using Lines = std::vector<std::string>;

class SteeredFileSystem : public NativeFileSystem {
 public:
  bool ListDirectory(const std::string& dir, std::vector<DirEntry>* entries) override {
    if (throwOnList) throw std::bad_alloc();
    if (!NativeFileSystem::ListDirectory(dir, entries)) return false;
    // It vanishes after the listing, which must not carry its status.
    for (DirEntry& entry : *entries)
      if (Vanished(dir + entry.name)) entry.statusKnown = false;
    return true;
  }
  bool Status(const std::string& path, FileStatus* status) override {
    ++statusCalls;
    return !Vanished(path) && NativeFileSystem::Status(path, status);
  }
  bool Vanished(const std::string& path) const { return !vanished.empty() && path.ends_with(vanished); }

  bool throwOnList = false;
  std::string vanished;  // a file that is listed but has no status any more
  int statusCalls = 0;
};

std::string Mp3(const std::string& title, const std::string& track, double seconds) {
  return testing::MakeMp3(
      {.seconds = seconds, .tags = {{.artist = "The Beatles", .album = "Abbey Road", .title = title, .track = track}}});
}

const Lines kDefaultExtensions = {"mp3", "ogg", "wav"};
const std::string kComeTogether = Native("Beatles/Abbey Road/01 Come Together.mp3");
const std::string kSomething = Native("Beatles/Abbey Road/02 Something.ogg");
const std::string kWaterloo = Native("Abba/Gold/Waterloo.wav");

Lines NativeAll(const Lines& paths) {
  Lines out;
  for (const std::string& p : paths) out.push_back(Native(p));
  return out;
}

class BuilderRunTest : public ::testing::Test {
 protected:
  BuilderRunTest() {
    for (const std::string& folder : {music, location}) testing::MakeDirectories(folder);
    settings.location.Set(location);
    settings.ResetToDefaults();
    settings._4_music.Set(music);
  }

  void AddLibrary() {
    WriteFile(music + kComeTogether, Mp3("Come Together", "1", 4.1));
    WriteFile(music + kSomething, MakeOgg(3.0, {{"ARTIST", "The Beatles"}, {"ALBUM", "Abbey Road"},
                                                {"TITLE", "Something"}, {"TRACKNUMBER", "2"}}));
    WriteFile(music + kWaterloo, testing::MakeWav(2.0, 8000, 1));
  }

  BuilderRun::Result Run() { return BuilderRun(settings, fs, prompter, progress, shell).Run(); }
  void Make(const Lines& files) {
    for (const std::string& f : files) testing::WriteFile(dir / f, f);
  }
  Lines Scan(const Lines& extensions = kDefaultExtensions, const std::string& relative = "") {
    Lines paths;
    for (const MusicFile& file : ScanMusicTree(fs, dir.path(), relative, extensions, progress)) paths.push_back(file.path);
    return paths;
  }

  testing::TempDir dir;
  const std::string music = dir / "music/", location = dir / "loc/";
  MemoryRegistryStore registry;
  Settings settings{registry};
  SteeredFileSystem fs;
  testing::ScriptedPrompter prompter;
  testing::RecordingProgress progress;
  testing::RecordingShell shell;
};

TEST_F(BuilderRunTest, InvalidInputStopsBeforeTouchingAnything) {
  const std::pair<std::string, const char*> cases[] = {{"", "mp3"}, {dir / "nowhere/", "mp3"}, {music, " ,;| "}};
  AddLibrary();
  for (const auto& [root, extensions] : cases) {
    SCOPED_TRACE(root + " " + extensions);
    prompter.shown.clear();
    settings._4_music.Set(root);
    settings._4_extensions.Set(extensions);
    EXPECT_EQ(Run(), BuilderRun::Result::kInvalidInput);
    EXPECT_EQ(testing::ShownTexts(prompter), Lines{"You must specify a valid root directory and file extension list."});
    EXPECT_TRUE(progress.log.empty());
  }
}

// A second run over an unchanged tree opens, asks for and writes nothing beyond the
// cache file's status; a file whose status is gone is left out and dropped from the cache.
TEST_F(BuilderRunTest, SmallLibraryEndToEndThenUnchanged) {
  AddLibrary();
  settings._4_organizationnum.Set(3);
  ASSERT_EQ(Run(), BuilderRun::Result::kCompleted);
  EXPECT_TRUE(prompter.shown.empty());

  // The folders come before the tags ("Beatles"); Waterloo.wav has no tags.
  const std::string data = ReadFile(location + "Auralith.data");
  for (const char* line : {"artist_list[0]            = new Array(\"Abba\",\"abba.m3u\");",
                           "track_list[0][0][0]       = \". Waterloo\";",
                           "artist_list[1]            = new Array(\"Beatles\",\"beatles.m3u\");",
                           "track_list[1][0][0]       = \"1. Come Together\";",
                           "track_list[1][0][1]       = \"2. Something\";"})
    EXPECT_NE(data.find(std::string(line) + "\r\n"), std::string::npos) << line;
  EXPECT_EQ(testing::ListNames(location + "playlists"),
            (Lines{".m3u", "abba.m3u", "abba_gold.m3u", "beatles.m3u", "beatles_abbeyroad.m3u"}));
  EXPECT_EQ(shell.calls, (Lines{"Create", "ApplyChanges:15", "Release"}));

  // Same size and time, garbage content: a run that opened any of them would notice.
  for (const std::string& f : {music + kComeTogether, music + kSomething, music + kWaterloo}) {
    FileStatus before;
    ASSERT_TRUE(fs.Status(f, &before));
    WriteFile(f, MakeGarbage(static_cast<std::size_t>(before.size)));
    testing::SetModified(f, before.modified);
  }
  const Lines outputs = {location + "Auralith.archive", location + "Auralith.data",
                         location + Native("playlists/beatles_abbeyroad.m3u")};
  for (const auto& output : outputs) testing::SetModified(output, 1000000);
  fs.statusCalls = 0;

  ASSERT_EQ(Run(), BuilderRun::Result::kCompleted);
  EXPECT_TRUE(prompter.shown.empty());
  EXPECT_EQ(fs.statusCalls, 1);
  EXPECT_EQ(ReadFile(location + "Auralith.data"), data);
  for (const auto& output : outputs) {
    FileStatus status;
    ASSERT_TRUE(fs.Status(output, &status));
    EXPECT_EQ(status.modified, 1000000) << output;
  }

  fs.vanished = kSomething;
  ASSERT_EQ(Run(), BuilderRun::Result::kCompleted);
  EXPECT_EQ(ReadFile(location + Native("playlists/beatles_abbeyroad.m3u")).find("Something"), std::string::npos);
  const PathTable cache = LoadTagCache(location + "Auralith.archive", settings, 0);
  EXPECT_EQ(cache.size(), 2u);
}

// Files are read several at a time, yet each alert comes between its file's item
// line and step, as if they were read one by one, and none after the user said No.
TEST_F(BuilderRunTest, FilesReadTogetherAreReportedInListOrder) {
  Lines names, expected;
  for (int i = 10; i < 58; ++i) {
    const std::string number = "n" + std::to_string(i);
    const bool bad = i % 7 == 3;
    names.push_back(number + (i % 3 == 0 && !bad ? ".ogg" : ".mp3"));
    WriteFile(music + names.back(), bad ? MakeGarbage(3000 + static_cast<std::size_t>(i))
                                    : i % 3 == 0 ? MakeOgg(1.5 + i % 4, {{"TITLE", "Song " + number}})
                                                 : Mp3("Song " + number, number, 1.5 + i % 4));
    // The third alert is answered No: the later unreadable files stay silent.
    expected.push_back("item:" + names.back());
    if (bad && i < 30)
      expected.push_back("alert:Error reading information from file \"" + names.back() +
                         "\"\n\nDo you want to be alerted if this type of error occurs again?");
    expected.push_back("stepit");
  }
  for (MessageAnswer answer : {MessageAnswer::Yes, MessageAnswer::Yes, MessageAnswer::No}) prompter.Answer(answer);
  prompter.onShow = [&](const testing::ScriptedPrompter::Shown& shown) { progress.log.push_back("alert:" + shown.text); };
  ASSERT_EQ(Run(), BuilderRun::Result::kCompleted);
  const auto begin = std::find(progress.log.begin(), progress.log.end(), "step:Reading file info... (Step 3 of 8)");
  ASSERT_NE(begin, progress.log.end());
  EXPECT_EQ(Lines(begin + 1, begin + 1 + static_cast<std::ptrdiff_t>(expected.size())), expected);
}

TEST_F(BuilderRunTest, UnexpectedFailureIsReportedAndTheRunStillCleansUp) {
  AddLibrary();
  fs.throwOnList = true;
  EXPECT_EQ(Run(), BuilderRun::Result::kCompleted);
  EXPECT_EQ(testing::ShownTexts(prompter), Lines{"Not enough memory while scanning; the run was stopped."});
  EXPECT_EQ(prompter.shown[0].caption, "Error");
  EXPECT_EQ(Lines(progress.log.end() - 2, progress.log.end()), (Lines{"step:Cleaning up... (Step 8 of 8)", "pos:1"}));
  EXPECT_FALSE(testing::FileExists(location + "Auralith.data"));
}

TEST_F(BuilderRunTest, CacheThatCannotBeWrittenIsReportedAndPlaylistsAreStillWritten) {
  AddLibrary();
  testing::WriteFile(location + Native("Auralith.archive/keep"), "x");  // a folder where the cache goes
  ASSERT_EQ(Run(), BuilderRun::Result::kCompleted);
  EXPECT_EQ(testing::ShownTexts(prompter), Lines{"Error writing cache file \"" + location + "Auralith.archive\""});
  EXPECT_TRUE(testing::FileExists(location + Native("playlists/beatles_abbeyroad.m3u")));
  EXPECT_TRUE(testing::FileExists(location + "Auralith.data"));
}

TEST(ParseExtensions, Table) {
  const std::pair<const char*, Lines> cases[] = {
      {"MP3; Ogg |wav", {"mp3", "ogg", "wav"}},
      {",,mp3;;;ogg\t\twav||", {"mp3", "ogg", "wav"}},
      {"mp3,MP3,mp3", {"mp3", "mp3", "mp3"}},
      // A token with anything but ASCII letters and digits empties the list so far.
      {".mp3", {}},
      {"mp3,\xC3\xA9t\xC3\xA9,ogg", {"ogg"}},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(ParseExtensions(text), expected) << '"' << text << '"';
}

using ScanTree = BuilderRunTest;

// Wide enough (200 folders at the top) to be shared between two threads.
TEST_F(ScanTree, CollectsVisibleMusicFilesAndShowsEachOnce) {
  Lines music = {"a.mp3", "Artist/Track.Mp3", "Artist/Album/01 - Song.mp3", "A/B/c.ogg", "deep/er/still/d.wav"};
  for (int i = 0; i < 200; ++i) music.push_back("F" + std::to_string(i) + "/" + std::to_string(i) + ".mp3");
  Make(music);
  Make({".mp3", "amp3", "Artist/notes.txt", "song.mp3.bak", ".hidden-by-name/x.mp3", "Artist/.dotted/z.ogg",
        ".dotfile.mp3"});
#ifndef _WIN32
  // Only other systems allow line breaks in names; no playlist line holds one.
  Make({"b\nc.mp3", "d\re.ogg", "Line\nFolder/f.mp3"});
#endif
  const Lines found = Scan();
  EXPECT_THAT(found, UnorderedElementsAreArray(NativeAll(music)));
  Lines expected;
  for (const std::string& path : found) expected.push_back("item:" + path);
  EXPECT_EQ(progress.log, expected) << "each file is shown once, as it is listed";

  EXPECT_THAT(Scan(kDefaultExtensions, Native("Artist/")),
              UnorderedElementsAreArray(NativeAll({"Artist/Track.Mp3", "Artist/Album/01 - Song.mp3"})));
  EXPECT_THAT(ScanMusicTree(fs, dir / "missing/", "", kDefaultExtensions, progress), ::testing::IsEmpty());
}

#ifndef _WIN32
// A link back into the descent path ends there; any other path is listed, even twice.
TEST_F(ScanTree, LinkLoopsEndAndEveryNonLoopingPathIsListed) {
  Make({"x.mp3", "A/y.mp3", "B/z.mp3", "A/C/w.ogg"});
  const std::pair<std::string, std::string> links[] = {
      {"..", "A/up"}, {dir.path(), "B/root"}, {".", "B/self"}, {"../..", "A/C/top"}, {"../A", "B/toA"}, {dir / "A/C", "C2"}};
  for (const auto& [target, link] : links) std::filesystem::create_directory_symlink(target, dir / link);
  EXPECT_THAT(Scan(), UnorderedElementsAreArray(NativeAll(
                          {"x.mp3", "A/y.mp3", "B/z.mp3", "A/C/w.ogg", "B/toA/y.mp3", "B/toA/C/w.ogg", "C2/w.ogg"})));
}
#endif

}  // namespace
}  // namespace auralith

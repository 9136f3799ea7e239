// The auralith-build program run as a user runs it: options, exit status, messages and what it stores.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/path.h"
#include "platform/native.h"
#include "settings/settings.h"
#include "support/audio_fixtures.h"
#include "support/test_support.h"

#ifdef _WIN32
#include "win32/win32_support.h"
#else
#include <sys/wait.h>
#endif

namespace auralith {
namespace {

using testing::Native;
using testing::ReadFile;
using testing::WriteFile;

struct Outcome {
  int status = -1;
  std::string output;  // standard output and error
};

#ifdef _WIN32
Outcome RunProgram(const std::vector<std::string>& args, const testing::TempDir& dir) {
  std::string command = testing::Quoted(testing::ProgramFolder() + "auralith-build.exe");
  for (const auto& arg : args) command += " " + testing::Quoted(arg.ends_with('\\') ? arg + '\\' : arg);
  const int status = testing::RunProcess({.commandLine = command, .output = dir / "output.txt"});
  return {status, ReadFile(dir / "output.txt")};
}
#else
std::string Quoted(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

Outcome RunProgram(const std::vector<std::string>& args, const testing::TempDir& dir) {
  const char* programs = std::getenv("AURALITH_PROGRAM_DIR");
  std::string command = Quoted(WithTrailingSeparator(programs ? programs : "") + "auralith-build");
  for (const auto& arg : args) command += " " + Quoted(arg);
  const int raw = std::system((command + " >" + Quoted(dir / "output.txt") + " 2>&1 </dev/null").c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(dir / "output.txt")};
}
#endif

class BuildCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    NativeRegistryStore().DeleteTree(Hive::CurrentUser, kSettingsKey);
#else
    setenv("AURALITH_REGISTRY_DIR", (dir / "registry").c_str(), 1);
#endif
    const testing::TagShape tag{
        .kind = testing::TagKind::Id3v23Latin1, .artist = "Nina", .album = "Blue", .title = "Song", .track = "1"};
    WriteFile(music + Native("Nina/Blue/01 Song.mp3"), testing::MakeMp3({.seconds = 2.1, .tags = {tag}}));
  }
  // On Windows the real registry, which other tests read.
  void TearDown() override { NativeRegistryStore().DeleteTree(Hive::CurrentUser, kSettingsKey); }

  testing::TempDir dir;
  const std::string music = dir / "music/", location = dir / "loc/";
};

TEST_F(BuildCommandTest, RunStoresItsOptionsAndWritesTheLibrary) {
  const Outcome run = RunProgram({"--quiet", "--location", location, "--root", music, "--folder-format", "3",
                                  "--no-headers", "--entry-format", "%1 - %4"},
                                 dir);
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(ReadFile(location + Native("playlists/nina_blue.m3u")),
            "#EXTM3U\r\n#EXTINF:2,Nina - Song\r\n" + music + Native("Nina/Blue/01 Song.mp3") + "\r\n");

  NativeRegistryStore registry;
  Settings settings(registry);
  EXPECT_EQ(settings.location.Get(), location);
  EXPECT_EQ(settings._4_music.Get(), music);
  EXPECT_EQ(settings._4_organization.Get(), "ARTIST\\ALBUM\\File,etc...");
  EXPECT_EQ(settings._4_organizationnum.Get(), 3u);
  EXPECT_EQ(settings._4_headers.Get(), 0u);
  EXPECT_EQ(settings._4_outformat.Get(), "%1 - %4");
  EXPECT_EQ(settings._4_id3.Get(), 1u) << "the first run began from the factory defaults";
}

TEST_F(BuildCommandTest, ExitStatusTellsWhatHappened) {
  WriteFile(music + Native("Nina/Blue/02 Broken.mp3"), testing::MakeGarbage(3000));
  const std::string invalid = "You must specify a valid root directory and file extension list.";
  const struct {
    std::vector<std::string> args;
    int status;
    std::string message;
  } cases[] = {
      // Reported without waiting for an answer; the run goes on.
      {{"--quiet", "--location", location, "--root", music},
       1,
       "Error: Error reading information from file \"" + Native("Nina/Blue/02 Broken.mp3") + "\""},
      {{"--frobnicate"}, 2, "unknown option --frobnicate"},
      {{"--root"}, 2, "--root needs a value"},
      {{"--folder-format", "4"}, 2, "--folder-format takes 0, 1, 2 or 3"},
      {{"--quiet", "--location", location, "--root", dir / "nowhere"}, 2, invalid},
      {{"--quiet", "--location", location, "--root", music, "--extensions", ".mp3"}, 2, invalid},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const Outcome run = RunProgram(c.args, dir);
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
  }
  EXPECT_TRUE(testing::FileExists(location + Native("playlists/nina_blue.m3u")));
  NativeRegistryStore registry;
  EXPECT_EQ(Settings(registry)._4_ignorefileinfo.Get(), 0u) << "still alerting";
}

#ifndef _WIN32
TEST_F(BuildCommandTest, ADamagedSettingsFileKeepsWhatCanBeRead) {
  ASSERT_EQ(RunProgram({"--quiet", "--location", location, "--root", music, "--no-headers"}, dir).status, 0);
  const std::string file = dir / "registry/HKEY_CURRENT_USER.reg";
  const std::string text = ReadFile(file) + "[HKEY_CURRENT_USER\\Software\\Corvale\\Auralith]\r\n\x01 not a line\r\n";
  WriteFile(file, text);
  const Outcome run = RunProgram({"--quiet", "--root", music, "--folder-format", "1"}, dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("could not be read"), std::string::npos) << run.output;
  EXPECT_EQ(ReadFile(file + ".bak"), text);
  NativeRegistryStore registry;
  EXPECT_EQ(Settings(registry)._4_headers.Get(), 0u) << "the values that could be read were kept";
}
#endif

}  // namespace
}  // namespace auralith

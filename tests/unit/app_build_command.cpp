// The auralith-build program run as a user runs it: options, exit status,
// messages and what it stores.

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
#include <windows.h>
#else
#include <sys/wait.h>
#endif

namespace auralith {
namespace {

using testing::Native;
using testing::ReadFile;
using testing::WriteFile;

std::string ProgramPath() {
  const char* env = std::getenv("AURALITH_PROGRAM_DIR");
  std::string dir = env ? env : "";
#ifdef _WIN32
  if (!dir.empty() && dir[0] == '/') dir = "Z:" + dir;
  for (char& c : dir)
    if (c == '/') c = '\\';
  return WithTrailingSeparator(dir) + "auralith-build.exe";
#else
  return WithTrailingSeparator(dir) + "auralith-build";
#endif
}

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

#ifdef _WIN32
std::string Quote(const std::string& arg) {
  std::string q = "\"";
  for (char c : arg) {
    if (c == '"') q += '\\';
    q += c;
  }
  if (!arg.empty() && arg.back() == '\\') q += '\\';
  return q + "\"";
}

HANDLE Inheritable(const std::string& path) {
  SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
  return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
}
#else
std::string Quote(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}
#endif

Outcome RunProgram(const std::vector<std::string>& args, const testing::TempDir& dir) {
  Outcome outcome;
  const std::string outFile = dir / "stdout.txt";
  const std::string errFile = dir / "stderr.txt";
  std::string command = Quote(ProgramPath());
  for (const auto& arg : args) command += " " + Quote(arg);
#ifdef _WIN32
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = Inheritable(outFile);
  si.hStdError = Inheritable(errFile);
  PROCESS_INFORMATION pi{};
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 99);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    outcome.status = static_cast<int>(code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(si.hStdOutput);
  CloseHandle(si.hStdError);
#else
  const int raw = std::system((command + " >" + Quote(outFile) + " 2>" + Quote(errFile) + " </dev/null").c_str());
  outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
  outcome.out = ReadFile(outFile);
  outcome.err = ReadFile(errFile);
  return outcome;
}

class BuildCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    NativeRegistryStore().DeleteTree(Hive::CurrentUser, kSettingsKey);
#else
    setenv("AURALITH_REGISTRY_DIR", (dir / "registry").c_str(), 1);
#endif
    music = dir / "music/";
    location = dir / "loc/";
    testing::MakeDirectories(music);
    testing::Mp3Spec shape;
    shape.seconds = 2.1;
    shape.tags = {{.kind = testing::TagKind::Id3v23Latin1, .artist = "Nina", .album = "Blue", .title = "Song",
                  .track = "1"}};
    WriteFile(music + Native("Nina/Blue/01 Song.mp3"), testing::MakeMp3(shape));
  }
  void TearDown() override {
#ifdef _WIN32
    NativeRegistryStore().DeleteTree(Hive::CurrentUser, kSettingsKey);
#else
    unsetenv("AURALITH_REGISTRY_DIR");
#endif
  }

  testing::TempDir dir;
  std::string music, location;
};

TEST_F(BuildCommandTest, RunStoresItsOptionsAndWritesTheLibrary) {
  const Outcome run = RunProgram({"--quiet", "--location", location, "--root", music, "--folder-format", "3",
                                  "--no-headers", "--entry-format", "%1 - %4"},
                                 dir);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
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
  // The first run began from the factory defaults.
  EXPECT_EQ(settings._4_id3.Get(), 1u);
  EXPECT_EQ(settings._4_prefix.Get(), 1u);
}

TEST_F(BuildCommandTest, ExitStatusTellsWhatHappened) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* inErr;
  };
  const std::vector<Case> cases = {
      {"unknown option", {"--frobnicate"}, 2, "unknown option --frobnicate"},
      {"missing value", {"--root"}, 2, "--root needs a value"},
      {"bad folder format", {"--folder-format", "4"}, 2, "--folder-format takes 0, 1, 2 or 3"},
      {"no root", {"--quiet", "--location", location, "--root", dir / "nowhere"}, 2,
       "You must specify a valid root directory and file extension list."},
      {"no extension", {"--quiet", "--location", location, "--root", music, "--extensions", ".mp3"}, 2,
       "You must specify a valid root directory and file extension list."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome run = RunProgram(c.args, dir);
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE(run.err.find(c.inErr), std::string::npos) << run.err;
  }
}

TEST_F(BuildCommandTest, UnreadableFileIsReportedWithoutWaitingAndStaysAlerting) {
  WriteFile(music + Native("Nina/Blue/02 Broken.mp3"), testing::MakeGarbage(3000));
  const Outcome run = RunProgram({"--quiet", "--location", location, "--root", music}, dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Error: Error reading information from file \"" + Native("Nina/Blue/02 Broken.mp3") +
                         "\""),
            std::string::npos)
      << run.err;
  NativeRegistryStore registry;
  Settings settings(registry);
  EXPECT_EQ(settings._4_ignorefileinfo.Get(), 0u);
  EXPECT_TRUE(testing::FileExists(location + Native("playlists/nina_blue.m3u")));
}

#ifndef _WIN32
TEST_F(BuildCommandTest, ADamagedSettingsFileKeepsWhatCanBeRead) {
  ASSERT_EQ(RunProgram({"--quiet", "--location", location, "--root", music, "--no-headers"}, dir).status, 0);
  // The location line is lost (a start with no location resets everything
  // else to factory defaults), and one more line is garbage.
  const std::string file = dir / "registry/HKEY_CURRENT_USER.reg";
  std::string text = ReadFile(file);
  const auto at = text.find("\"location\"=");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, text.find('\r', at) - at, "\"location\"=\"unterminated");
  text += "[HKEY_CURRENT_USER\\Software\\Corvale\\Auralith]\r\n\x01\x02 not a line\r\n";
  WriteFile(file, text);

  const Outcome run = RunProgram({"--quiet", "--root", music}, dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("could not be read"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFile(file + ".bak"), text);
  NativeRegistryStore registry;
  Settings settings(registry);
  EXPECT_EQ(settings._4_headers.Get(), 0u) << "the values that could be read were kept";
  EXPECT_EQ(settings._4_music.Get(), music);

  // A file that is no settings file at all is never written over.
  WriteFile(file, "\x89PNG\r\n");
  const Outcome refused = RunProgram({"--quiet", "--location", location, "--root", music}, dir);
  EXPECT_NE(refused.status, 0);
  EXPECT_NE(refused.err.find("cannot be read"), std::string::npos) << refused.err;
  EXPECT_EQ(ReadFile(file), "\x89PNG\r\n");
}
#endif

}  // namespace
}  // namespace auralith

// Runs the built AuralithURL.exe as the shell would. The player is a copy of
// this test program named "winamp.exe". Error boxes need a display (Xvfb).
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/native.h"
#include "settings/settings.h"
#include "support/test_support.h"
#include "win32/win32_support.h"

namespace auralith {
namespace {

using testing::ModulePath;
using testing::Quoted;

// Started as "winamp.exe", this program records its command line beside
// itself (whole, through a rename) and ends before any test runs.
[[maybe_unused]] const bool kIsPlayer = [] {
  const std::string self = ModulePath();
  const std::size_t slash = self.rfind('\\') + 1;
  if (lstrcmpiA(self.c_str() + slash, "winamp.exe") != 0) return false;
  const std::string record = self.substr(0, slash) + "command-line.txt";
  testing::WriteFile(record + ".part", GetCommandLineA());
  MoveFileA((record + ".part").c_str(), record.c_str());
  ExitProcess(0);
}();

// Runs the handler to its end, reading and closing its boxes.
testing::Answered RunHandler(const std::string& arguments) {
  const std::string program = Quoted(testing::ProgramFolder() + "AuralithURL.exe");
  return testing::RunAnswering({.commandLine = program + (arguments.empty() ? "" : " ") + arguments}, "Auralith", IDOK);
}

class UrlHandlerProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Spaces in both folders: each path must reach the player as one argument.
    testing::WriteFile(playlist_, "#EXTM3U\r\n");
    testing::MakeDirectories(player_);
    ASSERT_TRUE(CopyFileA(ModulePath().c_str(), (player_ + "winamp.exe").c_str(), FALSE));
    registry_.DeleteTree(Hive::CurrentUser, kSettingsKey);
    testing::StoreLocation(registry_, location_);
    registry_.Set(Hive::CurrentUser, kSettingsKey, "winamp", RegValue{kRegSz, player_ + '\0'});
  }
  void TearDown() override { registry_.DeleteTree(Hive::CurrentUser, kSettingsKey); }

  // The player's command line, or "" when it has not run within `wait`.
  std::string Recorded(std::chrono::milliseconds wait = testing::kProgramTimeout) {
    const std::string record = player_ + "command-line.txt";
    for (const auto deadline = std::chrono::steady_clock::now() + wait; !testing::FileExists(record); Sleep(100))
      if (std::chrono::steady_clock::now() > deadline) return "";
    return testing::ReadFile(record);
  }

  NativeRegistryStore registry_;
  testing::TempDir dir_;
  const std::string location_ = dir_ / "Music Desk/", player_ = dir_ / "Player Folder/";
  const std::string playlist_ = location_ + "playlists\\a.m3u";
};

TEST_F(UrlHandlerProgramTest, WinampOrElseTheSystemsProgramForM3uFilesGetsThePlaylistAsOneArgument) {
  EXPECT_EQ(RunHandler("\"AURALITH://play/a.m3u/\"").code, 0);
  EXPECT_EQ(Recorded(), Quoted(player_ + "winamp.exe") + " " + Quoted(playlist_));
  DeleteFileA((player_ + "command-line.txt").c_str());

  const testing::SavedKey m3u(HKEY_CLASSES_ROOT, ".m3u"), type(HKEY_CLASSES_ROOT, "AuralithTest.Playlist");
  testing::SetClass(".m3u", "AuralithTest.Playlist");
  testing::SetClass("AuralithTest.Playlist\\shell\\open\\command", Quoted(player_ + "winamp.exe") + " \"%1\"");
  registry_.Set(Hive::CurrentUser, kSettingsKey, "winamp", RegValue{kRegSz, std::string(1, '\0')});
  const testing::Answered outcome = RunHandler("auralith:play/a.m3u");
  EXPECT_EQ(outcome.code, 0);
  EXPECT_EQ(outcome.message, "");
  EXPECT_EQ(Recorded(), Quoted(player_ + "winamp.exe") + " " + Quoted(playlist_));
}

TEST_F(UrlHandlerProgramTest, RefusalsAndFailedStartsAreShownAndPlayNothing) {
  const struct {
    std::string arguments;
    int code;
    std::string message;  // how the box's text begins
  } kCases[] = {
      {"", 1, "AuralithURL.exe plays the playlists"},
      {"auralith:play/a.m3u extra", 1, "AuralithURL.exe takes exactly one link"},
      // A "winamp.exe" that is no program: the start fails, and says so.
      {"auralith:play/a.m3u", 2, "Auralith could not start Winamp (\"" + player_ + "winamp.exe\")"},
  };
  for (const auto& c : kCases) {
    if (c.code == 2) testing::WriteFile(player_ + "winamp.exe", "not a program");
    const testing::Answered outcome = RunHandler(c.arguments);
    EXPECT_EQ(outcome.code, c.code) << c.arguments;
    EXPECT_EQ(outcome.message.substr(0, c.message.size()), c.message) << c.arguments;
  }
  EXPECT_EQ(Recorded(std::chrono::milliseconds(2000)), "");
}

}  // namespace
}  // namespace auralith

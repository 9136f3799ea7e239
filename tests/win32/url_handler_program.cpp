// Runs the built AuralithURL.exe as the shell would. Winamp, and the system's
// program for .m3u files, is a copy of this test program named "winamp.exe",
// which records its command line and ends.
// Error boxes need a display (Xvfb under Wine).
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/native.h"
#include "settings/settings.h"
#include "support/test_support.h"
#include "win32/win32_support.h"

namespace auralith {
namespace {

using testing::ModulePath;

constexpr auto kTimeout = std::chrono::seconds(90);

// Started as "winamp.exe", this program records its command line beside
// itself (whole, through a rename) and ends before any test runs.
[[maybe_unused]] const bool kIsPlayer = [] {
  const std::string self = ModulePath();
  const std::size_t slash = self.rfind('\\') + 1;
  if (lstrcmpiA(self.c_str() + slash, "winamp.exe") != 0) return false;
  const std::string record = self.substr(0, slash) + "command-line.txt";
  if (FILE* file = std::fopen((record + ".part").c_str(), "wb")) {
    std::fputs(GetCommandLineA(), file);
    std::fclose(file);
  }
  MoveFileA((record + ".part").c_str(), record.c_str());
  ExitProcess(0);
}();

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

struct Outcome {
  int code = -1;
  std::string message;  // of the last "Auralith" box the handler showed
};

// Runs the handler with `arguments` to its end, reading and closing its boxes.
Outcome RunHandler(const std::string& program, const std::string& arguments) {
  Outcome outcome;
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  std::string line = Quoted(program) + (arguments.empty() ? "" : " ") + arguments;
  if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    ADD_FAILURE() << "cannot start " << program << " (error " << GetLastError() << ")";
    return outcome;
  }
  const auto deadline = std::chrono::steady_clock::now() + kTimeout;
  while (WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << arguments << ": did not end";
      TerminateProcess(process.hProcess, 99);
      WaitForSingleObject(process.hProcess, 5000);
      break;
    }
    HWND box = FindWindowA("#32770", "Auralith");
    DWORD owner = 0;
    if (box != nullptr) GetWindowThreadProcessId(box, &owner);
    char text[2048] = "";
    // A box just made may not hold its text yet; 0xFFFF is its text's id.
    if (owner == process.dwProcessId && GetDlgItemTextA(box, 0xFFFF, text, sizeof(text)) > 0) {
      outcome.message = text;
      PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
  }
  DWORD code = 0;
  if (GetExitCodeProcess(process.hProcess, &code)) outcome.code = static_cast<int>(code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return outcome;
}

class UrlHandlerProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(testing::ProgramFolder().empty()) << "AURALITH_PROGRAM_DIR is not set";
    program_ = testing::ProgramFolder() + "AuralithURL.exe";
    ASSERT_NE(GetFileAttributesA(program_.c_str()), INVALID_FILE_ATTRIBUTES) << program_ << " is not built";
    // Spaces in both folders: each path must reach the player as one argument.
    location_ = dir_ / "Music Desk/";
    player_ = dir_ / "Player Folder/";
    playlist_ = location_ + "playlists\\a.m3u";
    testing::WriteFile(playlist_, "#EXTM3U\r\n");
    testing::MakeDirectories(player_);
    ASSERT_TRUE(CopyFileA(ModulePath().c_str(), (player_ + "winamp.exe").c_str(), FALSE));
    registry_.DeleteTree(Hive::CurrentUser, kSettingsKey);
    testing::StoreLocation(registry_, location_);
    registry_.Set(Hive::CurrentUser, kSettingsKey, "winamp", RegValue{kRegSz, player_ + '\0'});
  }
  void TearDown() override { registry_.DeleteTree(Hive::CurrentUser, kSettingsKey); }

  // The player's command line once it has run, or "" when it has not within
  // `wait`.
  std::string Recorded(std::chrono::milliseconds wait = kTimeout) {
    const std::string record = player_ + "command-line.txt";
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!testing::FileExists(record) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return testing::FileExists(record) ? testing::ReadFile(record) : "";
  }

  NativeRegistryStore registry_;
  testing::TempDir dir_;
  std::string program_, location_, player_, playlist_;
};

TEST_F(UrlHandlerProgramTest, WinampGetsThePlaylistAsItsOneArgument) {
  const Outcome outcome = RunHandler(program_, "\"AURALITH://play/a.m3u/\"");
  EXPECT_EQ(outcome.code, 0);
  EXPECT_EQ(outcome.message, "");
  EXPECT_EQ(Recorded(), Quoted(player_ + "winamp.exe") + " " + Quoted(playlist_));
}

TEST_F(UrlHandlerProgramTest, WithoutWinampTheSystemsProgramForM3uFilesGetsThePlaylist) {
  const testing::SavedKey m3u(HKEY_CLASSES_ROOT, ".m3u"), type(HKEY_CLASSES_ROOT, "AuralithTest.Playlist");
  testing::SetClass(".m3u", "AuralithTest.Playlist");
  testing::SetClass("AuralithTest.Playlist\\shell\\open\\command", Quoted(player_ + "winamp.exe") + " \"%1\"");
  registry_.Set(Hive::CurrentUser, kSettingsKey, "winamp", RegValue{kRegSz, std::string(1, '\0')});
  const Outcome outcome = RunHandler(program_, "auralith:play/a.m3u");
  EXPECT_EQ(outcome.code, 0);
  EXPECT_EQ(outcome.message, "");
  EXPECT_EQ(Recorded(), Quoted(player_ + "winamp.exe") + " " + Quoted(playlist_));
}

TEST_F(UrlHandlerProgramTest, RefusalsAndFailedStartsAreShownAndPlayNothing) {
  testing::WriteFile(location_ + "b.m3u", "");
  const struct {
    std::string arguments;
    std::string message;  // how the box's text begins
  } kCases[] = {
      {"", "AuralithURL.exe plays the playlists"},
      {"\"auralith:play/..\\b.m3u\"", "This link does not name a playlist of Auralith: \"auralith:play/..\\b.m3u\""},
      {"auralith:play/c.m3u",
       "Auralith has no playlist \"c.m3u\" in its playlists folder:\n" + location_ + "playlists\\"},
      {"auralith:play/a.m3u extra", "AuralithURL.exe takes exactly one link"},
  };
  for (const auto& c : kCases) {
    const Outcome outcome = RunHandler(program_, c.arguments);
    EXPECT_EQ(outcome.code, 1) << c.arguments;
    EXPECT_EQ(outcome.message.substr(0, c.message.size()), c.message) << c.arguments;
  }
  EXPECT_EQ(Recorded(std::chrono::milliseconds(2000)), "");
  // A "winamp.exe" that is no program: the start fails, and says so.
  testing::WriteFile(player_ + "winamp.exe", "not a program");
  const Outcome outcome = RunHandler(program_, "auralith:play/a.m3u");
  EXPECT_EQ(outcome.code, 2);
  const std::string message = "Auralith could not start Winamp (\"" + player_ + "winamp.exe\")";
  EXPECT_EQ(outcome.message.substr(0, message.size()), message);
}

}  // namespace
}  // namespace auralith

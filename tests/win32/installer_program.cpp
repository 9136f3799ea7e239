// The way a user goes, in a Wine prefix made afresh for each run: the built installer run silently, with a stand-in
// player for .m3u files; a music folder and "Generate playlists" in the window it opens; then its uninstaller. The
// windows need a display (Xvfb under Wine).
#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>
#include <prsht.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "resource.h"
#include "support/audio_fixtures.h"
#include "support/test_support.h"
#include "win32/win32_support.h"

namespace auralith {
namespace {

using testing::GetValue;
using testing::KeyExists;
using testing::Quoted;
using testing::RegNumber;
using testing::RegText;
using testing::RunProcess;

constexpr const char* kSettingsKey = "Software\\Corvale\\Auralith";
constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Auralith";
constexpr const char* kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
constexpr const char* kAdvanced = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
constexpr auto kTimeout = testing::kProgramTimeout;

// The configuration window that the installer started: the dialog captioned "Auralith" that has tabs (a message box may
// share the caption). Left open by a failure, it goes with the prefix's other processes when the test ends.
struct Sheet {
  HWND window = nullptr;
  HANDLE process = nullptr;
  Sheet() {
    for (const auto deadline = std::chrono::steady_clock::now() + kTimeout;
         !window && std::chrono::steady_clock::now() < deadline; Sleep(100))
      for (HWND found = FindWindowExA(nullptr, nullptr, "#32770", "Auralith"); found && !window;
           found = FindWindowExA(nullptr, found, "#32770", "Auralith"))
        if (FindWindowExA(found, nullptr, WC_TABCONTROLA, nullptr)) window = found;
    DWORD id = 0;
    if (window && GetWindowThreadProcessId(window, &id))
      process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
  }
};

// Windows' shell state: the flag at offset 4, 0x40, shows the desktop as a web page.
bool ShowsDesktopPage() {
  const std::string state = GetValue(HKEY_CURRENT_USER, kExplorer, "ShellState").second;
  return state.size() > 4 && (state[4] & 0x40) != 0;
}

// Types the music folder on the Playlists page of `sheet` and clicks
// "Generate playlists"; true when the run ended in time.
bool Generate(HWND sheet, const std::string& music) {
  const auto timeout = static_cast<UINT>(std::chrono::milliseconds(kTimeout).count());
  DWORD_PTR page = 0, ignored = 0;
  SendMessageTimeoutA(sheet, PSM_SETCURSEL, 1, 0, SMTO_NORMAL, timeout, &ignored);
  SendMessageTimeoutA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0, SMTO_NORMAL, timeout, &page);
  const HWND playlists = reinterpret_cast<HWND>(page);
  SendMessageTimeoutA(GetDlgItem(playlists, IDC_MUSIC), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(music.c_str()),
                      SMTO_NORMAL, timeout, &ignored);
  // The click returns when the run's window has closed.
  return SendMessageTimeoutA(GetDlgItem(playlists, IDC_GENERATE), BM_CLICK, 0, 0, SMTO_NORMAL, timeout, &ignored) != 0;
}

TEST(InstallerProgramTest, InstallGeneratePlayAndUninstallLeaveOnlyTheUsersFiles) {
  const std::string installer = testing::PathFromEnvironment("AURALITH_INSTALLER");
  if (installer.empty()) GTEST_SKIP() << "this build makes no installer (makensis was not found)";
  const testing::TempDir area, player, music;
  const std::string folder = area / "Auralith";
  // The player, as start-up finds it: through the program for .m3u files.
  testing::MakeDirectories(player / "plugins");
  ASSERT_TRUE(CopyFileA(testing::ModulePath().c_str(), (player / "winamp.exe").c_str(), FALSE));
  testing::SetClass(".m3u", "Winamp.File");
  testing::SetClass("Winamp.File\\shell\\open\\command", Quoted(player / "winamp.exe") + " \"%1\"");
  const std::string state = std::string(1, 36) + std::string(35, '\0');  // its size first, then no flag set
  SHSetValueA(HKEY_CURRENT_USER, kExplorer, "ShellState", REG_BINARY, state.data(), static_cast<DWORD>(state.size()));
  char menu[MAX_PATH] = "";
  ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, menu), S_OK);
  const std::string shortcut = std::string(menu) + "\\Auralith.lnk";

  ASSERT_EQ(RunProcess({.commandLine = Quoted(installer) + " /S /D=" + folder}), 0);
  const Sheet sheet;
  ASSERT_TRUE(sheet.process) << "the install did not open the program's configuration window";

  // The program folder as the build left it, and the 32-bit plug-in in the player's folder, where start-up put it.
  const std::string programs = testing::ProgramFolder();
  for (const char* name : {"Auralith.exe", "auralith-build.exe", "Auralith.htm", "Auralith Help.htm", "AuralithURL.exe",
                           "gen_auralith.dll"}) {
    ASSERT_TRUE(testing::FileExists(programs + name)) << name;
    EXPECT_TRUE(testing::ReadFile(folder + "\\" + name) == testing::ReadFile(programs + name)) << name;
  }
  EXPECT_TRUE(testing::ReadFile(player / "plugins/gen_auralith.dll") ==
              testing::ReadFile(programs + "gen_auralith.dll"));
  EXPECT_TRUE(testing::FileExists(shortcut));
  // -install applied the first start's configuration: icons hidden, the page on the desktop.
  EXPECT_EQ(GetValue(HKEY_CURRENT_USER, kAdvanced, "HideIcons"), RegNumber(1));
  EXPECT_TRUE(ShowsDesktopPage());

  // The installed-programs entry, with the version the installer is named for ("Auralith-<version>-setup.exe").
  const std::string setup = installer.substr(installer.rfind('\\') + 1);
  const std::string uninstaller = folder + "\\Uninstall.exe";
  const std::pair<const char*, testing::Stored> entry[] = {
      {"DisplayName", RegText("Auralith")},
      {"DisplayVersion", RegText(setup.substr(9, setup.size() - 19))},
      {"Publisher", RegText("Corvale")},
      {"DisplayIcon", RegText(folder + "\\Auralith.exe,0")},
      {"InstallLocation", RegText(folder)},
      {"UninstallString", RegText(Quoted(uninstaller))},
      {"QuietUninstallString", RegText(Quoted(uninstaller) + " /S")},
      {"NoModify", RegNumber(1)},
      {"NoRepair", RegNumber(1)},
  };
  for (const auto& [name, value] : entry) EXPECT_EQ(GetValue(HKEY_CURRENT_USER, kUninstallKey, name), value) << name;
  EXPECT_EQ(GetValue(HKEY_CURRENT_USER, kUninstallKey, "EstimatedSize").first, static_cast<DWORD>(REG_DWORD));

  // Started as registered, an NSIS uninstaller runs a copy of itself and
  // returns at once; the copy, started with _?=<folder>, returns when done.
  testing::TempDir elsewhere;
  ASSERT_TRUE(CopyFileA(uninstaller.c_str(), (elsewhere.path() + "Uninstall.exe").c_str(), FALSE));
  const std::string uninstall = Quoted(elsewhere.path() + "Uninstall.exe") + " /S _?=" + folder;

  // While Auralith runs, a silent uninstall fails and changes nothing.
  EXPECT_EQ(RunProcess({.commandLine = uninstall}), 2);
  EXPECT_TRUE(testing::FileExists(uninstaller));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kSettingsKey));

  // A small library, its artist and album in the tags.
  for (const std::string title : {"Dawn", "Noon"}) {
    const testing::TagShape tag{.artist = "Lumen", .album = "First Light", .title = title};
    testing::WriteFile(music / ("Lumen/" + title + ".mp3"), testing::MakeMp3({.tags = {tag}}));
  }
  ASSERT_TRUE(Generate(sheet.window, music.path())) << "Generate playlists did not end";
  const std::string playlist = folder + "\\playlists\\lumen_firstlight.m3u";
  EXPECT_NE(testing::ReadFile(playlist).find("Noon.mp3"), std::string::npos) << playlist;
  // Cancel stores nothing.
  for (const auto deadline = std::chrono::steady_clock::now() + kTimeout;
       WaitForSingleObject(sheet.process, 100) == WAIT_TIMEOUT && std::chrono::steady_clock::now() < deadline;)
    PostMessageA(sheet.window, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
  DWORD code = 1;
  ASSERT_TRUE(GetExitCodeProcess(sheet.process, &code) && code == 0) << code;

  // A file of the user's own.
  testing::WriteFile(folder + "\\notes.txt", "mine");
  ASSERT_EQ(RunProcess({.commandLine = uninstall}), 0);

  EXPECT_EQ(testing::ListNames(folder), std::vector<std::string>{"notes.txt"});
  EXPECT_FALSE(testing::FileExists(shortcut));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSettingsKey)) << "Auralith.exe -uninstall did not run";
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Auralith")) << "the URL protocol still names the removed handler";
  EXPECT_FALSE(testing::FileExists(player / "plugins/gen_auralith.dll"));
  EXPECT_EQ(GetValue(HKEY_CURRENT_USER, kAdvanced, "HideIcons"), RegNumber(0));
  EXPECT_FALSE(ShowsDesktopPage());
}

}  // namespace
}  // namespace auralith

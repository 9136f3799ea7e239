// The way a user goes, in a Wine prefix of its own made afresh for each run
// (scripts/wine-run, AURALITH_WINE_FRESH): the built installer run silently,
// with a stand-in player as the program for .m3u files; in the window it
// opens, a music folder and "Generate playlists"; a desktop-page link played
// through the installed URL handler; then the uninstaller it leaves. The
// windows need a display (Xvfb under Wine).
#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>
#include <prsht.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "resource.h"
#include "support/audio_fixtures.h"
#include "support/test_support.h"
#include "win32/win32_support.h"

namespace auralith {
namespace {

constexpr const char* kSettingsKey = "Software\\Corvale\\Auralith";
constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Auralith";
// The URL protocol, registered for the user or for the machine.
constexpr const char* kUrlKey = "Software\\Classes\\Auralith";
constexpr const char* kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
constexpr const char* kAdvanced = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
// A fresh Wine prefix can take long over its first window.
constexpr auto kTimeout = std::chrono::seconds(120);

using testing::KeyExists;
using testing::SavedKey;

// A value of HKEY_CURRENT_USER as its type and bytes.
std::pair<DWORD, std::string> Get(const char* key, const char* name) {
  char data[4096];
  DWORD size = sizeof(data), type = REG_NONE;
  if (RegGetValueA(HKEY_CURRENT_USER, key, name, RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size) != ERROR_SUCCESS)
    return {REG_NONE, ""};
  return {type, std::string(data, size)};
}
std::pair<DWORD, std::string> Text(const std::string& text) { return {REG_SZ, text + std::string(1, '\0')}; }

struct ProcessCloser {
  void operator()(HANDLE process) const {
    if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0) TerminateProcess(process, 1);
    CloseHandle(process);
  }
};
// Ended when it goes, so that a failed test leaves nothing running.
using Process = std::unique_ptr<void, ProcessCloser>;

// Its exit code once it has ended, or -1 when it had not.
int ExitCode(const Process& process) {
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) GetExitCodeProcess(process.get(), &code);
  return static_cast<int>(code);
}

int RunToEnd(const std::string& commandLine) {
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  std::string line = commandLine;
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    ADD_FAILURE() << "cannot start " << commandLine << " (error " << GetLastError() << ")";
    return -1;
  }
  CloseHandle(info.hThread);
  const Process process(info.hProcess);
  WaitForSingleObject(info.hProcess, static_cast<DWORD>(std::chrono::milliseconds(kTimeout).count()));
  return ExitCode(process);
}

// The configuration window of `program`, which this test did not start: the
// dialog captioned "Auralith" that has tabs (a message box may carry the
// same caption), and its process.
std::pair<HWND, Process> WaitForSheetOf(const std::string& program) {
  for (const auto deadline = std::chrono::steady_clock::now() + kTimeout; std::chrono::steady_clock::now() < deadline;
       std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
    for (HWND window = FindWindowExA(nullptr, nullptr, "#32770", "Auralith"); window;
         window = FindWindowExA(nullptr, window, "#32770", "Auralith")) {
      if (!FindWindowExA(window, nullptr, WC_TABCONTROLA, nullptr)) continue;
      DWORD id = 0;
      GetWindowThreadProcessId(window, &id);
      HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, id);
      char image[MAX_PATH * 2] = "";
      DWORD size = sizeof(image);
      if (process && QueryFullProcessImageNameA(process, 0, image, &size) && lstrcmpiA(image, program.c_str()) == 0)
        return {window, Process(process)};
      if (process) CloseHandle(process);
    }
  }
  return {nullptr, nullptr};
}

// The shell's state as Windows keeps it: its size, then the flags the
// desktop page switches (0x40 in the word at offset 4: show it as a web page).
std::string ShellState() {
  std::string state(36, '\0');
  state[0] = 36;
  return state;
}
bool ShowsDesktopPage() {
  const std::string state = Get(kExplorer, "ShellState").second;
  return state.size() > 4 && (state[4] & 0x40) != 0;
}

class InstallerProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    installer_ = testing::PathFromEnvironment("AURALITH_INSTALLER");
    if (installer_.empty()) GTEST_SKIP() << "this build makes no installer (makensis was not found)";
    for (const auto& [root, key] :
         {std::pair{HKEY_CURRENT_USER, kSettingsKey}, std::pair{HKEY_CURRENT_USER, kUninstallKey},
          std::pair{HKEY_CURRENT_USER, kUrlKey}, std::pair{HKEY_LOCAL_MACHINE, kUrlKey}})
      SHDeleteKeyA(root, key);
    // The player, as start-up finds it: through the program for .m3u files.
    testing::MakeDirectories(player_ / "plugins");
    ASSERT_TRUE(CopyFileA(testing::ModulePath().c_str(), (player_ / "winamp.exe").c_str(), FALSE));
    testing::SetClass(".m3u", "Winamp.File");
    testing::SetClass("Winamp.File\\shell\\open\\command", "\"" + (player_ / "winamp.exe") + "\" \"%1\"");
    const std::string state = ShellState();
    SHSetValueA(HKEY_CURRENT_USER, kExplorer, "ShellState", REG_BINARY, state.data(), static_cast<DWORD>(state.size()));
    char menu[MAX_PATH] = "";
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, menu), S_OK);
    shortcut_ = std::string(menu) + "\\Auralith.lnk";
  }
  // What a failed test may have left outside the registry and its folders.
  void TearDown() override {
    if (!shortcut_.empty()) DeleteFileA(shortcut_.c_str());
  }

  // Declared first, so that they are put back last.
  SavedKey saved_[7] = {{HKEY_CURRENT_USER, kSettingsKey}, {HKEY_CURRENT_USER, kUninstallKey},
                        {HKEY_CURRENT_USER, kExplorer},    {HKEY_CURRENT_USER, kUrlKey},
                        {HKEY_LOCAL_MACHINE, kUrlKey},     {HKEY_CLASSES_ROOT, ".m3u"},
                        {HKEY_CLASSES_ROOT, "Winamp.File"}};
  testing::TempDir area_;
  testing::TempDir player_;
  testing::TempDir music_;
  const std::string folder_ = area_ / "Auralith";
  std::string installer_;
  std::string shortcut_;
};

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

TEST_F(InstallerProgramTest, InstallGeneratePlayAndUninstallLeaveOnlyTheUsersFiles) {
  ASSERT_EQ(RunToEnd("\"" + installer_ + "\" /S /D=" + folder_), 0);
  auto [sheet, auralith] = WaitForSheetOf(folder_ + "\\Auralith.exe");
  ASSERT_TRUE(sheet) << "the install did not open the installed program's configuration window";

  // The program folder as the build left it, the 32-bit plug-in included,
  // and that plug-in in the player's folder, where start-up put it.
  const std::string programs = testing::ProgramFolder();
  for (const char* name : {"Auralith.exe", "auralith-build.exe", "Auralith.htm", "Auralith Help.htm", "AuralithURL.exe",
                           "gen_auralith.dll"}) {
    EXPECT_TRUE(testing::FileExists(programs + name)) << name;
    EXPECT_TRUE(testing::ReadFile(folder_ + "\\" + name) == testing::ReadFile(programs + name)) << name;
  }
  EXPECT_TRUE(testing::ReadFile(player_ / "plugins/gen_auralith.dll") == testing::ReadFile(programs + "gen_auralith.dll"));
  EXPECT_TRUE(testing::FileExists(shortcut_));
  // -install applied the first start's configuration: icons hidden, the page
  // on the desktop.
  EXPECT_EQ(Get(kAdvanced, "HideIcons"), std::pair(static_cast<DWORD>(REG_DWORD), testing::LittleEndian(1, 4)));
  EXPECT_TRUE(ShowsDesktopPage());

  // The installed-programs entry; the version is the one the installer is
  // named for ("Auralith-<version>-setup.exe").
  const std::string setup = installer_.substr(installer_.rfind('\\') + 1);
  const std::string uninstaller = folder_ + "\\Uninstall.exe";
  const std::pair<const char*, std::pair<DWORD, std::string>> entry[] = {
      {"DisplayName", Text("Auralith")},
      {"DisplayVersion", Text(setup.substr(9, setup.size() - 19))},
      {"Publisher", Text("Corvale")},
      {"DisplayIcon", Text(folder_ + "\\Auralith.exe,0")},
      {"InstallLocation", Text(folder_)},
      {"UninstallString", Text("\"" + uninstaller + "\"")},
      {"QuietUninstallString", Text("\"" + uninstaller + "\" /S")},
      {"NoModify", {REG_DWORD, testing::LittleEndian(1, 4)}},
      {"NoRepair", {REG_DWORD, testing::LittleEndian(1, 4)}},
  };
  for (const auto& [name, value] : entry) EXPECT_EQ(Get(kUninstallKey, name), value) << name;
  EXPECT_EQ(Get(kUninstallKey, "EstimatedSize").first, static_cast<DWORD>(REG_DWORD));

  // An NSIS uninstaller started as registered copies itself away, starts the
  // copy with _?=<folder> and returns at once; started so by the test, the
  // copy returns when the work is done.
  testing::TempDir elsewhere;
  const std::string uninstall = "\"" + elsewhere.path() + "Uninstall.exe\" /S _?=" + folder_;
  ASSERT_TRUE(CopyFileA(uninstaller.c_str(), (elsewhere.path() + "Uninstall.exe").c_str(), FALSE));

  // While Auralith runs, a silent uninstall fails and changes nothing.
  EXPECT_EQ(RunToEnd(uninstall), 2);
  EXPECT_TRUE(testing::FileExists(uninstaller));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kSettingsKey));

  // A small library, its artist and album in the tags.
  for (const char* title : {"Dawn", "Noon"}) {
    const testing::TagSpec tag{.artist = "Lumen", .album = "First Light", .title = title};
    testing::WriteFile(music_ / ("Lumen/" + std::string(title) + ".mp3"), testing::MakeMp3({.tags = {tag}}));
  }
  ASSERT_TRUE(Generate(sheet, music_.path())) << "Generate playlists did not end";
  const std::string playlist = folder_ + "\\playlists\\lumen_firstlight.m3u";
  EXPECT_NE(testing::ReadFile(playlist).find("Noon.mp3"), std::string::npos) << playlist;
  // Cancel stores nothing.
  for (const auto deadline = std::chrono::steady_clock::now() + kTimeout;
       WaitForSingleObject(auralith.get(), 100) == WAIT_TIMEOUT && std::chrono::steady_clock::now() < deadline;)
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
  ASSERT_EQ(ExitCode(auralith), 0);

  // A click on the album in the desktop page: the player gets the playlist.
  // Start-up stored the player's folder as the association names it, in
  // lower case.
  EXPECT_EQ(RunToEnd("\"" + folder_ + "\\AuralithURL.exe\" \"Auralith:play/lumen_firstlight.m3u\""), 0);
  const std::string log = player_ / "command-line.txt";
  for (const auto deadline = std::chrono::steady_clock::now() + kTimeout;
       !testing::FileExists(log) && std::chrono::steady_clock::now() < deadline;)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::string played = testing::ReadFile(log);
  CharLowerBuffA(played.data(), static_cast<DWORD>(played.size()));
  std::string expected = "\"" + (player_ / "winamp.exe") + "\" \"" + playlist + "\"";
  CharLowerBuffA(expected.data(), static_cast<DWORD>(expected.size()));
  EXPECT_EQ(played, expected);

  // A file of the user's own.
  testing::WriteFile(folder_ + "\\notes.txt", "mine");
  ASSERT_EQ(RunToEnd(uninstall), 0);

  EXPECT_EQ(testing::ListNames(folder_), std::vector<std::string>{"notes.txt"});
  EXPECT_FALSE(testing::FileExists(shortcut_));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSettingsKey)) << "Auralith.exe -uninstall did not run";
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Auralith")) << "the URL protocol still names the removed handler";
  EXPECT_FALSE(testing::FileExists(player_ / "plugins/gen_auralith.dll"));
  EXPECT_EQ(Get(kAdvanced, "HideIcons"), std::pair(static_cast<DWORD>(REG_DWORD), testing::LittleEndian(0, 4)));
  EXPECT_FALSE(ShowsDesktopPage());
}

}  // namespace
}  // namespace auralith

// Runs the built installer as an administrator's script would (silently, into
// a folder of its choosing), then the uninstaller it leaves. The window that
// the install opens needs a display (Xvfb under Wine).
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

#include "support/test_support.h"
#include "win32/win32_support.h"

namespace auralith {
namespace {

constexpr const char* kSettingsKey = "Software\\Corvale\\Auralith";
constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Auralith";
// The URL protocol, registered for the user or for the machine.
constexpr const char* kUrlKey = "Software\\Classes\\Auralith";
constexpr const char* kAdvanced = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
constexpr const char* kBackupKey = "Software\\Auralith installer test ";
// A fresh Wine prefix can take long over its first window.
constexpr auto kTimeout = std::chrono::seconds(120);

// A path from the test's environment as a Windows program sees it; under
// Wine a Unix path is reached through drive Z:.
bool KeyExists(HKEY root, const char* key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(root, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

// A key with everything below it, kept aside while the test changes it and
// put back afterwards (or removed, when there was none).
class SavedKey {
 public:
  SavedKey(HKEY root, const char* key, int slot)
      : root_(root), key_(key), backup_(kBackupKey + std::to_string(slot)), existed_(KeyExists(root, key)) {
    if (existed_) Copy(root_, key_, HKEY_CURRENT_USER, backup_.c_str());
  }
  ~SavedKey() {
    SHDeleteKeyA(root_, key_);
    if (!existed_) return;
    Copy(HKEY_CURRENT_USER, backup_.c_str(), root_, key_);
    SHDeleteKeyA(HKEY_CURRENT_USER, backup_.c_str());
  }
  SavedKey(const SavedKey&) = delete;
  SavedKey& operator=(const SavedKey&) = delete;

 private:
  static void Copy(HKEY fromRoot, const char* from, HKEY toRoot, const char* to) {
    HKEY source = nullptr, target = nullptr;
    if (RegOpenKeyExA(fromRoot, from, 0, KEY_READ, &source) == ERROR_SUCCESS &&
        RegCreateKeyExA(toRoot, to, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &target, nullptr) == ERROR_SUCCESS) {
      EXPECT_EQ(RegCopyTreeA(source, nullptr, target), ERROR_SUCCESS) << from;
    }
    if (source) RegCloseKey(source);
    if (target) RegCloseKey(target);
  }
  HKEY root_;
  const char* key_;
  std::string backup_;
  bool existed_;
};

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

class InstallerProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    installer_ = testing::PathFromEnvironment("AURALITH_INSTALLER");
    if (installer_.empty()) GTEST_SKIP() << "this build makes no installer (makensis was not found)";
    for (const auto& [root, key] :
         {std::pair{HKEY_CURRENT_USER, kSettingsKey}, std::pair{HKEY_CURRENT_USER, kUninstallKey},
          std::pair{HKEY_CURRENT_USER, kUrlKey}, std::pair{HKEY_LOCAL_MACHINE, kUrlKey}})
      SHDeleteKeyA(root, key);
    // Start-up finds the player in the stored folder, and asks no location
    // question since `location` is already the folder installed into.
    testing::WriteFile(player_ / "winamp.exe", "");
    for (const auto& [name, text] : {std::pair{"winamp", player_.path()}, std::pair{"location", folder_ + "\\"}})
      SHSetValueA(HKEY_CURRENT_USER, kSettingsKey, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
    char menu[MAX_PATH] = "";
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, menu), S_OK);
    shortcut_ = std::string(menu) + "\\Auralith.lnk";
  }
  // What a failed test may have left outside the registry and its folders.
  void TearDown() override {
    if (!shortcut_.empty()) DeleteFileA(shortcut_.c_str());
  }

  // Declared first, so that they are put back last.
  SavedKey saved_[5] = {{HKEY_CURRENT_USER, kSettingsKey, 0},
                        {HKEY_CURRENT_USER, kUninstallKey, 1},
                        {HKEY_CURRENT_USER, kAdvanced, 2},
                        {HKEY_CURRENT_USER, kUrlKey, 3},
                        {HKEY_LOCAL_MACHINE, kUrlKey, 4}};
  testing::TempDir area_;
  testing::TempDir player_;
  const std::string folder_ = area_ / "Auralith";
  std::string installer_;
  std::string shortcut_;
};

TEST_F(InstallerProgramTest, SilentInstallThenUninstallLeavesOnlyTheUsersFiles) {
  ASSERT_EQ(RunToEnd("\"" + installer_ + "\" /S /D=" + folder_), 0);
  auto [sheet, auralith] = WaitForSheetOf(folder_ + "\\Auralith.exe");
  ASSERT_TRUE(sheet) << "the install did not open the installed program's configuration window";

  // The program folder as the build left it; the programs still being
  // written are packed only when they were built.
  const std::string programs = testing::ProgramFolder();
  for (const char* name : {"Auralith.exe", "auralith-build.exe", "Auralith.htm", "Auralith Help.htm", "AuralithURL.exe",
                           "gen_auralith.dll"}) {
    if (!testing::FileExists(programs + name)) continue;
    EXPECT_TRUE(testing::ReadFile(folder_ + "\\" + name) == testing::ReadFile(programs + name)) << name;
  }
  EXPECT_TRUE(testing::FileExists(shortcut_));

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
  // Cancel stores nothing.
  for (const auto deadline = std::chrono::steady_clock::now() + kTimeout;
       WaitForSingleObject(auralith.get(), 100) == WAIT_TIMEOUT && std::chrono::steady_clock::now() < deadline;)
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
  ASSERT_EQ(ExitCode(auralith), 0);

  // What a run generates, and a file of the user's own.
  testing::WriteFile(folder_ + "\\playlists\\artist_album.m3u", "x.mp3\r\n");
  testing::WriteFile(folder_ + "\\Auralith.archive", "cache");
  testing::WriteFile(folder_ + "\\notes.txt", "mine");
  ASSERT_EQ(RunToEnd(uninstall), 0);

  EXPECT_EQ(testing::ListNames(folder_), std::vector<std::string>{"notes.txt"});
  EXPECT_FALSE(testing::FileExists(shortcut_));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSettingsKey)) << "Auralith.exe -uninstall did not run";
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Auralith")) << "the URL protocol still names the removed handler";
}

}  // namespace
}  // namespace auralith

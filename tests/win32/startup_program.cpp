// Runs the built Auralith.exe as a user would and looks at what it leaves in
// the registry. The location question needs a display (Xvfb under Wine).
#include <windows.h>
// After windows.h, which it builds on.
#include <shlwapi.h>
#include <commctrl.h>
#include <prsht.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <utility>

#include "support/test_support.h"
#include "win32/win32_support.h"

namespace auralith {
namespace {

using testing::ProgramFolder;

constexpr const char* kSettingsKey = "Software\\Corvale\\Auralith";
constexpr const char* kAdvanced = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
constexpr const char* kQuestion =
    "It seems like you have run this application from another location before.\n"
    "Do you want to make this location the default one?";
constexpr DWORD kProcessTimeoutMs = 120000;
// A fresh Wine prefix can take long over its first window.
constexpr auto kWindowTimeout = std::chrono::seconds(90);

using Values = std::map<std::string, std::pair<DWORD, std::string>>;

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }
std::pair<DWORD, std::string> Text(const std::string& text) { return {REG_SZ, Sz(text)}; }
std::pair<DWORD, std::string> Number(std::uint32_t n) {
  return {REG_DWORD, std::string{static_cast<char>(n & 0xFF), static_cast<char>(n >> 8 & 0xFF),
                                 static_cast<char>(n >> 16 & 0xFF), static_cast<char>(n >> 24 & 0xFF)}};
}

// Every value of a key, enumerated with the registry's own calls.
Values ReadKey(const std::string& key) {
  Values values;
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return values;
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD nameSize = sizeof(name);
    BYTE data[4096];
    DWORD dataSize = sizeof(data);
    DWORD type = 0;
    if (RegEnumValueA(handle, index, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
    values[std::string(name, nameSize)] = {type, std::string(reinterpret_cast<char*>(data), dataSize)};
  }
  RegCloseKey(handle);
  return values;
}

bool KeyExists(const std::string& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

std::string WindowText(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof(text));
  return text;
}

// The message text of a message box: its static control with the longest text
// (the icon is a static too).
std::string MessageText(HWND box) {
  std::string longest;
  EnumChildWindows(
      box,
      [](HWND child, LPARAM param) -> BOOL {
        char className[64] = "";
        GetClassNameA(child, className, sizeof(className));
        if (lstrcmpiA(className, "Static") == 0) {
          auto* best = reinterpret_cast<std::string*>(param);
          const std::string text = WindowText(child);
          if (text.size() > best->size()) *best = text;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&longest));
  return longest;
}

HWND WaitForWindow(const char* caption) {
  const auto deadline = std::chrono::steady_clock::now() + kWindowTimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (HWND window = FindWindowA(nullptr, caption)) return window;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return nullptr;
}

// The configuration window of a process, once it is up.
HWND SheetOf(HANDLE process) {
  HWND sheet = FindWindowA("#32770", "Auralith");
  DWORD owner = 0;
  if (sheet != nullptr) GetWindowThreadProcessId(sheet, &owner);
  return sheet != nullptr && owner == GetProcessId(process) ? sheet : nullptr;
}

// Starts the program, lets `whileRunning` drive its windows, closes its
// configuration window with Cancel (which stores nothing) and waits for it to
// end; the process is killed when anything takes too long. Returns the exit
// code, or -1.
int RunProgram(const std::string& program, const std::string& commandLine, const std::string& folder = "",
               const std::function<void(HANDLE)>& whileRunning = nullptr) {
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  std::string line = commandLine;
  if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
    ADD_FAILURE() << "cannot start " << program << " (error " << GetLastError() << ")";
    return -1;
  }
  if (whileRunning) whileRunning(process.hProcess);
  const auto deadline = std::chrono::steady_clock::now() + kWindowTimeout;
  while (WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT && std::chrono::steady_clock::now() < deadline)
    if (HWND sheet = SheetOf(process.hProcess)) PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.hProcess, kProcessTimeoutMs) != WAIT_OBJECT_0) {
    ADD_FAILURE() << commandLine << " did not end";
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 5000);
  } else {
    GetExitCodeProcess(process.hProcess, &code);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

class StartupProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = ProgramFolder();
    program_ = folder_ + "Auralith.exe";
    ASSERT_FALSE(folder_.empty()) << "AURALITH_PROGRAM_DIR is not set";
    ASSERT_NE(GetFileAttributesA(program_.c_str()), INVALID_FILE_ATTRIBUTES) << program_ << " is not built";
    hideIcons_ = ReadKey(kAdvanced);
    SHDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
    // A player for start-up to find through its file association, so that
    // it asks nobody to browse for one.
    testing::WriteFile(player_ / "winamp.exe", "");
    testing::MakeDirectories(player_ / "plugins");
    const std::string command = "\"" + player_.path() + "winamp.exe\" \"%1\"";
    RegSetValueA(HKEY_CLASSES_ROOT, "Winamp.File\\shell\\open\\command", REG_SZ, command.c_str(),
                 static_cast<DWORD>(command.size()));
  }
  void TearDown() override {
    SHDeleteKeyA(HKEY_CLASSES_ROOT, "Winamp.File");
    SHDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
    // The shell's own switch goes back to what it was.
    HKEY handle = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kAdvanced, 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) !=
        ERROR_SUCCESS)
      return;
    const auto old = hideIcons_.find("HideIcons");
    if (old == hideIcons_.end()) {
      RegDeleteValueA(handle, "HideIcons");
    } else {
      RegSetValueExA(handle, "HideIcons", 0, old->second.first,
                     reinterpret_cast<const BYTE*>(old->second.second.data()),
                     static_cast<DWORD>(old->second.second.size()));
    }
    RegCloseKey(handle);
  }

  // Starts a copy in another folder, answers the location question with
  // `answer` and returns that folder's text as the program saw it.
  void StartElsewhere(const testing::TempDir& other, int answer) {
    const std::string copy = other.path() + "Auralith.exe";
    ASSERT_TRUE(CopyFileA(program_.c_str(), copy.c_str(), FALSE));
    std::string shownText;
    bool answered = false;
    const int code = RunProgram(copy, Quoted(copy), "", [&](HANDLE) {
      HWND box = WaitForWindow("Question");
      if (!box) return;
      shownText = MessageText(box);
      HWND button = GetDlgItem(box, answer);
      if (!button) return;
      DWORD_PTR ignored = 0;
      answered = SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored) != 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(answered) << "no question box with a button " << answer;
    EXPECT_EQ(shownText, kQuestion);
  }

  std::string folder_;
  std::string program_;
  Values hideIcons_;
  testing::TempDir player_;
};

TEST_F(StartupProgramTest, FirstStartLeavesTheFactoryValues) {
  ASSERT_EQ(RunProgram(program_, Quoted(program_)), 0);
  // Which values, and with which content, is the settings' own business
  // (tested on the memory registry); here: the real registry gets all of them,
  // texts and numbers each with their type.
  const Values found = ReadKey(kSettingsKey);
  EXPECT_EQ(found.size(), 30u);
  EXPECT_EQ(found.at("location"), Text(folder_));
  std::string player = player_.path();
  CharLowerBuffA(player.data(), static_cast<DWORD>(player.size()));
  EXPECT_EQ(found.at("winamp"), Text(player)) << "as the file association names it";
  EXPECT_EQ(found.at("4_outformat"), Text("%3. %4"));
  EXPECT_EQ(found.at("4_id3"), Number(1));
  EXPECT_EQ(found.at("2_backtype"), Number(0));
  EXPECT_EQ(ReadKey(kAdvanced)["HideIcons"], Number(1));
  // The link scheme names the handler beside the program, and the shipped
  // plug-in went into the player's plug-in folder.
  char command[1024] = "";
  LONG size = sizeof(command);
  ASSERT_EQ(RegQueryValueA(HKEY_CLASSES_ROOT, "Auralith\\shell\\open\\command", command, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(command), "\"" + folder_ + "AuralithURL.exe\" \"%1\"");
  EXPECT_EQ(testing::ReadFile(player_ / "plugins/gen_auralith.dll"), testing::ReadFile(folder_ + "gen_auralith.dll"));
}

TEST_F(StartupProgramTest, AnotherFolderAsksAndKeepsOrTakesTheNewOne) {
  ASSERT_EQ(RunProgram(program_, Quoted(program_)), 0);
  testing::TempDir other;
  StartElsewhere(other, IDNO);
  EXPECT_EQ(ReadKey(kSettingsKey)["location"], Text(folder_));
  StartElsewhere(other, IDYES);
  EXPECT_EQ(ReadKey(kSettingsKey)["location"], Text(other.path()));
  // Any further folder is asked about again.
  testing::TempDir third;
  StartElsewhere(third, IDNO);
  EXPECT_EQ(ReadKey(kSettingsKey)["location"], Text(other.path()));
}

TEST_F(StartupProgramTest, TheSameFolderInOtherLetterCaseIsNotAskedAbout) {
  ASSERT_EQ(RunProgram(program_, Quoted(program_)), 0);
  std::string lower = program_;
  CharLowerBuffA(lower.data(), static_cast<DWORD>(lower.size()));
  ASSERT_NE(lower, program_);
  bool asked = false;
  const int code = RunProgram(lower, Quoted(lower), "", [&](HANDLE process) {
    const auto deadline = std::chrono::steady_clock::now() + kWindowTimeout;
    while (!SheetOf(process) && WaitForSingleObject(process, 100) == WAIT_TIMEOUT &&
           std::chrono::steady_clock::now() < deadline) {
      if (HWND box = FindWindowA(nullptr, "Question")) {
        asked = true;
        PostMessageA(box, WM_COMMAND, IDNO, 0);
      }
    }
  });
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(asked);
  EXPECT_EQ(ReadKey(kSettingsKey)["location"], Text(folder_));
}

TEST_F(StartupProgramTest, StartByBareNameRecordsTheProgramFolder) {
  ASSERT_EQ(RunProgram(program_, ".\\Auralith.exe", folder_), 0);
  EXPECT_EQ(ReadKey(kSettingsKey)["location"], Text(folder_)) << "not the relative path";
  SHDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
  ASSERT_EQ(RunProgram(program_, "Auralith.exe", folder_), 0);
  EXPECT_EQ(ReadKey(kSettingsKey)["location"], Text(folder_));
  // So a second start is no first run: an edited option stays.
  HKEY handle = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_WRITE, &handle), ERROR_SUCCESS);
  RegSetValueExA(handle, "2_backcolor", 0, REG_SZ, reinterpret_cast<const BYTE*>("Red"), 4);
  RegCloseKey(handle);
  ASSERT_EQ(RunProgram(program_, "Auralith.exe", folder_), 0);
  EXPECT_EQ(ReadKey(kSettingsKey)["2_backcolor"], Text("Red"));
}

TEST_F(StartupProgramTest, UninstallRemovesTheSettingsKey) {
  ASSERT_EQ(RunProgram(program_, Quoted(program_)), 0);
  ASSERT_TRUE(KeyExists(kSettingsKey));
  ASSERT_EQ(RunProgram(program_, Quoted(program_) + " -uninstall"), 0);
  EXPECT_FALSE(KeyExists(kSettingsKey));
  EXPECT_EQ(ReadKey(kAdvanced)["HideIcons"], Number(0)) << "the desktop icons come back";
  EXPECT_TRUE(KeyExists("Software\\Corvale"));
}

}  // namespace
}  // namespace auralith

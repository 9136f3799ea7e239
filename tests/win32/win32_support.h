#pragma once

#include <windows.h>
// After windows.h, which it builds on.
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>

#include "support/test_support.h"

namespace auralith::testing {

// A fresh Wine prefix can take long over its first window.
inline constexpr auto kProgramTimeout = std::chrono::seconds(120);

// A path the build passes in an environment variable, as a Windows path; a
// Unix path under Wine is reached through drive Z:. Empty when unset.
inline std::string PathFromEnvironment(const char* name) {
  const char* env = std::getenv(name);
  std::string path = env ? env : "";
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

// The program folder that the build fills, ending in a backslash.
inline std::string ProgramFolder() {
  std::string dir = PathFromEnvironment("AURALITH_PROGRAM_DIR");
  if (!dir.empty() && dir.back() != '\\') dir.push_back('\\');
  return dir;
}

// This test program's own file; a copy named "winamp.exe" is a stand-in
// player that records its command line (url_handler_program.cpp).
inline std::string ModulePath() {
  char path[MAX_PATH * 4] = "";
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof(path));
  return std::string(path, n < sizeof(path) ? n : 0);
}

inline std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The members that a designated initializer leaves out are defaulted.
struct Run {
  std::string commandLine{};
  std::string program{};  // when it is not the command line's first word
  std::string folder{};   // the working folder
  std::string output{};   // a file for its standard output and error
  // Called about ten times a second while the program runs.
  std::function<void(HANDLE process)> poll{};
};

// Runs a program to its end and returns its exit code; -1 and a failure when
// it cannot start, a failure when it runs longer than kProgramTimeout and is ended.
inline int RunProcess(Run run) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  if (!run.output.empty()) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = startup.hStdError =
        CreateFileA(run.output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  }
  PROCESS_INFORMATION process{};
  const bool started = CreateProcessA(run.program.empty() ? nullptr : run.program.c_str(), run.commandLine.data(),
                                      nullptr, nullptr, !run.output.empty(), 0, nullptr,
                                      run.folder.empty() ? nullptr : run.folder.c_str(), &startup, &process);
  if (!run.output.empty()) CloseHandle(startup.hStdOutput);
  if (!started) {
    ADD_FAILURE() << "cannot start " << run.commandLine << " (error " << GetLastError() << ")";
    return -1;
  }
  const auto deadline = std::chrono::steady_clock::now() + kProgramTimeout;
  while (WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT && std::chrono::steady_clock::now() < deadline)
    if (run.poll) run.poll(process.hProcess);
  if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) {
    ADD_FAILURE() << run.commandLine << " did not end";
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 5000);
  }
  DWORD code = static_cast<DWORD>(-1);
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

// A dialog of `process` (a message box, a property sheet) by its caption.
inline HWND DialogOf(HANDLE process, const char* caption) {
  HWND window = FindWindowA("#32770", caption);
  DWORD owner = 0;
  if (window) GetWindowThreadProcessId(window, &owner);
  return window && owner == GetProcessId(process) ? window : nullptr;
}

// A message box's text; empty while it is being made.
inline std::string MessageText(HWND box) {
  char text[2048] = "";
  GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
  return text;
}

// How a program ended: its exit code, and the text of the last message box
// captioned `caption`, which was answered with `answer`.
struct Answered {
  int code = -1;
  std::string message{};
};
inline Answered RunAnswering(Run run, const char* caption, int answer) {
  Answered answered;
  const auto poll = run.poll;
  run.poll = [&](HANDLE process) {
    const HWND box = DialogOf(process, caption);
    if (box && !MessageText(box).empty()) {
      answered.message = MessageText(box);
      PostMessageA(box, WM_COMMAND, answer, 0);
    }
    if (poll) poll(process);
  };
  answered.code = RunProcess(run);
  return answered;
}

inline bool KeyExists(HKEY root, const char* key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(root, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

// A value as its type and bytes, read with the registry's own calls; type REG_NONE when it is missing.
using Stored = std::pair<DWORD, std::string>;
inline Stored GetValue(HKEY root, const char* key, const char* name) {
  std::string data(1 << 16, '\0');
  DWORD size = static_cast<DWORD>(data.size()), type = REG_NONE;
  if (RegGetValueA(root, key, name, RRF_RT_ANY | RRF_NOEXPAND, &type, data.data(), &size) != ERROR_SUCCESS)
    return {REG_NONE, ""};
  return {type, data.substr(0, size)};
}
inline Stored RegText(const std::string& text) { return {REG_SZ, text + std::string(1, '\0')}; }
inline Stored RegNumber(std::uint32_t n) { return {REG_DWORD, LittleEndian(n, 4)}; }

// A key with everything below it, put back (or removed) when the test ends.
class SavedKey {
 public:
  SavedKey(HKEY root, const char* key) : root_(root), key_(key), existed_(KeyExists(root, key)) {
    static int made = 0;
    backup_ = "Software\\Auralith test backup " + std::to_string(made++);
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
    HKEY target = nullptr;
    if (RegCreateKeyExA(toRoot, to, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &target, nullptr) != ERROR_SUCCESS) return;
    EXPECT_EQ(SHCopyKeyA(fromRoot, from, target, 0), ERROR_SUCCESS) << from;
    RegCloseKey(target);
  }
  HKEY root_;
  const char* key_;
  std::string backup_;
  bool existed_;
};

// Sets the default value of a file type or its open command.
inline void SetClass(const char* key, const std::string& text) {
  RegSetValueA(HKEY_CLASSES_ROOT, key, REG_SZ, text.c_str(), static_cast<DWORD>(text.size()));
}

}  // namespace auralith::testing

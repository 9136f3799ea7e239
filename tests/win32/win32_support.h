#pragma once

#include <windows.h>
// After windows.h, which it builds on.
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace auralith::testing {

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

inline bool KeyExists(HKEY root, const char* key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(root, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

// A key with everything below it, kept aside while a test changes it and put
// back afterwards (or removed, when there was none).
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

// Makes `key`'s default value `text` under HKEY_CLASSES_ROOT (a file type or
// its open command).
inline void SetClass(const char* key, const std::string& text) {
  RegSetValueA(HKEY_CLASSES_ROOT, key, REG_SZ, text.c_str(), static_cast<DWORD>(text.size()));
}

}  // namespace auralith::testing

#include "platform/win32/win32_registry_store.h"

#include <windows.h>
// After windows.h, which it builds on.
#include <shlwapi.h>

namespace auralith {

namespace {
HKEY Root(Hive hive) { return hive == Hive::CurrentUser ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT; }
}  // namespace

bool Win32RegistryStore::Query(Hive hive, const std::string& keyPath, const std::string& valueName, RegValue* value) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(Root(hive), keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0;
  DWORD size = 0;
  LONG result = RegQueryValueExA(key, valueName.c_str(), nullptr, &type, nullptr, &size);
  std::string data;
  if (result == ERROR_SUCCESS) {
    data.resize(size);
    // A value that grew since the size was asked no longer fits: the call
    // fails, as a read of a value in the middle of a change may.
    result = RegQueryValueExA(key, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
  }
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return false;
  // For text the ANSI call may have asked for more room than it used.
  if (size < data.size()) data.resize(size);
  value->type = type;
  value->data = std::move(data);
  return true;
}

bool Win32RegistryStore::Set(Hive hive, const std::string& keyPath, const std::string& valueName,
                             const RegValue& value) {
  HKEY key = nullptr;
  char noClass[] = "";
  if (RegCreateKeyExA(Root(hive), keyPath.c_str(), 0, noClass, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  const LONG result =
      RegSetValueExA(key, valueName.c_str(), 0, value.type, reinterpret_cast<const BYTE*>(value.data.data()),
                     static_cast<DWORD>(value.data.size()));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

bool Win32RegistryStore::DeleteTree(Hive hive, const std::string& keyPath) {
  // An empty path would name the whole hive.
  if (keyPath.empty()) return false;
  const DWORD result = SHDeleteKeyA(Root(hive), keyPath.c_str());
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND;
}

}  // namespace auralith

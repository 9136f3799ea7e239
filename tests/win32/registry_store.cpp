#include <windows.h>
// After windows.h, which it builds on.
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/win32/win32_registry_store.h"

namespace auralith {
namespace {

constexpr const char* kTestKey = "Software\\Corvale\\AuralithTest";
constexpr const char* kClassesTestKey = "AuralithTest.Protocol";

RegValue Text(const std::string& text) { return RegValue{kRegSz, text + std::string(1, '\0')}; }

std::string AllBytes() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  return bytes;
}

// Which bytes are text depends on the process's ANSI code page.
std::string CodePageText() {
  return GetACP() == CP_UTF8 ? "\xE5\x9D\x82\xC3\xBC" : GetACP() == 1252 ? "caf\xE9" : "plain";
}

// Reads a value with the registry calls themselves, independent of the store.
bool RawQuery(HKEY root, const std::string& key, const std::string& name, DWORD* type, std::string* data) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  LONG result = RegQueryValueExA(handle, name.c_str(), nullptr, type, nullptr, &size);
  if (result == ERROR_SUCCESS) {
    data->assign(size, '\0');
    result = RegQueryValueExA(handle, name.c_str(), nullptr, type, reinterpret_cast<BYTE*>(data->data()), &size);
    data->resize(size);
  }
  RegCloseKey(handle);
  return result == ERROR_SUCCESS;
}

bool RawSet(HKEY root, const std::string& key, const std::string& name, DWORD type, const std::string& data) {
  HKEY handle = nullptr;
  if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) != ERROR_SUCCESS)
    return false;
  const LONG result = RegSetValueExA(handle, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                     static_cast<DWORD>(data.size()));
  RegCloseKey(handle);
  return result == ERROR_SUCCESS;
}

bool KeyExists(HKEY root, const std::string& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

class Win32RegistryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { TearDown(); }
  void TearDown() override {
    SHDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
    SHDeleteKeyA(HKEY_CLASSES_ROOT, kClassesTestKey);
  }
  Win32RegistryStore store;
};

struct ValueCase {
  const char* name;
  std::string valueName;
  RegValue value;
};

class Win32RegistryValueTest : public Win32RegistryStoreTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(Win32RegistryValueTest, KeepsTypeAndBytesBothWays) {
  const ValueCase& c = GetParam();
  const std::string key = std::string(kTestKey) + "\\Deep\\Er";
  ASSERT_TRUE(store.Set(Hive::CurrentUser, key, c.valueName, c.value));
  DWORD type = 0;
  std::string data;
  ASSERT_TRUE(RawQuery(HKEY_CURRENT_USER, key, c.valueName, &type, &data));
  EXPECT_EQ(type, c.value.type);
  EXPECT_EQ(data, c.value.data);

  ASSERT_TRUE(RawSet(HKEY_CURRENT_USER, kTestKey, c.valueName, c.value.type, c.value.data));
  RegValue read{99, "stale"};
  ASSERT_TRUE(store.Query(Hive::CurrentUser, kTestKey, c.valueName, &read));
  EXPECT_EQ(read.type, c.value.type);
  EXPECT_EQ(read.data, c.value.data);
}

INSTANTIATE_TEST_SUITE_P(Values, Win32RegistryValueTest,
                         ::testing::Values(ValueCase{"text", "location", Text("C:\\Tools\\\"x\"\\")},
                                           ValueCase{"empty_text", "4_music", Text("")},
                                           ValueCase{"dword_max", "max", RegValue{kRegDword, std::string(4, '\xFF')}},
                                           ValueCase{"binary", "bin", RegValue{kRegBinary, AllBytes()}},
                                           ValueCase{"binary_empty", "nothing", RegValue{kRegBinary, ""}},
                                           ValueCase{"default_value", "", Text("cmd")},
                                           ValueCase{"long_text", "long", Text(std::string(5000, 'y'))},
                                           ValueCase{"code_page_text", "t", Text(CodePageText())}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Win32RegistryStoreTest, MissingKeysAndValuesAreNotFound) {
  RegValue read{7, "untouched"};
  EXPECT_FALSE(store.Query(Hive::CurrentUser, kTestKey, "v", &read));
  ASSERT_TRUE(store.Set(Hive::CurrentUser, kTestKey, "v", Text("x")));
  EXPECT_FALSE(store.Query(Hive::CurrentUser, kTestKey, "other", &read));
  EXPECT_FALSE(store.Query(Hive::CurrentUser, kTestKey, "", &read)) << "no default value was set";
  EXPECT_FALSE(store.Query(Hive::CurrentUser, std::string(kTestKey) + "\\Sub", "v", &read));
  EXPECT_EQ(read.type, 7u);
  EXPECT_EQ(read.data, "untouched");
  // Names compare without regard to case, as everywhere in the registry.
  EXPECT_TRUE(store.Query(Hive::CurrentUser, "SOFTWARE\\corvale\\auralithtest", "V", &read));
}

TEST_F(Win32RegistryStoreTest, DeleteTreeRemovesTheWholeTreeOnly) {
  const std::string key = kTestKey;
  const RegValue value = Text("x");
  ASSERT_TRUE(store.Set(Hive::CurrentUser, key + "\\Tree", "a", value));
  ASSERT_TRUE(store.Set(Hive::CurrentUser, key + "\\Tree\\Sub\\Deeper", "b", value));
  ASSERT_TRUE(store.Set(Hive::CurrentUser, key + "\\Sibling", "c", value));
  EXPECT_TRUE(store.DeleteTree(Hive::CurrentUser, key + "\\tree"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key + "\\Tree"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, key + "\\Sibling"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, key));
  // Missing keys, and keys below missing parents, are no error.
  EXPECT_TRUE(store.DeleteTree(Hive::CurrentUser, key + "\\Tree"));
  EXPECT_TRUE(store.DeleteTree(Hive::CurrentUser, key + "\\No\\Such\\Key"));
  // The whole hive is never the target.
  EXPECT_FALSE(store.DeleteTree(Hive::CurrentUser, ""));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, key + "\\Sibling"));
}

TEST_F(Win32RegistryStoreTest, ClassesRootIsItsOwnHive) {
  const RegValue command = Text("\"C:\\A\\AuralithURL.exe\" \"%1\"");
  const std::string key = std::string(kClassesTestKey) + "\\shell\\open\\command";
  ASSERT_TRUE(store.Set(Hive::ClassesRoot, key, "", command));
  RegValue read;
  ASSERT_TRUE(store.Query(Hive::ClassesRoot, key, "", &read));
  EXPECT_EQ(read.data, command.data);
  EXPECT_FALSE(store.Query(Hive::CurrentUser, key, "", &read));
  EXPECT_TRUE(store.DeleteTree(Hive::ClassesRoot, kClassesTestKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassesTestKey));
}

}  // namespace
}  // namespace auralith

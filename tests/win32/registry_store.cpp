#include <windows.h>
// After windows.h, which it builds on.
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/win32/win32_registry_store.h"
#include "win32/win32_support.h"

namespace auralith {
namespace {

using testing::GetValue;
using testing::KeyExists;

const std::string kTestKey = "Software\\Corvale\\AuralithTest";
constexpr const char* kClassesTestKey = "AuralithTest.Protocol";

RegValue Text(const std::string& text) { return RegValue{kRegSz, text + std::string(1, '\0')}; }

class Win32RegistryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { TearDown(); }
  void TearDown() override {
    SHDeleteKeyA(HKEY_CURRENT_USER, kTestKey.c_str());
    SHDeleteKeyA(HKEY_CLASSES_ROOT, kClassesTestKey);
  }
  Win32RegistryStore store;
};

TEST_F(Win32RegistryStoreTest, KeepsTypeAndBytesBothWaysAndDeletesWholeTrees) {
  std::string allBytes;
  for (int i = 0; i < 256; ++i) allBytes.push_back(static_cast<char>(i));
  // Which bytes are text depends on the process's ANSI code page.
  const std::string codePageText = GetACP() == CP_UTF8 ? "\xE5\x9D\x82\xC3\xBC" : GetACP() == 1252 ? "caf\xE9" : "";
  const std::pair<std::string, RegValue> cases[] = {{"text", Text("C:\\Tools\\\"x\"\\" + codePageText)},
                                                    {"4_music", Text("")},
                                                    {"max", RegValue{kRegDword, std::string(4, '\xFF')}},
                                                    {"bin", RegValue{kRegBinary, allBytes}},
                                                    {"nothing", RegValue{kRegBinary, ""}},
                                                    {"", Text(std::string(5000, 'y'))}};
  const std::string deep = kTestKey + "\\Deep\\Er";
  for (const auto& [name, value] : cases) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(store.Set(Hive::CurrentUser, deep, name, value));
    EXPECT_EQ(GetValue(HKEY_CURRENT_USER, deep.c_str(), name.c_str()), testing::Stored(value.type, value.data));
    SHSetValueA(HKEY_CURRENT_USER, kTestKey.c_str(), name.c_str(), value.type, value.data.data(),
                static_cast<DWORD>(value.data.size()));
    RegValue read{99, "stale"};
    ASSERT_TRUE(store.Query(Hive::CurrentUser, kTestKey, name, &read));
    EXPECT_EQ(testing::Stored(read.type, read.data), testing::Stored(value.type, value.data));
  }

  RegValue read;
  ASSERT_TRUE(store.Set(Hive::CurrentUser, kTestKey + "\\Tree\\Sub", "v", Text("x")));
  EXPECT_FALSE(store.Query(Hive::CurrentUser, kTestKey + "\\Tree\\Sub", "other", &read));
  // The classes are a hive of their own.
  ASSERT_TRUE(store.Set(Hive::ClassesRoot, kClassesTestKey, "", Text("cmd")));
  EXPECT_EQ(GetValue(HKEY_CLASSES_ROOT, kClassesTestKey, ""), testing::RegText("cmd"));
  EXPECT_FALSE(store.Query(Hive::CurrentUser, kClassesTestKey, "", &read));

  EXPECT_TRUE(store.DeleteTree(Hive::CurrentUser, kTestKey + "\\tree"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, (kTestKey + "\\Tree").c_str()));
  // Missing keys and parents are no error; the whole hive is never the target.
  EXPECT_TRUE(store.DeleteTree(Hive::CurrentUser, kTestKey + "\\No\\Such\\Key"));
  EXPECT_FALSE(store.DeleteTree(Hive::CurrentUser, ""));
  EXPECT_TRUE(store.DeleteTree(Hive::ClassesRoot, kClassesTestKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassesTestKey));
}

}  // namespace
}  // namespace auralith

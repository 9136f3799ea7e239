#include <gtest/gtest.h>

#include "settings/registry_binding.h"

namespace auralith {
namespace {

struct PathCase {
  const char* fullPath;
  const char* keyPath;
  const char* valueName;
};

class SplitRegistryPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(SplitRegistryPathTest, SplitsAtTheLastBackslash) {
  std::string key = "stale";
  std::string name = "stale";
  SplitRegistryPath(GetParam().fullPath, &key, &name);
  EXPECT_EQ(key, GetParam().keyPath);
  EXPECT_EQ(name, GetParam().valueName);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SplitRegistryPathTest,
    ::testing::Values(PathCase{"Software\\Corvale\\Auralith\\4_music", "Software\\Corvale\\Auralith", "4_music"},
                      PathCase{"Auralith\\shell\\open\\command\\", "Auralith\\shell\\open\\command", ""},
                      PathCase{"Auralith\\Url Protocol", "Auralith", "Url Protocol"},
                      PathCase{"\\\\Software\\X\\v", "Software\\X", "v"}, PathCase{"\\value", "", "value"},
                      PathCase{"value", "", "value"}, PathCase{"", "", ""}, PathCase{"\\\\\\", "", ""},
                      PathCase{"A\\\\\\B", "A", "B"}, PathCase{"A\\B\\\\", "A\\B", ""},
                      PathCase{"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced\\HideIcons",
                               "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced", "HideIcons"}));

}  // namespace
}  // namespace auralith

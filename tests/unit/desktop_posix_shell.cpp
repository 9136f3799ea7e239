// The Linux stand-in for the Active Desktop, driven by a whole applier run.
#ifndef _WIN32

#include "platform/posix/posix_desktop_shell.h"

#include <string>

#include <gtest/gtest.h>

#include "desktop/applier.h"
#include "platform/native.h"
#include "platform/posix/file_registry_store.h"
#include "settings/memory_registry_store.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using testing::RecordingProgress;
using testing::ScriptedPrompter;
using testing::TempDir;

constexpr auto Dword = testing::DwordValue;

class PosixShellTest : public ::testing::Test {
 protected:
  std::string Text(const char* name) {
    RegValue value;
    if (!registry.Query(Hive::CurrentUser, kPosixDesktopKey, name, &value)) return "(absent)";
    return value.data;
  }
  void Run(const std::string& location, bool uninstall) {
    testing::StoreLocation(registry, location);
    Settings settings(registry);
    AuralithApplier applier(settings, registry, shell, fs, prompter, uninstall);
    applier.RunWorker(progress);
  }

  TempDir dir;
  MemoryRegistryStore registry;
  PosixDesktopShell shell{registry};
  NativeFileSystem fs;
  ScriptedPrompter prompter;
  RecordingProgress progress;
};

TEST_F(PosixShellTest, RecordsWhatTheShellWasTold) {
  // Characters beyond the basic plane travel as surrogate pairs and must come
  // back as one four-byte UTF-8 sequence.
  const std::string location = dir.path() + "M\xC3\xBCsik \xF0\x9F\x8E\xB5/";
  testing::MakeDirectories(location);
  const char* const kItem = "Software\\Microsoft\\Internet Explorer\\Desktop\\Components\\1";
  registry.Set(Hive::CurrentUser, kPosixDesktopKey, "ItemCount", Dword(2));
  registry.Set(Hive::CurrentUser, kItem, "Flags", Dword(0x2001));

  Run(location, false);
  EXPECT_EQ(Text("Wallpaper"), location + "Auralith.htm" + '\0');
  RegValue flags;
  ASSERT_TRUE(registry.Query(Hive::CurrentUser, kItem, "Flags", &flags));
  EXPECT_EQ(flags.data, Dword(1).data);

  Run(location, true);
  EXPECT_EQ(Text("Wallpaper"), std::string(1, '\0'));

  // Every generator run refreshes the desktop; the user's settings must not
  // change for it.
  const std::string before = FileRegistryStore::FormatHive(Hive::CurrentUser, registry.root(Hive::CurrentUser));
  RefreshDesktop(shell);
  EXPECT_EQ(FileRegistryStore::FormatHive(Hive::CurrentUser, registry.root(Hive::CurrentUser)), before);
}

TEST_F(PosixShellTest, UnusableItemCountReportsNoItems) {
  struct {
    const char* name;
    RegValue stored;
    bool answered;
    int count;
  } const cases[] = {
      {"too large for an int", Dword(0x80000000u), false, 0},
      {"wrong size", RegValue{kRegDword, "\x01"}, true, 0},
  };
  for (const auto& c : cases) {
    registry.Set(Hive::CurrentUser, kPosixDesktopKey, "ItemCount", c.stored);
    ASSERT_TRUE(shell.Create());
    int count = -7;
    EXPECT_EQ(shell.GetDesktopItemCount(&count), c.answered) << c.name;
    if (c.answered) {
      EXPECT_EQ(count, c.count) << c.name;
    }
    shell.Release();
  }
  int count = 0;
  EXPECT_FALSE(shell.GetDesktopItemCount(&count)) << "answers only between Create and Release";
}

}  // namespace
}  // namespace auralith

#endif

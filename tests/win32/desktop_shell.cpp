// The real Active Desktop and registry. Under Wine the object is created but
// its methods answer E_NOTIMPL; the applier must not care.
#include "platform/win32/win32_desktop_shell.h"

#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "desktop/applier.h"
#include "platform/native.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using testing::FileExists;
using testing::RecordingProgress;
using testing::ScriptedPrompter;
using testing::TempDir;

constexpr long kOk = 0;
constexpr long kNotImplemented = static_cast<long>(0x80004001UL);  // E_NOTIMPL

constexpr const char* kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";

// Puts a registry value back as it was when the test began.
class SavedValue {
 public:
  SavedValue(RegistryStore& registry, std::string key, std::string name)
      : registry_(registry), key_(std::move(key)), name_(std::move(name)) {
    RegValue value;
    if (registry_.Query(Hive::CurrentUser, key_, name_, &value)) before_ = value;
  }
  ~SavedValue() {
    if (before_) registry_.Set(Hive::CurrentUser, key_, name_, *before_);
  }
  bool existed() const { return before_.has_value(); }

 private:
  RegistryStore& registry_;
  std::string key_, name_;
  std::optional<RegValue> before_;
};

TEST(Win32DesktopShellTest, CreatesAndSurvivesUnimplementedMethods) {
  // Each round on a thread of its own, as the applier's and builder's workers
  // do: COM is initialised and released per thread.
  for (int round = 0; round < 2; ++round) {
    std::thread worker([] {
      Win32DesktopShell shell;
      ASSERT_TRUE(shell.Create());
      shell.SetWallpaper(u"C:\\nowhere\\Auralith.htm");
      EXPECT_TRUE(shell.last_result() == kOk || shell.last_result() == kNotImplemented) << std::hex << shell.last_result();
      int count = 12345;
      const bool counted = shell.GetDesktopItemCount(&count);
      EXPECT_EQ(counted, shell.last_result() >= 0);
      if (!counted) {
        EXPECT_EQ(count, 12345) << "a failed count leaves the caller's value alone";
      }
      shell.ApplyChanges(kApplyAll);
      EXPECT_TRUE(shell.last_result() == kOk || shell.last_result() == kNotImplemented) << std::hex << shell.last_result();
      shell.Release();
      shell.Release();  // a second release is harmless
      // Calls after Release reach no object.
      shell.ApplyChanges(kApplyAll);
      EXPECT_FALSE(shell.GetDesktopItemCount(&count));
      // And the object can be made again on the same thread.
      EXPECT_TRUE(shell.Create());
    });
    worker.join();
  }
}

TEST(Win32DesktopShellTest, ApplierRunsWithTheRealRegistryAndShell) {
  NativeRegistryStore registry;
  SavedValue location(registry, kSettingsKey, "location");
  SavedValue shellState(registry, kExplorer, "ShellState");
  TempDir dir;

  RegValue stored;
  stored.data = dir.path() + '\0';
  ASSERT_TRUE(registry.Set(Hive::CurrentUser, kSettingsKey, "location", stored));
  RegValue state;
  state.type = kRegBinary;
  state.data = std::string("\x24\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00", 12);
  ASSERT_TRUE(registry.Set(Hive::CurrentUser, kExplorer, "ShellState", state));

  Settings settings(registry);
  NativeFileSystem fs;
  ScriptedPrompter prompter;
  for (bool uninstall : {false, true}) {
    std::thread worker([&] {
      NativeDesktopShell shell(registry);
      RecordingProgress progress;
      AuralithApplier(settings, registry, shell, fs, prompter, uninstall).RunWorker(progress);
      EXPECT_EQ(progress.log.back(), "pos:5");
      RefreshDesktop(shell);
    });
    worker.join();
    RegValue after;
    ASSERT_TRUE(registry.Query(Hive::CurrentUser, kExplorer, "ShellState", &after));
    EXPECT_EQ(after.type, kRegBinary);
    ASSERT_EQ(after.data.size(), 12u);
    EXPECT_EQ(after.data[4], uninstall ? '\0' : '\x40');
  }
  EXPECT_TRUE(FileExists(dir / "Auralith.config"));
  EXPECT_TRUE(FileExists(dir / "Auralith.behaviour"));
  EXPECT_EQ(testing::ReadFile(dir / "Auralith.data").substr(0, 23), "// Auralith Data File\r\n");
  EXPECT_TRUE(prompter.shown.empty());
  // The settings key was made by this test (with the load defaults in it).
  if (!location.existed()) registry.DeleteTree(Hive::CurrentUser, kSettingsKey);
}

}  // namespace
}  // namespace auralith

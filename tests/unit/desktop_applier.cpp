#include "desktop/applier.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/code_page.h"
#include "platform/native.h"
#include "settings/memory_registry_store.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using testing::FileExists;
using testing::RecordingProgress;
using testing::TempDir;

constexpr const char* kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
constexpr const char* kComponents = "Software\\Microsoft\\Internet Explorer\\Desktop\\Components\\";
constexpr auto Dword = testing::DwordValue;

// Counts writes, so "nothing written" can be told from "written unchanged".
class CountingRegistry : public MemoryRegistryStore {
 public:
  bool Set(Hive hive, const std::string& keyPath, const std::string& valueName, const RegValue& value) override {
    ++writes;
    return MemoryRegistryStore::Set(hive, keyPath, valueName, value);
  }
  int writes = 0;
};

RegValue Binary(std::string bytes) { return RegValue{kRegBinary, std::move(bytes)}; }

// A ShellState of `size` bytes whose word at offset 4 is `word` and whose other
// bytes count up, so any stray change shows.
RegValue ShellState(std::size_t size, std::uint32_t word, std::uint32_t type = kRegBinary) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(0x80 + i);
  for (std::size_t i = 0; i < 4 && 4 + i < size; ++i) bytes[4 + i] = static_cast<char>((word >> (8 * i)) & 0xFF);
  return RegValue{type, bytes};
}

std::string Shown(const std::optional<RegValue>& value) {
  return value ? std::to_string(value->type) + ":" + value->data : "absent";
}

class ApplierTest : public ::testing::Test {
 protected:
  ApplierTest() { testing::StoreLocation(registry, dir.path()); }

  std::optional<RegValue> Query(const std::string& key, const std::string& name) {
    RegValue value;
    if (!registry.Query(Hive::CurrentUser, key, name, &value)) return std::nullopt;
    return value;
  }

  TempDir dir;
  CountingRegistry registry;
  Settings settings{registry};
  testing::RecordingShell shell;
  NativeFileSystem fs;
  testing::ScriptedPrompter prompter;
};

TEST_F(ApplierTest, ShellStateBit) {
  const struct {
    const char* name;
    std::optional<RegValue> before;
    bool uninstall;
    std::optional<RegValue> after;  // nullopt: must not be written at all
  } cases[] = {
      {"absent", std::nullopt, false, std::nullopt},
      {"install sets 0x40", ShellState(36, 0), false, ShellState(36, 0x40)},
      {"uninstall clears only 0x40", ShellState(36, 0xFFFFFFFF), true, ShellState(36, 0xFFFFFFBF)},
      // A toggle instead of a set would clear it on a second install.
      {"install, already set", ShellState(36, 0xA040), false, ShellState(36, 0xA040)},
      {"exactly 72 bytes", ShellState(72, 0x100), false, ShellState(72, 0x140)},
      // Too short to hold the word: written back as it was, byte 4 included.
      {"7 bytes", ShellState(7, 0), false, ShellState(7, 0)},
      {"type is kept", ShellState(8, 0, kRegDword), false, ShellState(8, 0x40, kRegDword)},
      // 73 bytes do not fit the shell's buffer: unreadable, so nothing is written.
      {"73 bytes", ShellState(73, 0), true, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    registry.DeleteTree(Hive::CurrentUser, kExplorer);
    if (c.before) registry.Set(Hive::CurrentUser, kExplorer, "ShellState", *c.before);
    registry.writes = 0;
    SetShellDesktopFlag(registry, c.uninstall);
    EXPECT_EQ(registry.writes, c.after ? 1 : 0);
    EXPECT_EQ(Shown(Query(kExplorer, "ShellState")), Shown(c.after ? c.after : c.before));
  }
}

TEST_F(ApplierTest, InstallClearsOneFlagBitOfEachReportedItem) {
  const struct {
    const char* name;
    std::optional<RegValue> flags, expected;
  } items[] = {
      {"all bits", Dword(0xFFFFFFFF), Dword(0xFFFFDFFF)},
      {"absent", std::nullopt, std::nullopt},
      {"bit already clear", Dword(0x00004021), Dword(0x00004021)},
      {"binary type kept", Binary(std::string("\x01\x20\x00\x80", 4)), Binary(std::string("\x01\x00\x00\x80", 4))},
      {"too short to read", Binary("\xFF\x3F"), Binary("\xFF\x3F")},
      {"too long to read", Binary(std::string("\x00\x20\x00\x00\x00", 5)), Binary(std::string("\x00\x20\x00\x00\x00", 5))},
      // Beyond the reported count: not the applier's business.
      {"item 6", Dword(0x2000), Dword(0x2000)},
  };
  for (int i = 0; i < static_cast<int>(std::size(items)); ++i)
    if (items[i].flags) registry.Set(Hive::CurrentUser, kComponents + std::to_string(i), "Flags", *items[i].flags);
  shell.itemCount = 6;
  RecordingProgress progress;
  AuralithApplier(settings, registry, shell, fs, prompter, false).RunWorker(progress);
  for (int i = 0; i < static_cast<int>(std::size(items)); ++i)
    EXPECT_EQ(Shown(Query(kComponents + std::to_string(i), "Flags")), Shown(items[i].expected)) << items[i].name;
}

// The wallpaper is the page in the location; non-ASCII paths take the
// process's code page, which is UTF-8 only where the program carries its
// manifest.
TEST_F(ApplierTest, ShellCallsAndWallpaper) {
  const std::string ascii = "C:\\Apps\\Jukebox\\", utf8 = "C:\\M\xC3\xBCsik\\\xE9\x9F\xB3\xF0\x9F\x8E\xB5\\";
  const std::vector<std::string> install = {"Create", "SetWallpaper", "GetDesktopItemCount", "ApplyChanges:15",
                                            "Release"};
  const struct {
    const char* name;
    std::string location;
    std::optional<bool> uninstall;  // nullopt: RefreshDesktop
    bool createSucceeds;
    std::vector<std::string> calls;
    std::vector<std::u16string> wallpapers;
  } cases[] = {
      {"install", ascii, false, true, install, {u"C:\\Apps\\Jukebox\\Auralith.htm"}},
      {"install, non-ASCII", utf8, false, true, install, {u"C:\\M\u00FCsik\\\u97F3\U0001F3B5\\Auralith.htm"}},
      {"uninstall", ascii, true, true, {"Create", "SetWallpaper", "ApplyChanges:15", "Release"}, {u""}},
      {"install, no shell", ascii, false, false, {"Create"}, {}},
      {"refresh", ascii, std::nullopt, true, {"Create", "ApplyChanges:15", "Release"}, {}},
      {"refresh, no shell", ascii, std::nullopt, false, {"Create"}, {}},
  };
  const bool utf8CodePage = AnsiToUtf16("\xC3\xBC") == u"\u00FC";
  for (const auto& c : cases) {
    if (!utf8CodePage && c.location == utf8) continue;
    settings.location.Set(c.location);
    shell.calls.clear();
    shell.wallpapers.clear();
    shell.createSucceeds = c.createSucceeds;
    if (c.uninstall)
      InstallDesktopPage(settings, registry, shell, *c.uninstall);
    else
      RefreshDesktop(shell);
    EXPECT_EQ(shell.calls, c.calls) << c.name;
    EXPECT_TRUE(shell.wallpapers == c.wallpapers) << c.name;
  }
}

// At each progress position, what has been done so far.
class SnapshotProgress : public RecordingProgress {
 public:
  explicit SnapshotProgress(std::function<std::string()> state) : state_(std::move(state)) {}
  void SetPos(std::int32_t pos) override {
    RecordingProgress::SetPos(pos);
    log.push_back(state_());
  }

 private:
  std::function<std::string()> state_;
};

TEST_F(ApplierTest, WorkerStepsInOrder) {
  for (bool uninstall : {false, true}) {
    TempDir place;
    settings.location.Set(place.path());
    registry.Set(Hive::CurrentUser, kExplorer, "ShellState", ShellState(36, uninstall ? 0x40 : 0));
    shell.calls.clear();
    SnapshotProgress steps([&] {
      const bool files = FileExists(place / "Auralith.config") && FileExists(place / "Auralith.behaviour") &&
                         FileExists(place / "Auralith.data");
      const bool flagged = (Query(kExplorer, "ShellState")->data[4] & 0x40) != 0;
      return std::string(files ? "files" : "-") + (flagged != uninstall ? " state" : " -") + " shell:" +
             std::to_string(shell.calls.size());
    });
    AuralithApplier(settings, registry, shell, fs, prompter, uninstall).RunWorker(steps);
    EXPECT_EQ(steps.log, (std::vector<std::string>{"range:0,5", "stepsize:1", "pos:1", "- - shell:0", "pos:2",
                                                   "files - shell:0", "pos:3", "files - shell:0", "pos:4",
                                                   "files state shell:0", "pos:5",
                                                   std::string("files state shell:") + (uninstall ? "4" : "5")}))
        << (uninstall ? "uninstall" : "install");
  }
  EXPECT_TRUE(prompter.shown.empty());
}

}  // namespace
}  // namespace auralith

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
using testing::RecordingShell;
using testing::ScriptedPrompter;
using testing::TempDir;

constexpr const char* kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
constexpr const char* kComponents = "Software\\Microsoft\\Internet Explorer\\Desktop\\Components\\";

// Counts writes, so "nothing written" can be told from "written unchanged".
class CountingRegistry : public MemoryRegistryStore {
 public:
  bool Set(Hive hive, const std::string& keyPath, const std::string& valueName, const RegValue& value) override {
    writes.push_back(keyPath + "|" + valueName);
    return MemoryRegistryStore::Set(hive, keyPath, valueName, value);
  }
  std::vector<std::string> writes;
};

RegValue Binary(std::string bytes, std::uint32_t type = kRegBinary) {
  RegValue value;
  value.type = type;
  value.data = std::move(bytes);
  return value;
}

constexpr auto Dword = testing::DwordValue;

// A ShellState of `size` bytes whose word at offset 4 is `word` and whose other
// bytes count up, so any stray change shows.
std::string ShellState(std::size_t size, std::uint32_t word) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(0x80 + i);
  for (std::size_t i = 0; i < 4 && 4 + i < size; ++i) bytes[4 + i] = static_cast<char>((word >> (8 * i)) & 0xFF);
  return bytes;
}

class ApplierTest : public ::testing::Test {
 protected:
  ApplierTest() {
    testing::StoreLocation(registry, dir.path());
    registry.writes.clear();
  }

  std::optional<RegValue> Query(const std::string& key, const std::string& name) {
    RegValue value;
    if (!registry.Query(Hive::CurrentUser, key, name, &value)) return std::nullopt;
    return value;
  }
  int WritesTo(const std::string& prefix) const {
    int n = 0;
    for (const auto& w : registry.writes) n += w.rfind(prefix, 0) == 0;
    return n;
  }
  void Run(bool uninstall) {
    AuralithApplier applier(settings, registry, shell, fs, prompter, uninstall);
    applier.RunWorker(progress);
  }

  TempDir dir;
  CountingRegistry registry;
  Settings settings{registry};
  RecordingShell shell;
  NativeFileSystem fs;
  ScriptedPrompter prompter;
  RecordingProgress progress;
};

struct ShellStateCase {
  const char* name;
  std::optional<RegValue> before;
  bool uninstall;
  std::optional<RegValue> after;  // nullopt: must not be written at all
};

// 73 bytes do not fit the shell's buffer: unreadable, so nothing is written.
const RegValue kOversized = Binary(ShellState(73, 0));

TEST_F(ApplierTest, ShellStateBit) {
  const ShellStateCase cases[] = {
      {"absent, install", std::nullopt, false, std::nullopt},
      {"absent, uninstall", std::nullopt, true, std::nullopt},
      {"install sets 0x40", Binary(ShellState(36, 0x00000000)), false, Binary(ShellState(36, 0x00000040))},
      {"uninstall clears only 0x40", Binary(ShellState(36, 0xFFFFFFFF)), true, Binary(ShellState(36, 0xFFFFFFBF))},
      {"uninstall, already clear", Binary(ShellState(36, 0x00000021)), true, Binary(ShellState(36, 0x00000021))},
      // A toggle instead of a set would clear it on a second install.
      {"install, already set", Binary(ShellState(36, 0x0000A040)), false, Binary(ShellState(36, 0x0000A040))},
      {"exactly 72 bytes", Binary(ShellState(72, 0x00000100)), false, Binary(ShellState(72, 0x00000140))},
      // Too short to hold the word: written back as it was, byte 4 included.
      {"7 bytes", Binary(ShellState(7, 0)), false, Binary(ShellState(7, 0))},
      {"empty", Binary(""), false, Binary("")},
      {"type is kept", Binary(ShellState(8, 0), kRegDword), false, Binary(ShellState(8, 0x40), kRegDword)},
      {"73 bytes, install", kOversized, false, std::nullopt},
      {"73 bytes, uninstall", kOversized, true, std::nullopt},
  };
  for (const ShellStateCase& c : cases) {
    registry.DeleteTree(Hive::CurrentUser, kExplorer);
    if (c.before) registry.Set(Hive::CurrentUser, kExplorer, "ShellState", *c.before);
    registry.writes.clear();
    SetShellDesktopFlag(registry, c.uninstall);
    const auto stored = Query(kExplorer, "ShellState");
    if (!c.after) {
      EXPECT_TRUE(registry.writes.empty()) << c.name;
      ASSERT_EQ(stored.has_value(), c.before.has_value()) << c.name;
      if (stored) {
        EXPECT_EQ(stored->data, c.before->data) << c.name;
      }
      continue;
    }
    ASSERT_TRUE(stored.has_value()) << c.name;
    EXPECT_EQ(stored->type, c.after->type) << c.name;
    EXPECT_EQ(stored->data, c.after->data) << c.name;
  }
}

struct ItemCase {
  const char* name;
  std::optional<RegValue> flags;
  std::optional<RegValue> expected;
};

TEST_F(ApplierTest, InstallClearsOneFlagBitOfEachReportedItem) {
  const ItemCase items[] = {
      {"all bits", Dword(0xFFFFFFFF), Dword(0xFFFFDFFF)},
      {"absent", std::nullopt, std::nullopt},
      {"bit already clear", Dword(0x00004021), Dword(0x00004021)},
      {"binary type kept", Binary(std::string("\x01\x20\x00\x80", 4)), Binary(std::string("\x01\x00\x00\x80", 4))},
      {"too short to read", Binary(std::string("\xFF\x3F", 2)), Binary(std::string("\xFF\x3F", 2))},
      {"too long to read", Binary(std::string("\x00\x20\x00\x00\x00", 5)), Binary(std::string("\x00\x20\x00\x00\x00", 5))},
  };
  const int count = static_cast<int>(std::size(items));
  for (int i = 0; i < count; ++i)
    if (items[i].flags) registry.Set(Hive::CurrentUser, kComponents + std::to_string(i), "Flags", *items[i].flags);
  // An item beyond the reported count is not the applier's business.
  registry.Set(Hive::CurrentUser, kComponents + std::to_string(count), "Flags", Dword(0x2000));
  shell.itemCount = count;

  Run(false);

  for (int i = 0; i < count; ++i) {
    const auto stored = Query(kComponents + std::to_string(i), "Flags");
    ASSERT_EQ(stored.has_value(), items[i].expected.has_value()) << items[i].name;
    if (!stored) continue;
    EXPECT_EQ(stored->type, items[i].expected->type) << items[i].name;
    EXPECT_EQ(stored->data, items[i].expected->data) << items[i].name;
  }
  EXPECT_EQ(Query(kComponents + std::to_string(count), "Flags")->data, Dword(0x2000).data);
}

TEST_F(ApplierTest, ItemFlagsUntouchedWithoutACount) {
  struct {
    const char* name;
    bool uninstall;
    bool countSucceeds;
    int count;
  } const cases[] = {
      {"uninstall", true, true, 2},
      {"count fails", false, false, 2},
      {"count zero", false, true, 0},
      {"count negative", false, true, -3},
  };
  for (const auto& c : cases) {
    for (int i = 0; i < 2; ++i) registry.Set(Hive::CurrentUser, kComponents + std::to_string(i), "Flags", Dword(0x2000));
    registry.writes.clear();
    shell.countSucceeds = c.countSucceeds;
    shell.itemCount = c.count;
    InstallDesktopPage(settings, registry, shell, c.uninstall);
    EXPECT_EQ(WritesTo("Software\\Microsoft\\Internet Explorer"), 0) << c.name;
  }
}

struct ShellCallCase {
  const char* name;
  std::optional<bool> uninstall;  // nullopt: RefreshDesktop
  bool createSucceeds;
  std::vector<std::string> calls;
};

TEST_F(ApplierTest, ShellCalls) {
  const ShellCallCase cases[] = {
      {"install", false, true, {"Create", "SetWallpaper", "GetDesktopItemCount", "ApplyChanges:15", "Release"}},
      {"uninstall", true, true, {"Create", "SetWallpaper", "ApplyChanges:15", "Release"}},
      {"install, no shell", false, false, {"Create"}},
      {"uninstall, no shell", true, false, {"Create"}},
      {"refresh", std::nullopt, true, {"Create", "ApplyChanges:15", "Release"}},
      {"refresh, no shell", std::nullopt, false, {"Create"}},
  };
  for (const ShellCallCase& c : cases) {
    shell.calls.clear();
    shell.createSucceeds = c.createSucceeds;
    if (c.uninstall)
      InstallDesktopPage(settings, registry, shell, *c.uninstall);
    else
      RefreshDesktop(shell);
    EXPECT_EQ(shell.calls, c.calls) << c.name;
  }
}

TEST_F(ApplierTest, WallpaperIsThePageInTheLocation) {
  struct {
    std::string location;
    bool uninstall;
    std::u16string wallpaper;
  } const cases[] = {
      {"C:\\Apps\\Jukebox\\", false, u"C:\\Apps\\Jukebox\\Auralith.htm"},
      {"C:\\M\xC3\xBCsik\\\xE9\x9F\xB3\xF0\x9F\x8E\xB5\\", false, u"C:\\M\u00FCsik\\\u97F3\U0001F3B5\\Auralith.htm"},
      {"C:\\Apps\\Jukebox\\", true, u""},
  };
  // Non-ASCII paths take the process's code page, which is UTF-8 only where
  // the program carries its manifest.
  const bool utf8 = AnsiToUtf16("\xC3\xBC") == u"\u00FC";
  for (const auto& c : cases) {
    if (!utf8 && c.location.find('\xC3') != std::string::npos) continue;
    settings.location.Set(c.location);
    shell.wallpapers.clear();
    InstallDesktopPage(settings, registry, shell, c.uninstall);
    ASSERT_EQ(shell.wallpapers.size(), 1u);
    EXPECT_TRUE(shell.wallpapers[0] == c.wallpaper) << c.location;
  }
}

// The progress positions, and at each of them what has been done so far.
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
    registry.Set(Hive::CurrentUser, kExplorer, "ShellState", Binary(ShellState(36, uninstall ? 0x40 : 0)));
    shell.calls.clear();
    SnapshotProgress steps([&] {
      const bool files = FileExists(place / "Auralith.config") && FileExists(place / "Auralith.behaviour") &&
                         FileExists(place / "Auralith.data");
      const bool flagged = (Query(kExplorer, "ShellState")->data[4] & 0x40) != 0;
      return std::string(files ? "files" : "-") + (flagged != uninstall ? " state" : " -") + " shell:" +
             std::to_string(shell.calls.size());
    });
    AuralithApplier applier(settings, registry, shell, fs, prompter, uninstall);
    applier.RunWorker(steps);
    const std::string shellCalls = uninstall ? "4" : "5";
    EXPECT_EQ(steps.log, (std::vector<std::string>{"range:0,5", "stepsize:1", "pos:1", "- - shell:0", "pos:2",
                                                   "files - shell:0", "pos:3", "files - shell:0", "pos:4",
                                                   "files state shell:0", "pos:5", "files state shell:" + shellCalls}))
        << (uninstall ? "uninstall" : "install");
  }
  EXPECT_TRUE(prompter.shown.empty());
}

}  // namespace
}  // namespace auralith

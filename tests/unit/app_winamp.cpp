// The player, its plug-in, the URL scheme and the uninstaller, over named files.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/startup.h"
#include "app/url_protocol.h"
#include "app/winamp.h"
#include "base/path.h"
#include "settings/memory_registry_store.h"
#include "support/test_support.h"

namespace auralith {
namespace {

// Files by full path with their status; deletions fail while `locked` > 0.
class NamedFiles : public FileSystem {
 public:
  bool ListDirectory(const std::string&, std::vector<DirEntry>*) override { return false; }
  bool Identify(const std::string&, DirectoryId*) override { return false; }
  bool Status(const std::string& path, FileStatus* status) override {
    if (!Exists(path)) return false;
    *status = files[path];
    return true;
  }
  bool Exists(const std::string& path) override { return files.count(path) > 0; }
  bool Readable(const std::string& path) override { return Exists(path); }
  bool MakeDirectory(const std::string&) override { return true; }
  bool RemoveFile(const std::string& path) override {
    log.push_back("remove");
    return locked-- <= 0 && files.erase(path) > 0;
  }
  bool CopyFileTo(const std::string& from, const std::string& to) override {
    log.push_back("copy");
    if (!Exists(from)) return false;
    files[to] = files[from];
    return true;
  }
  std::map<std::string, FileStatus> files;
  std::vector<std::string> log;
  int locked = 0;
};

const std::string kSep(1, kPathSeparator);
const std::string kLocation = "C:\\Auralith" + kSep;
const std::string kPlayer = "C:\\Winamp" + kSep;
const std::string kShipped = kLocation + "gen_auralith.dll";
const std::string kInstalled = kPlayer + "plugins" + kSep + "gen_auralith.dll";

struct Fixture {
  Fixture() {
    settings.location.Set(kLocation);
    fs.files[kPlayer + "winamp.exe"] = {};
  }
  MemoryRegistryStore store;
  Settings settings{store};
  NamedFiles fs;
  testing::ScriptedPrompter prompter;
  testing::RecordingPlayer player;
};

TEST(WinampTest, LocateTriesTheSettingThenTheAssociationThenTheUser) {
  struct Case {
    const char* name;
    std::string stored, association;
    std::deque<std::string> chosen;
    bool found;
    std::string folder;
    std::vector<std::string> boxes;
  };
  const std::string locate = "Locate Winamp", error = "Error";
  const Case cases[] = {
      {"stored", kPlayer, "\"C:\\Other\\winamp.exe\"", {}, true, kPlayer, {}},
      {"quoted association", "", "\"C:\\WINAMP\\Winamp.exe\" \"%1\"", {}, true, "c:\\winamp\\", {}},
      {"unquoted association", "", "C:\\Winamp\\winamp.exe %1", {}, true, "c:\\winamp\\", {}},
      {"quote after the path", "", "C:\\Winamp\\winamp.exe \"%1\"", {""}, false, "", {locate, error}},
      {"browsed after a miss", "", "", {"D:\\Elsewhere\\x.exe", kPlayer + "any.exe"}, true, kPlayer, {locate}},
      {"browse cancelled", "D:\\Gone\\", "", {""}, false, "D:\\Gone\\", {locate, error}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.fs.files["c:\\winamp\\winamp.exe"] = {};
    f.settings.winamp.Set(c.stored);
    if (!c.association.empty())
      f.store.Set(Hive::ClassesRoot, "Winamp.File\\shell\\open\\command", "", RegValue{kRegSz, c.association + '\0'});
    f.prompter.chosen = c.chosen;
    EXPECT_EQ(LocateWinamp(f.settings, f.store, f.fs, f.prompter), c.found);
    EXPECT_EQ(f.settings.winamp.Get(), c.folder);
    std::vector<std::string> captions;
    for (const auto& box : f.prompter.shown) captions.push_back(box.caption);
    EXPECT_EQ(captions, c.boxes);
  }
}

std::string Joined(const std::vector<std::string>& log) {
  std::string text;
  for (const std::string& entry : log) text += (text.empty() ? "" : " ") + entry;
  return text;
}

TEST(WinampTest, InstallReplacesOnlyADifferentPluginAndRestartsThePlayerAsNeeded) {
  // installed: the installed copy's time (the shipped one's is 5), 0 for none; -1: none ships, another is installed.
  struct Case {
    int installed;
    bool running;
    int locked;
    std::string files, player;
  };
  const Case cases[] = {
      {5, true, 0, "", ""},
      {0, true, 0, "copy", "IsRunning Restart"},
      {0, false, 0, "copy", "IsRunning"},
      {4, true, 0, "remove copy", "IsRunning Close Pause:1000 Start:" + kPlayer + "winamp.exe"},
      {4, false, 0, "remove copy", "IsRunning Pause:1000 IsRunning"},
      {4, false, 9, "remove remove remove remove remove copy",
       "IsRunning Pause:1000 Pause:1000 Pause:1000 Pause:1000 Pause:1000 IsRunning"},
      {-1, true, 0, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.files + " / " + c.player);
    Fixture f;
    f.settings.winamp.Set(kPlayer);
    if (c.installed >= 0) f.fs.files[kShipped] = {100, 5};
    if (c.installed != 0) f.fs.files[kInstalled] = {100, c.installed == 5 ? 5 : 4};
    f.fs.locked = c.locked;
    f.player.running = c.running;
    InstallPlugin(f.settings, f.fs, f.prompter, f.player, ShippedPlugin(f.settings, f.fs));
    EXPECT_EQ(Joined(f.fs.log), c.files);
    EXPECT_EQ(Joined(f.player.calls), c.player);
    EXPECT_EQ(f.prompter.shown.size(), c.player.ends_with("Restart") ? 1u : 0u) << "a restart is asked for";
    EXPECT_EQ(f.fs.files[kInstalled].modified, c.installed < 0 ? 4 : 5);
  }
}

// Machine-wide classes that a user cannot write send the scheme to the user's own.
struct UserOnlyStore : MemoryRegistryStore {
  bool Set(Hive hive, const std::string& key, const std::string& name, const RegValue& value) override {
    return hive != Hive::ClassesRoot && MemoryRegistryStore::Set(hive, key, name, value);
  }
};

TEST(UrlProtocolTest, TheSchemeRunsTheHandlerBesideTheProgramForEveryUser) {
  MemoryRegistryStore machineWide;
  UserOnlyStore userOnly;
  for (auto [store, root] : {std::pair<MemoryRegistryStore*, std::string>{&machineWide, "Auralith"},
                             {&userOnly, "Software\\Classes\\Auralith"}}) {
    Settings settings(*store);
    settings.location.Set("C:\\My Music Tools\\");
    RegisterUrlProtocol(settings, *store);
    const Hive hive = store == &machineWide ? Hive::ClassesRoot : Hive::CurrentUser;
    RegValue command, protocol;
    ASSERT_TRUE(store->Query(hive, root + "\\shell\\open\\command", "", &command)) << root;
    ASSERT_TRUE(store->Query(hive, root, "URL Protocol", &protocol)) << root;
    EXPECT_EQ(command.data + protocol.data, "\"C:\\My Music Tools\\AuralithURL.exe\" \"%1\"" + std::string(2, '\0'));
  }
}

TEST(UninstallTest, PluginThenSettingsThenIconsThenTheDesktop) {
  Fixture f;
  testing::RecordingWindows windows;
  const StartupServices services{f.store, f.prompter, f.fs, f.player, windows};
  f.settings.winamp.Set(kPlayer);
  Uninstall(f.settings, services);  // no plug-in installed
  EXPECT_TRUE(f.player.calls.empty());
  f.settings.HideIcons.Set(1);
  f.fs.files[kInstalled] = {};
  f.player.running = true;
  Uninstall(f.settings, services);
  EXPECT_EQ(Joined(f.player.calls), "IsRunning Close Pause:1000 Start:" + kPlayer + "winamp.exe");
  EXPECT_FALSE(f.fs.Exists(kInstalled));
  EXPECT_EQ(f.settings.HideIcons.Read(), 0u);
  EXPECT_EQ(windows.shown, std::vector<std::string>(2, "uninstall applier"));
  EXPECT_TRUE(f.prompter.shown.empty());
}

}  // namespace
}  // namespace auralith

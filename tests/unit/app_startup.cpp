#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/startup.h"
#include "platform/native.h"
#include "settings/memory_registry_store.h"
#include "settings/settings.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using testing::Native;
using testing::ScriptedPrompter;

constexpr const char* kAdvanced = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
constexpr const char* kQuestion =
    "It seems like you have run this application from another location before.\n"
    "Do you want to make this location the default one?";

std::string Text(RegistryStore& store, const std::string& name) {
  RegValue value;
  if (!store.Query(Hive::CurrentUser, kSettingsKey, name, &value)) return "<missing>";
  return value.type == kRegSz ? value.data : "<not text>";
}

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

std::int64_t Number(RegistryStore& store, const std::string& key, const std::string& name) {
  RegValue value;
  if (!store.Query(Hive::CurrentUser, key, name, &value) || value.type != kRegDword || value.data.size() != 4)
    return -1;
  std::uint32_t n = 0;
  for (int i = 3; i >= 0; --i) n = n << 8 | static_cast<unsigned char>(value.data[static_cast<std::size_t>(i)]);
  return n;
}

// A player folder with its program, so that start-up finds the player
// without asking.
const std::string& PlayerFolder() {
  static testing::TempDir folder;
  static const bool made = (testing::WriteFile(folder / "winamp.exe", ""), true);
  (void)made;
  return folder.path();
}

int Start(MemoryRegistryStore& store, ScriptedPrompter& prompter, std::vector<std::string> args,
          testing::RecordingWindows* windows = nullptr) {
  store.Set(Hive::CurrentUser, kSettingsKey, "winamp", RegValue{kRegSz, PlayerFolder() + '\0'});
  NativeFileSystem fs;
  testing::RecordingPlayer player;
  testing::RecordingWindows ignored;
  return RunStartup(args, StartupServices{store, prompter, fs, player, windows ? *windows : ignored});
}

const std::string kProgram = Native("/opt/Auralith/Auralith.exe");
const std::string kDir = Native("/opt/Auralith/");

TEST(StartupTest, FirstRunRecordsTheDirectoryAndWritesFactoryDefaults) {
  MemoryRegistryStore store;
  ScriptedPrompter prompter;
  EXPECT_EQ(Start(store, prompter, {kProgram}), 0);
  EXPECT_TRUE(prompter.shown.empty());
  EXPECT_EQ(Text(store, "location"), Sz(kDir));
  EXPECT_EQ(Number(store, kAdvanced, "HideIcons"), 1);
  // Factory defaults, not the load defaults (which leave these at 0), and
  // every value written.
  EXPECT_EQ(Number(store, kSettingsKey, "4_id3"), 1);
  EXPECT_EQ(Number(store, kSettingsKey, "3_launchsingle"), 1);
  const auto& key =
      store.root(Hive::CurrentUser).subkeys.at("software").key->subkeys.at("corvale").key->subkeys.at("auralith").key;
  EXPECT_EQ(key->values.size(), 30u);
}

// Writes up to a budget and then no more, as if the program had been stopped.
class StoppingStore : public MemoryRegistryStore {
 public:
  bool Set(Hive hive, const std::string& key, const std::string& name, const RegValue& value) override {
    return budget-- > 0 && MemoryRegistryStore::Set(hive, key, name, value);
  }
  int budget = 0;
};

TEST(StartupTest, AFirstStartStoppedHalfWayIsDoneAgain) {
  for (int budget = 1; budget < 40; ++budget) {
    StoppingStore store;
    ScriptedPrompter prompter;
    store.budget = budget;
    Start(store, prompter, {kProgram});
    store.budget = 1000;
    Start(store, prompter, {kProgram});
    EXPECT_EQ(Number(store, kSettingsKey, "4_id3"), 1) << budget;
    EXPECT_EQ(Text(store, "location"), Sz(kDir)) << budget;
  }
}

TEST(StartupTest, LaterStartsKeepTheOptions) {
  MemoryRegistryStore store;
  ScriptedPrompter prompter;
  Start(store, prompter, {kProgram});
  {
    Settings settings(store);
    settings._2_backcolor.Set("Red");
    settings.HideIcons.Set(0);
  }
  Start(store, prompter, {kProgram, "-Install"});
  EXPECT_TRUE(prompter.shown.empty());
  EXPECT_EQ(Text(store, "2_backcolor"), Sz("Red"));
  EXPECT_EQ(Number(store, kAdvanced, "HideIcons"), 0);
}

TEST(StartupTest, AsksAboutTheLocationOnlyWhenTheDirectoryReallyDiffers) {
  struct Case {
    const char* name;
    std::string stored;
    std::string program;
    std::optional<MessageAnswer> answer;  // none: not asked
    std::string expectedLocation;
  };
  const Case cases[] = {
      {"same", kDir, kProgram, std::nullopt, kDir},
      {"other_case_keeps_stored_case", "/OPT/auralith/", kProgram, std::nullopt, "/OPT/auralith/"},
      // Letters beyond ASCII are compared without their case too.
      {"other_case_beyond_ascii", "/Musik/ÜBER Ä/", "/musik/über ä/Auralith.exe", std::nullopt, "/Musik/ÜBER Ä/"},
      {"moved_yes", "/old/place/", "/New/Place/Auralith.exe", MessageAnswer::Yes, "/New/Place/"},
      {"moved_no", "/old/place/", "/New/Place/Auralith.exe", MessageAnswer::No, "/old/place/"},
      {"missing_trailing_separator_differs", "/opt/Auralith", kProgram, MessageAnswer::No, "/opt/Auralith"},
      {"bare_name_against_a_location", kDir, "Auralith.exe", MessageAnswer::Yes, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryRegistryStore store;
    ScriptedPrompter prompter;
    store.Set(Hive::CurrentUser, kSettingsKey, "location", RegValue{kRegSz, Sz(Native(c.stored))});
    store.Set(Hive::CurrentUser, kSettingsKey, "2_backcolor", RegValue{kRegSz, Sz("Red")});
    if (c.answer) prompter.Answer(*c.answer);
    Start(store, prompter, {Native(c.program)});
    ASSERT_EQ(prompter.shown.size(), c.answer ? 1u : 0u);
    if (c.answer) {
      EXPECT_EQ(prompter.shown[0].text, kQuestion);
      EXPECT_EQ(prompter.shown[0].caption, "Question");
      EXPECT_EQ(prompter.shown[0].buttons, MessageButtons::YesNo);
      EXPECT_EQ(prompter.shown[0].icon, MessageIcon::Question);
    }
    EXPECT_EQ(Text(store, "location"), Sz(Native(c.expectedLocation)));
    // Not a first run: the options stay.
    EXPECT_EQ(Text(store, "2_backcolor"), Sz("Red"));
  }
}

TEST(StartupTest, NoProgramDirectoryLeavesLocationEmptySoEveryStartIsAFirstRun) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"Auralith.exe"}, std::vector<std::string>{}}) {
    SCOPED_TRACE(args.size());
    MemoryRegistryStore store;
    ScriptedPrompter prompter;
    EXPECT_EQ(Start(store, prompter, args), 0);
    EXPECT_EQ(Text(store, "location"), Sz(""));
    EXPECT_EQ(Number(store, kAdvanced, "HideIcons"), 1);
    {
      Settings settings(store);
      settings._2_backcolor.Set("Red");
    }
    Start(store, prompter, args);
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_EQ(Text(store, "2_backcolor"), Sz("Black")) << "factory defaults again";
  }
}

TEST(StartupTest, UninstallRemovesTheSettingsKeyWithoutAsking) {
  MemoryRegistryStore store;
  ScriptedPrompter prompter;
  Start(store, prompter, {kProgram});
  store.Set(Hive::ClassesRoot, "Auralith", "Url Protocol", RegValue{kRegSz, Sz("")});
  store.Set(Hive::CurrentUser, "Software\\Corvale\\Sibling", "v", RegValue{kRegSz, Sz("x")});
  EXPECT_EQ(Start(store, prompter, {Native("/elsewhere/Auralith.exe"), "-uninstall"}), 0);
  EXPECT_TRUE(prompter.shown.empty());
  EXPECT_EQ(Text(store, "location"), "<missing>");
  EXPECT_EQ(Text(store, "2_backcolor"), "<missing>");
  EXPECT_EQ(
      store.root(Hive::CurrentUser).subkeys.at("software").key->subkeys.at("corvale").key->subkeys.count("auralith"),
      0u);
  EXPECT_EQ(Number(store, kAdvanced, "HideIcons"), 0) << "the desktop icons come back";
  RegValue value;
  EXPECT_TRUE(store.Query(Hive::ClassesRoot, "Auralith", "Url Protocol", &value));
  EXPECT_TRUE(store.Query(Hive::CurrentUser, "Software\\Corvale\\Sibling", "v", &value));
  // Twice: nothing left to remove, nothing written that stays.
  EXPECT_EQ(Start(store, prompter, {kProgram, "-uninstall"}), 0);
  EXPECT_EQ(Text(store, "2_backcolor"), "<missing>");
}

TEST(StartupTest, OnlyTheExactFirstArgumentSetsTheMode) {
  struct Case {
    std::vector<std::string> args;
    StartMode expected;
  };
  const Case cases[] = {{{"A.exe"}, StartMode::Normal},
                        {{}, StartMode::Normal},
                        {{"A.exe", "-install"}, StartMode::Install},
                        {{"A.exe", "-uninstall"}, StartMode::Uninstall},
                        {{"A.exe", "-Install"}, StartMode::Normal},
                        {{"A.exe", "/install"}, StartMode::Normal},
                        {{"A.exe", "-UNINSTALL"}, StartMode::Normal},
                        {{"A.exe", "/uninstall"}, StartMode::Normal},
                        {{"A.exe", "-uninstall "}, StartMode::Normal},
                        {{"A.exe", "x", "-uninstall"}, StartMode::Normal},
                        {{"A.exe", "-install", "-uninstall"}, StartMode::Install},
                        {{"-uninstall"}, StartMode::Normal}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    EXPECT_EQ(ParseStartMode(c.args), c.expected);
  }
}

TEST(StartupTest, UninstallInAnotherCaseIsANormalStart) {
  // The modes themselves are ParseStartMode's; here only that neither
  // -install nor a near miss of -uninstall removes anything.
  for (const char* argument : {"-Uninstall", "-install"}) {
    SCOPED_TRACE(argument);
    MemoryRegistryStore store;
    ScriptedPrompter prompter;
    Start(store, prompter, {kProgram, argument});
    EXPECT_EQ(Text(store, "location"), Sz(kDir));
    EXPECT_EQ(Number(store, kAdvanced, "HideIcons"), 1);
  }
}

// The window opens last, after the location check and the player steps;
// only "-install" applies first, and "-uninstall" runs the applier instead.
TEST(StartupTest, TheWindowOpensLast) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {{"", {"configuration"}},
                                                                    {"-install", {"configuration+apply"}},
                                                                    {"-Install", {"configuration"}},
                                                                    {"-uninstall", {"uninstall applier"}}};
  for (const auto& [argument, expected] : cases) {
    SCOPED_TRACE(argument);
    MemoryRegistryStore store;
    ScriptedPrompter prompter;
    testing::RecordingWindows windows;
    Start(store, prompter, {kProgram, argument}, &windows);
    EXPECT_EQ(windows.shown, expected);
  }
}

TEST(StartupTest, ProgramDirectoryKeepsEverythingUpToTheLastSeparator) {
  struct Case {
    std::vector<std::string> args;
    std::string expected;
  };
  const Case cases[] = {{{Native("/a/b c/Auralith.exe"), "-install"}, Native("/a/b c/")},
                        {{Native("/Auralith.exe")}, Native("/")},
                        {{"Auralith.exe"}, ""},
                        {{""}, ""},
                        {{}, ""},
                        {{Native("/a/b/")}, Native("/a/b/")}};
  for (const Case& c : cases) EXPECT_EQ(ProgramDirectory(c.args), c.expected) << ::testing::PrintToString(c.args);
}

}  // namespace
}  // namespace auralith

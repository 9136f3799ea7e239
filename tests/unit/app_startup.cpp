#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/startup.h"
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

int Start(MemoryRegistryStore& store, ScriptedPrompter& prompter, std::vector<std::string> args) {
  return RunStartup(args, StartupServices{store, prompter});
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
  EXPECT_EQ(Text(store, "2_backcolor"), Sz("Black"));
  EXPECT_EQ(Text(store, "4_outformat"), Sz("%3. %4"));
  EXPECT_EQ(Text(store, "winamp"), Sz(""));
  EXPECT_EQ(Text(store, "4_music"), Sz(""));
  EXPECT_EQ(Number(store, kSettingsKey, "4_id3"), 1);
  EXPECT_EQ(Number(store, kSettingsKey, "3_launchsingle"), 1);
  EXPECT_EQ(Number(store, kSettingsKey, "4_ignorefileinfo"), 0);
  const auto& key =
      store.root(Hive::CurrentUser).subkeys.at("software").key->subkeys.at("corvale").key->subkeys.at("auralith").key;
  EXPECT_EQ(key->values.size(), 30u);
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

struct LocationCase {
  const char* name;
  std::string stored;
  std::string program;
  std::vector<MessageAnswer> answers;
  bool asked;
  std::string expectedLocation;
};

class LocationCheckTest : public ::testing::TestWithParam<LocationCase> {};

TEST_P(LocationCheckTest, AsksOnlyWhenTheDirectoryReallyDiffers) {
  const LocationCase& c = GetParam();
  MemoryRegistryStore store;
  ScriptedPrompter prompter;
  store.Set(Hive::CurrentUser, kSettingsKey, "location", RegValue{kRegSz, Sz(c.stored)});
  store.Set(Hive::CurrentUser, kSettingsKey, "2_backcolor", RegValue{kRegSz, Sz("Red")});
  for (MessageAnswer answer : c.answers) prompter.Answer(answer);
  Start(store, prompter, {c.program});
  ASSERT_EQ(prompter.shown.size(), c.asked ? 1u : 0u);
  if (c.asked) {
    EXPECT_EQ(prompter.shown[0].text, kQuestion);
    EXPECT_EQ(prompter.shown[0].caption, "Question");
    EXPECT_EQ(prompter.shown[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(prompter.shown[0].icon, MessageIcon::Question);
  }
  EXPECT_EQ(Text(store, "location"), Sz(c.expectedLocation));
  // Not a first run: the options stay.
  EXPECT_EQ(Text(store, "2_backcolor"), Sz("Red"));
}

INSTANTIATE_TEST_SUITE_P(
    Locations, LocationCheckTest,
    ::testing::Values(
        LocationCase{"same", kDir, kProgram, {}, false, kDir},
        LocationCase{
            "other_case_keeps_stored_case", Native("/OPT/auralith/"), kProgram, {}, false, Native("/OPT/auralith/")},
        // Letters beyond ASCII are compared without their case too.
        LocationCase{"other_case_beyond_ascii", Native("/Musik/ÜBER Ä/"), Native("/musik/über ä/Auralith.exe"), {},
                     false, Native("/Musik/ÜBER Ä/")},
        LocationCase{"moved_yes",
                     Native("/old/place/"),
                     Native("/New/Place/Auralith.exe"),
                     {MessageAnswer::Yes},
                     true,
                     Native("/New/Place/")},
        LocationCase{"moved_no",
                     Native("/old/place/"),
                     Native("/New/Place/Auralith.exe"),
                     {MessageAnswer::No},
                     true,
                     Native("/old/place/")},
        LocationCase{"missing_trailing_separator_differs",
                     Native("/opt/Auralith"),
                     kProgram,
                     {MessageAnswer::No},
                     true,
                     Native("/opt/Auralith")},
        LocationCase{"bare_name_against_a_location", kDir, "Auralith.exe", {MessageAnswer::Yes}, true, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StartupTest, BareProgramNameLeavesLocationEmptySoEveryStartIsAFirstRun) {
  MemoryRegistryStore store;
  ScriptedPrompter prompter;
  Start(store, prompter, {"Auralith.exe"});
  EXPECT_EQ(Text(store, "location"), Sz(""));
  EXPECT_EQ(Number(store, kAdvanced, "HideIcons"), 1);
  {
    Settings settings(store);
    settings._2_backcolor.Set("Red");
  }
  Start(store, prompter, {"Auralith.exe"});
  EXPECT_TRUE(prompter.shown.empty());
  EXPECT_EQ(Text(store, "2_backcolor"), Sz("Black")) << "factory defaults again";
}

TEST(StartupTest, NoArgumentsAtAllIsAFirstRunWithoutDirectory) {
  MemoryRegistryStore store;
  ScriptedPrompter prompter;
  EXPECT_EQ(Start(store, prompter, {}), 0);
  EXPECT_EQ(Text(store, "location"), Sz(""));
  EXPECT_EQ(Number(store, kAdvanced, "HideIcons"), 1);
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
  EXPECT_EQ(Number(store, kAdvanced, "HideIcons"), 1);
  RegValue value;
  EXPECT_TRUE(store.Query(Hive::ClassesRoot, "Auralith", "Url Protocol", &value));
  EXPECT_TRUE(store.Query(Hive::CurrentUser, "Software\\Corvale\\Sibling", "v", &value));
  // Twice: nothing left to remove, nothing written that stays.
  EXPECT_EQ(Start(store, prompter, {kProgram, "-uninstall"}), 0);
  EXPECT_EQ(Text(store, "2_backcolor"), "<missing>");
}

struct ModeCase {
  const char* name;
  std::vector<std::string> args;
  StartMode expected;
};

class StartModeTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(StartModeTest, OnlyTheExactFirstArgumentCounts) {
  EXPECT_EQ(ParseStartMode(GetParam().args), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, StartModeTest,
    ::testing::Values(ModeCase{"none", {"A.exe"}, StartMode::Normal}, ModeCase{"empty_vector", {}, StartMode::Normal},
                      ModeCase{"install", {"A.exe", "-install"}, StartMode::Install},
                      ModeCase{"uninstall", {"A.exe", "-uninstall"}, StartMode::Uninstall},
                      ModeCase{"install_other_case", {"A.exe", "-Install"}, StartMode::Normal},
                      ModeCase{"install_with_slash", {"A.exe", "/install"}, StartMode::Normal},
                      ModeCase{"uninstall_other_case", {"A.exe", "-UNINSTALL"}, StartMode::Normal},
                      ModeCase{"uninstall_with_slash", {"A.exe", "/uninstall"}, StartMode::Normal},
                      ModeCase{"uninstall_with_space", {"A.exe", "-uninstall "}, StartMode::Normal},
                      ModeCase{"uninstall_second", {"A.exe", "x", "-uninstall"}, StartMode::Normal},
                      ModeCase{"install_then_uninstall", {"A.exe", "-install", "-uninstall"}, StartMode::Install},
                      ModeCase{"uninstall_as_program_path", {"-uninstall"}, StartMode::Normal}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StartupTest, UninstallInAnotherCaseIsANormalStart) {
  for (const char* argument : {"-Uninstall", "/uninstall", "-install", "/install"}) {
    SCOPED_TRACE(argument);
    MemoryRegistryStore store;
    ScriptedPrompter prompter;
    Start(store, prompter, {kProgram, argument});
    EXPECT_EQ(Text(store, "location"), Sz(kDir));
    EXPECT_EQ(Number(store, kAdvanced, "HideIcons"), 1);
  }
}

struct DirectoryCase {
  const char* name;
  std::vector<std::string> args;
  std::string expected;
};

class ProgramDirectoryTest : public ::testing::TestWithParam<DirectoryCase> {};

TEST_P(ProgramDirectoryTest, KeepsEverythingUpToTheLastSeparator) {
  EXPECT_EQ(ProgramDirectory(GetParam().args), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ProgramDirectoryTest,
    ::testing::Values(DirectoryCase{"full_path", {Native("/a/b c/Auralith.exe"), "-install"}, Native("/a/b c/")},
                      DirectoryCase{"root", {Native("/Auralith.exe")}, Native("/")},
                      DirectoryCase{"bare_name", {"Auralith.exe"}, ""}, DirectoryCase{"empty_path", {""}, ""},
                      DirectoryCase{"no_arguments", {}, ""},
                      DirectoryCase{"ends_in_separator", {Native("/a/b/")}, Native("/a/b/")}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace auralith

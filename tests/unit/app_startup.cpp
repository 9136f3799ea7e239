#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/startup.h"
#include "platform/native.h"
#include "settings/memory_registry_store.h"
#include "settings/settings.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using testing::LittleEndian;
using testing::Native;
using testing::ScriptedPrompter;

const std::string kProgram = Native("/opt/Auralith/Auralith.exe"), kDir = Native("/opt/Auralith/");

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

std::string Get(RegistryStore& store, const std::string& name, const std::string& key = kSettingsKey) {
  RegValue value;
  return store.Query(Hive::CurrentUser, key, name, &value) ? value.data : "<missing>";
}

// A player folder with its program, so that start-up finds it without asking.
int Start(MemoryRegistryStore& store, ScriptedPrompter& prompter, std::vector<std::string> args,
          testing::RecordingWindows* windows = nullptr) {
  static const testing::TempDir player;
  testing::WriteFile(player / "winamp.exe", "");
  store.Set(Hive::CurrentUser, kSettingsKey, "winamp", RegValue{kRegSz, Sz(player.path())});
  NativeFileSystem fs;
  testing::RecordingPlayer recording;
  testing::RecordingWindows ignored;
  return RunStartup(args, StartupServices{store, prompter, fs, recording, windows ? *windows : ignored});
}

// Writes up to a budget and then no more, as if the program had been stopped.
class StoppingStore : public MemoryRegistryStore {
 public:
  bool Set(Hive hive, const std::string& key, const std::string& name, const RegValue& value) override {
    return budget-- > 0 && MemoryRegistryStore::Set(hive, key, name, value);
  }
  int budget = 1000;
};

TEST(StartupTest, FirstRunRecordsTheDirectoryAndWritesFactoryDefaults) {
  MemoryRegistryStore store;
  ScriptedPrompter prompter;
  EXPECT_EQ(Start(store, prompter, {kProgram}), 0);
  // Factory defaults, not the load defaults (0 here), and every value written.
  EXPECT_EQ(Get(store, "4_id3") + Get(store, "3_launchsingle"), LittleEndian(1, 4) + LittleEndian(1, 4));
  const auto& corvale = store.root(Hive::CurrentUser).subkeys.at("software").key->subkeys.at("corvale");
  EXPECT_EQ(corvale.key->subkeys.at("auralith").key->values.size(), 30u);

  // A first start stopped half-way is done again.
  for (int budget = 1; budget < 40; ++budget) {
    StoppingStore stopped;
    stopped.budget = budget;
    Start(stopped, prompter, {kProgram});
    stopped.budget = 1000;
    Start(stopped, prompter, {kProgram});
    EXPECT_EQ(Get(stopped, "4_id3") + Get(stopped, "location"), LittleEndian(1, 4) + Sz(kDir)) << budget;
  }
}

TEST(StartupTest, AsksAboutTheLocationOnlyWhenTheDirectoryReallyDiffers) {
  struct Case {
    std::string stored, program;
    std::optional<MessageAnswer> answer;  // none: not asked
    std::string expectedLocation;
  };
  const Case cases[] = {{kDir, kProgram, std::nullopt, kDir},
                        {"/OPT/auralith/", kProgram, std::nullopt, "/OPT/auralith/"},
                        // Letters beyond ASCII are compared without their case too.
                        {"/Musik/ÜBER Ä/", "/musik/über ä/Auralith.exe", std::nullopt, "/Musik/ÜBER Ä/"},
                        {"/old/place/", "/New/Place/Auralith.exe", MessageAnswer::Yes, "/New/Place/"},
                        {"/old/place/", "/New/Place/Auralith.exe", MessageAnswer::No, "/old/place/"},
                        {"/opt/Auralith", kProgram, MessageAnswer::No, "/opt/Auralith"},
                        {kDir, "Auralith.exe", MessageAnswer::Yes, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored + " " + c.program);
    MemoryRegistryStore store;
    ScriptedPrompter prompter;
    store.Set(Hive::CurrentUser, kSettingsKey, "location", RegValue{kRegSz, Sz(Native(c.stored))});
    store.Set(Hive::CurrentUser, kSettingsKey, "2_backcolor", RegValue{kRegSz, Sz("Red")});
    if (c.answer) prompter.Answer(*c.answer);
    Start(store, prompter, {Native(c.program)});
    // Its text and caption are the Win32 start-up test's.
    ASSERT_EQ(prompter.shown.size(), c.answer ? 1u : 0u);
    if (c.answer) {
      EXPECT_EQ(prompter.shown[0].buttons, MessageButtons::YesNo);
    }
    EXPECT_EQ(Get(store, "location"), Sz(Native(c.expectedLocation)));
    EXPECT_EQ(Get(store, "2_backcolor"), Sz("Red")) << "not a first run: the options stay";
  }
}

// Only the exact first argument sets the mode; "-uninstall" runs the applier instead of the window.
TEST(StartupTest, TheFirstArgumentChoosesTheMode) {
  const struct {
    std::vector<std::string> args;
    const char* window;
  } runs[] = {{{kProgram}, "configuration"},
              {{kProgram, "-install"}, "configuration+apply"},
              {{kProgram, "-uninstall"}, "uninstall applier"},
              {{kProgram, "-UNINSTALL"}, "configuration"},
              {{kProgram, "/uninstall"}, "configuration"},
              {{kProgram, "x", "-uninstall"}, "configuration"}};
  for (const auto& run : runs) {
    SCOPED_TRACE(::testing::PrintToString(run.args));
    MemoryRegistryStore store;
    ScriptedPrompter prompter;
    Start(store, prompter, {kProgram});
    testing::RecordingWindows windows;
    EXPECT_EQ(Start(store, prompter, run.args, &windows), 0);
    EXPECT_EQ(windows.shown, std::vector<std::string>{run.window});
    EXPECT_EQ(Get(store, "location"), run.window == std::string("uninstall applier") ? "<missing>" : Sz(kDir));
    EXPECT_TRUE(prompter.shown.empty());
  }
}

}  // namespace
}  // namespace auralith

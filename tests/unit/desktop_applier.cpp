#include "desktop/applier.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "base/code_page.h"
#include "base/path.h"
#include "desktop/desktop_files.h"
#include "platform/native.h"
#include "settings/memory_registry_store.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using testing::ReadFile;
using testing::StoreLocation;
using testing::TempDir;
using Texts = std::vector<std::string>;

constexpr const char* kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
constexpr const char* kComponents = "Software\\Microsoft\\Internet Explorer\\Desktop\\Components\\";
constexpr auto Dword = testing::DwordValue;

RegValue Binary(std::string bytes) { return RegValue{kRegBinary, std::move(bytes)}; }

// A ShellState of `size` bytes whose word at offset 4 is `word` and whose others count up, so any stray change shows.
RegValue ShellState(std::size_t size, std::uint32_t word, std::uint32_t type = kRegBinary) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i < 4 || i > 7 ? 0x80 + i : word >> (8 * (i - 4)));
  return RegValue{type, bytes};
}

std::string Shown(const std::optional<RegValue>& value) {
  return value ? std::to_string(value->type) + ":" + value->data : "absent";
}

// One line of a generated file, its key padded to the value column.
std::string Statement(const std::string& key, const std::string& value) {
  return key + std::string(22 - key.size(), ' ') + "= " + value + ";\r\n";
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The configuration file with the default font; `colours` as written: background, faded background, text, text hover.
std::string ConfigFile(const Texts& colours, const std::string& image, const std::string& back) {
  return "// Auralith Configuration File\r\n\r\n" + Statement("text_face", Quoted("Georgia")) +
         Statement("text_size", Quoted("18")) + "\r\n" + Statement("color_background", Quoted(colours[0])) +
         Statement("color_fadedbackground", Quoted(colours[1])) + "\r\n" + Statement("color_text", Quoted(colours[2])) +
         Statement("color_texthover", Quoted(colours[3])) + "\r\n" + Statement("back_type", back) +
         Statement("back_image", Quoted(image)) + Statement("back_position", back) + "\r\n";
}

// `values`: list_side, list_offset, left, right and top mapping, launch_single.
std::string BehaviourFile(const Texts& values) {
  return "// Auralith Behaviour File\r\n\r\n" + Statement("list_side", values[0]) +
         Statement("list_offset", values[1]) + "\r\n" + Statement("left_mapping", values[2]) +
         Statement("right_mapping", values[3]) + Statement("top_mapping", values[4]) + "\r\n" +
         Statement("launch_single", values[5]);
}

class DesktopTest : public ::testing::Test {
 protected:
  DesktopTest() { StoreLocation(registry, dir.path()); }

  std::string Stored(const std::string& key, const std::string& name) {
    RegValue value;
    return registry.Query(Hive::CurrentUser, key, name, &value) ? Shown(value) : "absent";
  }
  void Write() { WriteDesktopFiles(settings, fs, prompter); }

  TempDir dir;
  MemoryRegistryStore registry;
  Settings settings{registry};
  testing::RecordingShell shell;
  NativeFileSystem fs;
  testing::ScriptedPrompter prompter;
  testing::RecordingProgress progress;
};

// A first start's defaults byte for byte, then other values as the page reads them: an unlisted colour (names match
// case-sensitively) goes as typed, a listed text colour takes its pair; the image path's separators turn round around
// multibyte characters; no selected trigger entry (0xFFFFFFFF) reaches the page as -1.
TEST_F(DesktopTest, TheFilesAsThePageReadsThem) {
  settings._3_launchsingle.Set(1);
  Write();
  EXPECT_EQ(ReadFile(dir / "Auralith.config"), ConfigFile({"#000000", "#111111", "#009000", "#00B000"}, "", "0"));
  EXPECT_EQ(ReadFile(dir / "Auralith.behaviour"), BehaviourFile({"-1", "0", "1", "3", "2", "1"}));
  EXPECT_EQ(ReadFile(dir / "Auralith.data"),
            "// Auralith Data File\r\n\r\nbase = \"\";\r\n\r\ndisplay  = new Array();\r\nnames    = new Array();\r\n\r\n");

  settings._2_backcolor.Set("black");
  settings._2_textcolor.Set("Yellow");
  settings._2_backimage.Set("\\\\server\\M\xC3\xBCsik\\\\\xE5\xA3\x81.png\\");
  settings._2_backtype.Set(0x80000000u);
  settings._2_backposition.Set(0x80000000u);
  settings._3_position.Set(2);
  settings._3_offset.Set("-250");
  settings._3_lefttriggernum.Set(0xFFFFFFFFu);
  settings._3_righttriggernum.Set(0);
  settings._3_launchsingle.Set(0);
  Write();
  EXPECT_EQ(ReadFile(dir / "Auralith.config"), ConfigFile({"black", "black", "#FFFF33", "#FFFF66"},
                                                          "//server/M\xC3\xBCsik//\xE5\xA3\x81.png/", "-2147483648"));
  EXPECT_EQ(ReadFile(dir / "Auralith.behaviour"), BehaviourFile({"1", "-250", "-1", "0", "2", "0"}));
  EXPECT_TRUE(prompter.shown.empty());
}

// Each failure is reported and the next file still tried. The location is read
// afresh for each: the uninstaller removes the settings key before applying.
TEST_F(DesktopTest, WhereTheFilesGoAndWhatFailsThere) {
  testing::WriteFile(dir / "plain", "not a folder");
  StoreLocation(registry, (dir / "plain") + kPathSeparator);
  Write();
  EXPECT_EQ(testing::ShownTexts(prompter), (Texts{"Error writing configuration file", "Error writing behaviour file",
                                                  "Error writing temporary data file"}));
  for (const auto& shown : prompter.shown)
    EXPECT_TRUE(shown.caption == "Error" && shown.icon == MessageIcon::Error && shown.buttons == MessageButtons::Ok);

  // A builder's data file, with bytes a rewrite would change, is left alone.
  TempDir moved;
  const std::string library = std::string("var base = \"x\";\n\r\n\xFF") + '\0' + "tail";
  testing::WriteFile(moved / "Auralith.data", library);
  StoreLocation(registry, moved.path());
  Write();
  EXPECT_EQ(ReadFile(moved / "Auralith.data"), library);
  EXPECT_EQ(testing::ListNames(moved.path()), (Texts{"Auralith.behaviour", "Auralith.config", "Auralith.data"}));

  // Without the value nothing lands in the working directory.
  registry.DeleteTree(Hive::CurrentUser, kSettingsKey);
  TempDir work;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(std::u8string(work.path().begin(), work.path().end()));
  prompter.shown.clear();
  Write();
  std::filesystem::current_path(previous);
  EXPECT_EQ(testing::ListNames(work.path()), Texts{});
  EXPECT_TRUE(prompter.shown.empty());
}

// Name, the value before, whether uninstalling, the value after.
TEST_F(DesktopTest, ShellStateBit) {
  const std::tuple<const char*, std::optional<RegValue>, bool, std::optional<RegValue>> cases[] = {
      {"absent", std::nullopt, false, std::nullopt},
      {"uninstall clears only 0x40", ShellState(36, 0xFFFFFFFF), true, ShellState(36, 0xFFFFFFBF)},
      // A toggle instead of a set would clear it on a second install.
      {"install, already set", ShellState(36, 0xA040), false, ShellState(36, 0xA040)},
      {"exactly 72 bytes", ShellState(72, 0x100), false, ShellState(72, 0x140)},
      // Too short to hold the word: left as it was, byte 4 included.
      {"7 bytes", ShellState(7, 0), false, ShellState(7, 0)},
      {"type is kept", ShellState(8, 0, kRegDword), false, ShellState(8, 0x40, kRegDword)},
      // 73 bytes do not fit the shell's buffer: unreadable, so left alone.
      {"73 bytes", ShellState(73, 0), true, ShellState(73, 0)},
  };
  for (const auto& [name, before, uninstall, after] : cases) {
    registry.DeleteTree(Hive::CurrentUser, kExplorer);
    if (before) registry.Set(Hive::CurrentUser, kExplorer, "ShellState", *before);
    SetShellDesktopFlag(registry, uninstall);
    EXPECT_EQ(Stored(kExplorer, "ShellState"), Shown(after)) << name;
  }
}

// The wallpaper is the page in the location, none on uninstall; without a shell nothing more is asked of it.
// Non-ASCII paths take the process's code page, which is UTF-8 only where the program carries its manifest.
TEST_F(DesktopTest, WallpaperAndShellCalls) {
  const std::string utf8 = "C:\\M\xC3\xBCsik\\\xE9\x9F\xB3\xF0\x9F\x8E\xB5\\";
  const Texts install = {"Create", "SetWallpaper", "GetDesktopItemCount", "ApplyChanges:15", "Release"};
  // The location, whether uninstalling, whether the shell is there, the wallpapers set, the calls.
  const std::tuple<std::string, bool, bool, std::vector<std::u16string>, Texts> cases[] = {
      {"C:\\Apps\\", false, true, {u"C:\\Apps\\Auralith.htm"}, install},
      {utf8, false, true, {u"C:\\M\u00FCsik\\\u97F3\U0001F3B5\\Auralith.htm"}, install},
      {"C:\\Apps\\", true, true, {u""}, {"Create", "SetWallpaper", "ApplyChanges:15", "Release"}},
      {"C:\\Apps\\", false, false, {}, {"Create"}},
  };
  for (const auto& [location, uninstall, createSucceeds, wallpapers, calls] : cases) {
    if (location == utf8 && AnsiToUtf16("\xC3\xBC") != u"\u00FC") continue;
    settings.location.Set(location);
    shell = testing::RecordingShell();
    shell.createSucceeds = createSucceeds;
    InstallDesktopPage(settings, registry, shell, uninstall);
    EXPECT_EQ(shell.calls, calls);
    EXPECT_TRUE(shell.wallpapers == wallpapers) << location;
  }
}

// When the shell is told to apply, the files and the ShellState bit are in
// place; installing has cleared one flag bit of each item the shell reports.
TEST_F(DesktopTest, TheShellAppliesWhatIsWrittenBefore) {
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
  struct : testing::RecordingShell {
    std::function<void()> onApply;
    void ApplyChanges(std::uint32_t) override { onApply(); }
  } checking;
  checking.itemCount = 6;
  for (bool uninstall : {false, true}) {
    TempDir place;
    settings.location.Set(place.path());
    registry.Set(Hive::CurrentUser, kExplorer, "ShellState", ShellState(36, uninstall ? 0x40 : 0));
    for (int i = 0; i < 7; ++i)
      if (items[i].flags) registry.Set(Hive::CurrentUser, kComponents + std::to_string(i), "Flags", *items[i].flags);
    std::string seen;
    checking.onApply = [&] { seen = Stored(kExplorer, "ShellState") + " " + ReadFile(place / "Auralith.data"); };
    AuralithApplier(settings, registry, checking, fs, prompter, uninstall).RunWorker(progress);
    EXPECT_EQ(seen, Shown(ShellState(36, uninstall ? 0 : 0x40)) + " " + ReadFile(place / "Auralith.data"));
    for (int i = 0; i < 7; ++i)
      EXPECT_EQ(Stored(kComponents + std::to_string(i), "Flags"), Shown(uninstall ? items[i].flags : items[i].expected))
          << items[i].name;
  }
}

}  // namespace
}  // namespace auralith

#include "desktop/desktop_files.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/path.h"
#include "platform/native.h"
#include "settings/memory_registry_store.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using testing::FileExists;
using testing::ReadFile;
using testing::StoreLocation;
using testing::TempDir;
using testing::WriteFile;

constexpr const char* kConfigMessage = "Error writing configuration file";
constexpr const char* kBehaviourMessage = "Error writing behaviour file";
constexpr const char* kDataMessage = "Error writing temporary data file";

// One line of a generated file, its key padded to the value column.
std::string Statement(const std::string& key, const std::string& value) {
  return key + std::string(22 - key.size(), ' ') + "= " + value + ";\r\n";
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The configuration file with the default font; `colours` as written:
// background, faded background, text, text hover.
std::string ConfigFile(const std::vector<std::string>& colours, const std::string& image, const std::string& back) {
  return "// Auralith Configuration File\r\n\r\n" + Statement("text_face", Quoted("Georgia")) +
         Statement("text_size", Quoted("18")) + "\r\n" + Statement("color_background", Quoted(colours[0])) +
         Statement("color_fadedbackground", Quoted(colours[1])) + "\r\n" + Statement("color_text", Quoted(colours[2])) +
         Statement("color_texthover", Quoted(colours[3])) + "\r\n" + Statement("back_type", back) +
         Statement("back_image", Quoted(image)) + Statement("back_position", back) + "\r\n";
}

// `values`: list_side, list_offset, left, right and top mapping, launch_single.
std::string BehaviourFile(const std::vector<std::string>& values) {
  return "// Auralith Behaviour File\r\n\r\n" + Statement("list_side", values[0]) +
         Statement("list_offset", values[1]) + "\r\n" + Statement("left_mapping", values[2]) +
         Statement("right_mapping", values[3]) + Statement("top_mapping", values[4]) + "\r\n" +
         Statement("launch_single", values[5]);
}

class DesktopFilesTest : public ::testing::Test {
 protected:
  DesktopFilesTest() { StoreLocation(store, dir.path()); }

  std::string Config() { return ReadFile(dir / "Auralith.config"); }
  std::string Behaviour() { return ReadFile(dir / "Auralith.behaviour"); }
  void Write() { WriteDesktopFiles(settings, fs, prompter); }

  TempDir dir;
  MemoryRegistryStore store;
  Settings settings{store};
  NativeFileSystem fs;
  testing::ScriptedPrompter prompter;
};

// The load defaults of a first start, byte for byte: the key column, the
// empty lines that group the statements, CR LF, and how each file ends.
TEST_F(DesktopFilesTest, DefaultsGiveTheExactFiles) {
  settings._3_launchsingle.Set(1);
  Write();
  EXPECT_EQ(Config(), ConfigFile({"#000000", "#111111", "#009000", "#00B000"}, "", "0"));
  EXPECT_EQ(Behaviour(), BehaviourFile({"-1", "0", "1", "3", "2", "1"}));
  EXPECT_EQ(ReadFile(dir / "Auralith.data"),
            "// Auralith Data File\r\n\r\nbase = \"\";\r\n\r\ndisplay  = new Array();\r\nnames    = new Array();\r\n\r\n");
  EXPECT_TRUE(prompter.shown.empty());
}

// Each row sets the colours, the image and both back_ numbers at once; the
// columns are independent.
TEST_F(DesktopFilesTest, ConfigValues) {
  const struct {
    const char* backcolor;
    const char* textcolor;
    std::vector<std::string> colours;  // as written
    const char* image;
    const char* imageWritten;
    std::uint32_t number;  // back_type and back_position
    const char* numberWritten;
  } cases[] = {
      // Only the background table knows "Transparent", in lower case.
      {"Transparent", "Transparent", {"transparent", "transparent", "Transparent", "Transparent"},
       "C:\\My Pictures\\sky.jpg", "C:/My Pictures/sky.jpg", 2, "2"},
      // Names match case-sensitively and whole: these are colours the user typed.
      {"black", "Yellow ", {"black", "black", "Yellow ", "Yellow "}, "\\\\server\\share\\\\a.png\\",
       "//server/share//a.png/", 0xFFFFFFFFu, "-1"},
      // Multibyte characters pass untouched around the replaced separators.
      {"#123456", "Yellow", {"#123456", "#123456", "#FFFF33", "#FFFF66"},
       "D:\\Bilder\\\xC3\x96lgem\xC3\xA4lde\\\xE5\xA3\x81.jpg", "D:/Bilder/\xC3\x96lgem\xC3\xA4lde/\xE5\xA3\x81.jpg",
       0x80000000u, "-2147483648"},
      // The two tables pair the same name differently.
      {"Orange", "Orange", {"#CC6600", "#FF9933", "#FF9933", "#CC6600"}, "", "", 0, "0"},
  };
  for (const auto& c : cases) {
    settings._2_backcolor.Set(c.backcolor);
    settings._2_textcolor.Set(c.textcolor);
    settings._2_backimage.Set(c.image);
    settings._2_backtype.Set(c.number);
    settings._2_backposition.Set(c.number);
    Write();
    EXPECT_EQ(Config(), ConfigFile(c.colours, c.imageWritten, c.numberWritten)) << c.backcolor << " / " << c.textcolor;
  }
}

TEST_F(DesktopFilesTest, BehaviourValues) {
  const struct {
    std::uint32_t position;
    const char* offset;
    std::uint32_t left, right, top, launch;
    std::vector<std::string> written;
  } cases[] = {
      {1, "1200", 0, 0, 0, 0, {"0", "1200", "0", "0", "0", "0"}},
      // No selected trigger entry is stored as 0xFFFFFFFF and reaches the page as -1.
      {2, "-250", 0xFFFFFFFFu, 2, 0xFFFFFFFFu, 1, {"1", "-250", "-1", "2", "-1", "1"}},
  };
  for (const auto& c : cases) {
    settings._3_position.Set(c.position);
    settings._3_offset.Set(c.offset);
    settings._3_lefttriggernum.Set(c.left);
    settings._3_righttriggernum.Set(c.right);
    settings._3_toptriggernum.Set(c.top);
    settings._3_launchsingle.Set(c.launch);
    Write();
    EXPECT_EQ(Behaviour(), BehaviourFile(c.written)) << c.position;
  }
}

// Each file stands alone: a failure is reported and the next still written.
// The data file belongs to the generator: one that is there is left alone.
TEST_F(DesktopFilesTest, FailuresAreReportedPerFileAndTheDataFileIsOnlyWrittenWhenMissing) {
  const struct {
    const char* name;
    const char* blocked;  // a file name made into a folder first
    bool locationIsFile;
    std::vector<std::string> messages;
  } cases[] = {
      {"config", "Auralith.config", false, {kConfigMessage}},
      {"behaviour", "Auralith.behaviour", false, {kBehaviourMessage}},
      {"data folder", "Auralith.data", false, {}},
      {"location", "", true, {kConfigMessage, kBehaviourMessage, kDataMessage}},
  };
  for (const auto& c : cases) {
    TempDir place;
    std::string location = place.path();
    if (*c.blocked) testing::MakeDirectories(place / c.blocked);
    if (c.locationIsFile) {
      WriteFile(place / "plain", "not a folder");
      location = (place / "plain") + std::string(1, kPathSeparator);
    }
    StoreLocation(store, location);
    prompter.shown.clear();
    Write();
    EXPECT_EQ(testing::ShownTexts(prompter), c.messages) << c.name;
    for (const auto& shown : prompter.shown) {
      EXPECT_EQ(shown.caption, "Error") << c.name;
      EXPECT_EQ(shown.icon, MessageIcon::Error) << c.name;
      EXPECT_EQ(shown.buttons, MessageButtons::Ok) << c.name;
    }
    for (const std::string name : {"Auralith.config", "Auralith.behaviour", "Auralith.data"}) {
      if (c.locationIsFile || name == c.blocked) continue;
      EXPECT_EQ(ReadFile(place / name).rfind("// Auralith", 0), 0u) << c.name << ": " << name;
    }
  }

  // A builder's data file, with bytes a rewrite would change.
  const std::string library = std::string("var base = \"x\";\n\r\n\xFF") + '\0' + "tail";
  WriteFile(dir / "Auralith.data", library);
  StoreLocation(store, dir.path());
  Write();
  EXPECT_EQ(ReadFile(dir / "Auralith.data"), library);
}

// The location is read from the registry for each file, not from the cache:
// the uninstaller removes the settings key before it runs the applier.
TEST_F(DesktopFilesTest, LocationReadAfresh) {
  TempDir moved;
  ASSERT_EQ(settings.location.Get(), dir.path());
  StoreLocation(store, moved.path());
  Write();
  EXPECT_EQ(testing::ListNames(moved.path()),
            (std::vector<std::string>{"Auralith.behaviour", "Auralith.config", "Auralith.data"}));
  EXPECT_FALSE(FileExists(dir / "Auralith.config"));

  // Without the value there is no folder for them: nothing lands in the
  // working directory.
  store.DeleteTree(Hive::CurrentUser, kSettingsKey);
  TempDir work;
  const auto previous = std::filesystem::current_path();
  const std::string& workPath = work.path();
  std::filesystem::current_path(std::filesystem::path(std::u8string(workPath.begin(), workPath.end())));
  Write();
  std::filesystem::current_path(previous);
  EXPECT_EQ(testing::ListNames(work.path()), std::vector<std::string>{});
  EXPECT_TRUE(prompter.shown.empty());
}

}  // namespace
}  // namespace auralith

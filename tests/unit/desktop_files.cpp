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
using testing::ScriptedPrompter;
using testing::StoreLocation;
using testing::TempDir;
using testing::WriteFile;

constexpr const char* kConfigMessage = "Error writing configuration file";
constexpr const char* kBehaviourMessage = "Error writing behaviour file";
constexpr const char* kDataMessage = "Error writing temporary data file";

std::filesystem::path U8(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
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
  ScriptedPrompter prompter;
};

// The load defaults of a first start, byte for byte: the key column, the
// empty lines that group the statements, CR LF, and how each file ends.
TEST_F(DesktopFilesTest, DefaultsGiveTheExactFiles) {
  settings._3_launchsingle.Set(1);
  Write();
  EXPECT_EQ(Config(),
            "// Auralith Configuration File\r\n"
            "\r\n"
            "text_face             = \"Georgia\";\r\n"
            "text_size             = \"18\";\r\n"
            "\r\n"
            "color_background      = \"#000000\";\r\n"
            "color_fadedbackground = \"#111111\";\r\n"
            "\r\n"
            "color_text            = \"#009000\";\r\n"
            "color_texthover       = \"#00B000\";\r\n"
            "\r\n"
            "back_type             = 0;\r\n"
            "back_image            = \"\";\r\n"
            "back_position         = 0;\r\n"
            "\r\n");
  EXPECT_EQ(Behaviour(),
            "// Auralith Behaviour File\r\n"
            "\r\n"
            "list_side             = -1;\r\n"
            "list_offset           = 0;\r\n"
            "\r\n"
            "left_mapping          = 1;\r\n"
            "right_mapping         = 3;\r\n"
            "top_mapping           = 2;\r\n"
            "\r\n"
            "launch_single         = 1;\r\n");
  EXPECT_TRUE(prompter.shown.empty());
}

// Each row sets the colours, the image and both back_ numbers at once; the
// columns are independent.
struct ConfigCase {
  const char* backcolor;
  const char* textcolor;
  const char* colours[4];  // background, faded background, text, text hover as written
  const char* image;
  const char* imageWritten;
  std::uint32_t number;  // back_type and back_position
  const char* numberWritten;
};

const ConfigCase kConfigCases[] = {
    // Only the background table knows "Transparent", in lower case.
    {"Transparent", "Transparent", {"transparent", "transparent", "Transparent", "Transparent"},
     "C:\\My Pictures\\sky.jpg", "C:/My Pictures/sky.jpg", 2, "2"},
    // Names match case-sensitively: these are colours the user typed.
    {"black", "green", {"black", "black", "green", "green"}, "\\\\server\\share\\\\a.png\\", "//server/share//a.png/",
     0xFFFFFFFFu, "-1"},
    {"#123456", "#abcdef", {"#123456", "#123456", "#abcdef", "#abcdef"},
     // Multibyte characters pass untouched around the replaced separators.
     "D:\\Bilder\\\xC3\x96lgem\xC3\xA4lde\\\xE5\xA3\x81.jpg", "D:/Bilder/\xC3\x96lgem\xC3\xA4lde/\xE5\xA3\x81.jpg",
     0x80000000u, "-2147483648"},
    // The two tables pair the same name differently, digits in their own case.
    {"Orange", "Orange", {"#CC6600", "#FF9933", "#FF9933", "#CC6600"}, "", "", 0, "0"},
    {"Light Grey", "Dark Grey", {"#cccccc", "#bbbbbb", "#555555", "#444444"}, "", "", 0, "0"},
    // Whole-text comparison: a trailing space is not the table's name.
    {"Blue ", "Yellow", {"Blue ", "Blue ", "#FFFF33", "#FFFF66"}, "", "", 0, "0"},
    // Nothing is validated or escaped.
    {"", "rgb(1, 2, 3)", {"", "", "rgb(1, 2, 3)", "rgb(1, 2, 3)"}, "", "", 0, "0"},
};

TEST_F(DesktopFilesTest, ConfigValues) {
  for (const ConfigCase& c : kConfigCases) {
    SCOPED_TRACE(std::string(c.backcolor) + " / " + c.textcolor);
    settings._2_backcolor.Set(c.backcolor);
    settings._2_textcolor.Set(c.textcolor);
    settings._2_backimage.Set(c.image);
    settings._2_backtype.Set(c.number);
    settings._2_backposition.Set(c.number);
    Write();
    const std::string config = Config();
    const std::string n = c.numberWritten;
    for (const std::string& part :
         {std::string("\r\n\r\ncolor_background      = \"") + c.colours[0] + "\";\r\ncolor_fadedbackground = \"" +
              c.colours[1] + "\";\r\n\r\ncolor_text            = \"" + c.colours[2] +
              "\";\r\ncolor_texthover       = \"" + c.colours[3] + "\";\r\n\r\nback_type             = " + n + ";\r\n",
          std::string("back_image            = \"") + c.imageWritten + "\";\r\nback_position         = " + n +
              ";\r\n\r\n"}) {
      EXPECT_NE(config.find(part), std::string::npos) << part << "\n" << config;
    }
  }
}

struct BehaviourCase {
  std::uint32_t position;
  const char* offset;
  std::uint32_t left, right, top, launch;
  const char* side;
  const char* mappings[3];  // left, right, top as written
};

// The first-start values are in DefaultsGiveTheExactFiles.
const BehaviourCase kBehaviourCases[] = {
    {1, "1200", 0, 0, 0, 0, "0", {"0", "0", "0"}},
    // No selected trigger entry is stored as 0xFFFFFFFF and reaches the page as -1.
    {2, "-250", 0xFFFFFFFFu, 2, 0xFFFFFFFFu, 1, "1", {"-1", "2", "-1"}},
    // The offset text is written as it stands, even when it is not a number.
    {2, "", 3, 1, 2, 0, "1", {"3", "1", "2"}},
};

TEST_F(DesktopFilesTest, BehaviourValues) {
  for (const BehaviourCase& c : kBehaviourCases) {
    settings._3_position.Set(c.position);
    settings._3_offset.Set(c.offset);
    settings._3_lefttriggernum.Set(c.left);
    settings._3_righttriggernum.Set(c.right);
    settings._3_toptriggernum.Set(c.top);
    settings._3_launchsingle.Set(c.launch);
    Write();
    EXPECT_EQ(Behaviour(), std::string("// Auralith Behaviour File\r\n\r\nlist_side             = ") + c.side +
                               ";\r\nlist_offset           = " + c.offset + ";\r\n\r\nleft_mapping          = " +
                               c.mappings[0] + ";\r\nright_mapping         = " + c.mappings[1] +
                               ";\r\ntop_mapping           = " + c.mappings[2] + ";\r\n\r\nlaunch_single         = " +
                               std::to_string(c.launch) + ";\r\n")
        << c.position;
  }
}

TEST_F(DesktopFilesTest, PlaceholderWrittenOnlyWhenMissing) {
  const std::string placeholder =
      "// Auralith Data File\r\n\r\nbase = \"\";\r\n\r\ndisplay  = new Array();\r\nnames    = new Array();\r\n\r\n";
  Write();
  EXPECT_EQ(ReadFile(dir / "Auralith.data"), placeholder);

  // A builder's data file, with bytes a rewrite would change.
  const std::string library = std::string("var base = \"x\";\n\r\n\xFF") + '\0' + "tail";
  WriteFile(dir / "Auralith.data", library);
  Write();
  EXPECT_EQ(ReadFile(dir / "Auralith.data"), library);

  testing::RemoveTree(dir / "Auralith.data");
  Write();
  EXPECT_EQ(ReadFile(dir / "Auralith.data"), placeholder);
  EXPECT_TRUE(prompter.shown.empty());
}

struct FailureCase {
  const char* name;
  std::vector<std::string> blocked;  // file names made into folders first
  bool locationIsFile;
  std::vector<std::string> messages;
};

// Each file stands alone: a failure is reported and the next still written.
TEST_F(DesktopFilesTest, FailuresAreReportedPerFile) {
  const FailureCase cases[] = {
      {"config", {"Auralith.config"}, false, {kConfigMessage}},
      {"behaviour", {"Auralith.behaviour"}, false, {kBehaviourMessage}},
      {"both", {"Auralith.config", "Auralith.behaviour"}, false, {kConfigMessage, kBehaviourMessage}},
      // A folder of that name counts as an existing data file and is left alone.
      {"data folder", {"Auralith.data"}, false, {}},
      {"location", {}, true, {kConfigMessage, kBehaviourMessage, kDataMessage}},
  };
  for (const FailureCase& c : cases) {
    TempDir place;
    std::string location = place.path();
    for (const auto& name : c.blocked) testing::MakeDirectories(place / name);
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
    if (c.messages.empty() || c.messages[0] != kConfigMessage) {
      EXPECT_TRUE(FileExists(place / "Auralith.config")) << c.name;
    }
    if (!c.locationIsFile) {
      EXPECT_TRUE(FileExists(place / "Auralith.data")) << c.name;
    }
  }
}

// The location is read from the registry for each file, not from the cache:
// the uninstaller removes the settings key before it runs the applier.
TEST_F(DesktopFilesTest, LocationReadAfresh) {
  TempDir moved;
  ASSERT_EQ(settings.location.Get(), dir.path());
  StoreLocation(store, moved.path());
  Write();
  EXPECT_TRUE(FileExists(moved / "Auralith.config"));
  EXPECT_TRUE(FileExists(moved / "Auralith.behaviour"));
  EXPECT_TRUE(FileExists(moved / "Auralith.data"));
  EXPECT_FALSE(FileExists(dir / "Auralith.config"));

  // Without the value there is no folder for them: nothing lands in the
  // working directory.
  store.DeleteTree(Hive::CurrentUser, kSettingsKey);
  TempDir work;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(U8(work.path()));
  Write();
  std::filesystem::current_path(previous);
  EXPECT_EQ(testing::ListNames(work.path()), std::vector<std::string>{});
  EXPECT_TRUE(prompter.shown.empty());
}

}  // namespace
}  // namespace auralith

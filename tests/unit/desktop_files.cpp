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
using testing::TempDir;
using testing::WriteFile;

constexpr const char* kConfigMessage = "Error writing configuration file";
constexpr const char* kBehaviourMessage = "Error writing behaviour file";
constexpr const char* kDataMessage = "Error writing temporary data file";

std::filesystem::path U8(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

void StoreLocation(MemoryRegistryStore& store, const std::string& location) {
  RegValue value;
  value.data = location + '\0';
  store.Set(Hive::CurrentUser, kSettingsKey, "location", value);
}

class DesktopFilesTest : public ::testing::Test {
 protected:
  DesktopFilesTest() { StoreLocation(store, dir.path()); }

  std::string Config() { return ReadFile(dir / "Auralith.config"); }
  std::string Behaviour() { return ReadFile(dir / "Auralith.behaviour"); }
  void Write() { WriteDesktopFiles(settings, fs, prompter); }
  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const auto& shown : prompter.shown) texts.push_back(shown.text);
    return texts;
  }

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

struct ColourCase {
  const char* backcolor;
  const char* textcolor;
  const char* expected;  // the four colour lines with the empty line between
};

const ColourCase kColourCases[] = {
    // Only the background table knows "Transparent", in lower case.
    {"Transparent", "Transparent",
     "color_background      = \"transparent\";\r\ncolor_fadedbackground = \"transparent\";\r\n\r\n"
     "color_text            = \"Transparent\";\r\ncolor_texthover       = \"Transparent\";\r\n"},
    // Names match case-sensitively: these are colours the user typed.
    {"black", "green",
     "color_background      = \"black\";\r\ncolor_fadedbackground = \"black\";\r\n\r\n"
     "color_text            = \"green\";\r\ncolor_texthover       = \"green\";\r\n"},
    {"#123456", "#abcdef",
     "color_background      = \"#123456\";\r\ncolor_fadedbackground = \"#123456\";\r\n\r\n"
     "color_text            = \"#abcdef\";\r\ncolor_texthover       = \"#abcdef\";\r\n"},
    // The two tables pair the same name differently, digits in their own case.
    {"Orange", "Orange",
     "color_background      = \"#CC6600\";\r\ncolor_fadedbackground = \"#FF9933\";\r\n\r\n"
     "color_text            = \"#FF9933\";\r\ncolor_texthover       = \"#CC6600\";\r\n"},
    {"Light Grey", "Dark Grey",
     "color_background      = \"#cccccc\";\r\ncolor_fadedbackground = \"#bbbbbb\";\r\n\r\n"
     "color_text            = \"#555555\";\r\ncolor_texthover       = \"#444444\";\r\n"},
    // Whole-text comparison: a trailing space is not the table's name.
    {"Blue ", "Yellow",
     "color_background      = \"Blue \";\r\ncolor_fadedbackground = \"Blue \";\r\n\r\n"
     "color_text            = \"#FFFF33\";\r\ncolor_texthover       = \"#FFFF66\";\r\n"},
    // Nothing is validated or escaped.
    {"", "rgb(1, 2, 3)",
     "color_background      = \"\";\r\ncolor_fadedbackground = \"\";\r\n\r\n"
     "color_text            = \"rgb(1, 2, 3)\";\r\ncolor_texthover       = \"rgb(1, 2, 3)\";\r\n"},
};

TEST_F(DesktopFilesTest, ColourPairs) {
  for (const ColourCase& c : kColourCases) {
    settings._2_backcolor.Set(c.backcolor);
    settings._2_textcolor.Set(c.textcolor);
    Write();
    const std::string config = Config();
    EXPECT_NE(config.find(std::string("\r\n\r\n") + c.expected + "\r\nback_type"), std::string::npos)
        << c.backcolor << " / " << c.textcolor << "\n" << config;
  }
}

struct ImageCase {
  const char* stored;
  const char* written;
};

const ImageCase kImageCases[] = {
    {"C:\\My Pictures\\sky.jpg", "back_image            = \"C:/My Pictures/sky.jpg\";\r\n"},
    {"", "back_image            = \"\";\r\n"},
    {"\\\\server\\share\\\\a.png\\", "back_image            = \"//server/share//a.png/\";\r\n"},
    // Multibyte characters pass untouched around the replaced separators.
    {"D:\\Bilder\\\xC3\x96lgem\xC3\xA4lde\\\xE5\xA3\x81.jpg",
     "back_image            = \"D:/Bilder/\xC3\x96lgem\xC3\xA4lde/\xE5\xA3\x81.jpg\";\r\n"},
};

TEST_F(DesktopFilesTest, ImagePathUsesForwardSlashes) {
  for (const ImageCase& c : kImageCases) {
    settings._2_backimage.Set(c.stored);
    Write();
    EXPECT_NE(Config().find(c.written), std::string::npos) << c.stored << "\n" << Config();
  }
}

struct NumberCase {
  std::uint32_t value;
  const char* written;
};

TEST_F(DesktopFilesTest, ConfigNumbersAreSigned) {
  const NumberCase cases[] = {{0, "0"}, {2, "2"}, {0xFFFFFFFFu, "-1"}, {0x80000000u, "-2147483648"}};
  for (const NumberCase& c : cases) {
    settings._2_backtype.Set(c.value);
    settings._2_backposition.Set(c.value);
    Write();
    const std::string config = Config();
    EXPECT_NE(config.find(std::string("back_type             = ") + c.written + ";\r\n"), std::string::npos) << config;
    EXPECT_NE(config.find(std::string("back_position         = ") + c.written + ";\r\n\r\n"), std::string::npos)
        << config;
  }
}

struct BehaviourCase {
  std::uint32_t position;
  const char* offset;
  std::uint32_t left, right, top, launch;
  const char* expected;  // everything after the comment and its empty line
};

const BehaviourCase kBehaviourCases[] = {
    {0, "0", 1, 3, 2, 1,
     "list_side             = -1;\r\nlist_offset           = 0;\r\n\r\n"
     "left_mapping          = 1;\r\nright_mapping         = 3;\r\ntop_mapping           = 2;\r\n\r\n"
     "launch_single         = 1;\r\n"},
    {1, "1200", 0, 0, 0, 0,
     "list_side             = 0;\r\nlist_offset           = 1200;\r\n\r\n"
     "left_mapping          = 0;\r\nright_mapping         = 0;\r\ntop_mapping           = 0;\r\n\r\n"
     "launch_single         = 0;\r\n"},
    // No selected trigger entry is stored as 0xFFFFFFFF and reaches the page as -1.
    {2, "-250", 0xFFFFFFFFu, 2, 0xFFFFFFFFu, 1,
     "list_side             = 1;\r\nlist_offset           = -250;\r\n\r\n"
     "left_mapping          = -1;\r\nright_mapping         = 2;\r\ntop_mapping           = -1;\r\n\r\n"
     "launch_single         = 1;\r\n"},
    // The offset text is written as it stands, even when it is not a number.
    {2, "", 3, 1, 2, 0,
     "list_side             = 1;\r\nlist_offset           = ;\r\n\r\n"
     "left_mapping          = 3;\r\nright_mapping         = 1;\r\ntop_mapping           = 2;\r\n\r\n"
     "launch_single         = 0;\r\n"},
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
    EXPECT_EQ(Behaviour(), std::string("// Auralith Behaviour File\r\n\r\n") + c.expected) << c.position;
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

  std::filesystem::remove(U8(dir / "Auralith.data"));
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
    EXPECT_EQ(Messages(), c.messages) << c.name;
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

  // Without the value the bare names land in the working directory.
  store.DeleteTree(Hive::CurrentUser, kSettingsKey);
  TempDir work;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(U8(work.path()));
  Write();
  std::filesystem::current_path(previous);
  EXPECT_EQ(testing::ListNames(work.path()),
            (std::vector<std::string>{"Auralith.behaviour", "Auralith.config", "Auralith.data"}));
  EXPECT_TRUE(prompter.shown.empty());
}

}  // namespace
}  // namespace auralith

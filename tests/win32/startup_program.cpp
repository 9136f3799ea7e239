// Runs the built Auralith.exe and looks at the location it stores; the
// choices themselves are the start-up unit tests'. The location question
// needs a display (Xvfb under Wine).
#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>
#include <prsht.h>

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"
#include "win32/win32_support.h"

namespace auralith {
namespace {

using testing::GetValue;
using testing::Quoted;
using testing::RegText;

constexpr const char* kSettingsKey = "Software\\Corvale\\Auralith";
constexpr const char* kAdvanced = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";

struct Started {
  int code;
  std::string question;  // the location question's text, when it was asked
};

// Runs the program, answers the location question with `answer` and closes
// the configuration window with Cancel, which stores nothing.
Started Start(const std::string& program, const std::string& commandLine, int answer, const std::string& folder = "") {
  Started started{-1, ""};
  started.code = testing::RunProcess(
      {.commandLine = commandLine, .program = program, .folder = folder, .poll = [&](HANDLE process) {
         if (HWND box = testing::DialogOf(process, "Question")) {
           started.question = testing::MessageText(box);
           if (!started.question.empty()) PostMessageA(box, WM_COMMAND, answer, 0);
         }
         if (HWND sheet = testing::DialogOf(process, "Auralith")) PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
       }});
  return started;
}

class StartupProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.empty()) << "AURALITH_PROGRAM_DIR is not set";
    ASSERT_TRUE(testing::FileExists(program_)) << program_ << " is not built";
    SHDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
    // A player for start-up to find through its file association.
    testing::WriteFile(player_ / "winamp.exe", "");
    testing::SetClass("Winamp.File\\shell\\open\\command", Quoted(player_ / "winamp.exe") + " \"%1\"");
  }
  std::string Location() { return GetValue(HKEY_CURRENT_USER, kSettingsKey, "location").second; }

  const testing::SavedKey settings_{HKEY_CURRENT_USER, kSettingsKey}, advanced_{HKEY_CURRENT_USER, kAdvanced},
      association_{HKEY_CLASSES_ROOT, "Winamp.File"};
  const std::string folder_ = testing::ProgramFolder();
  const std::string program_ = folder_ + "Auralith.exe";
  testing::TempDir player_;
};

// Started by its bare name, the program still records its own folder; a
// copy in another folder then asks whether to take that one.
TEST_F(StartupProgramTest, RecordsItsFolderAndAsksWhenStartedFromAnother) {
  ASSERT_EQ(Start(program_, "Auralith.exe", IDNO, folder_).code, 0);
  EXPECT_EQ(Location(), RegText(folder_).second) << "not the relative path";
  testing::TempDir other;
  const std::string copy = other.path() + "Auralith.exe";
  ASSERT_TRUE(CopyFileA(program_.c_str(), copy.c_str(), FALSE));
  const Started started = Start(copy, Quoted(copy), IDYES);
  EXPECT_EQ(started.code, 0);
  EXPECT_EQ(started.question,
            "It seems like you have run this application from another location before.\n"
            "Do you want to make this location the default one?");
  EXPECT_EQ(Location(), RegText(other.path()).second);
}

}  // namespace
}  // namespace auralith

// Runs the built Auralith.exe and looks at the location it stores; the choices themselves are the start-up unit tests'.
// The location question needs a display (Xvfb under Wine).
#include <windows.h>
// After windows.h, which it builds on.
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

// Runs the program, answers the location question with `answer` and closes
// the configuration window with Cancel, which stores nothing.
testing::Answered Start(const std::string& program, const std::string& commandLine, int answer,
                        const std::string& folder = "") {
  const auto cancel = [](HANDLE process) {
    if (HWND sheet = testing::DialogOf(process, "Auralith")) PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
  };
  return testing::RunAnswering({.commandLine = commandLine, .program = program, .folder = folder, .poll = cancel},
                               "Question", answer);
}

std::string Location() { return GetValue(HKEY_CURRENT_USER, kSettingsKey, "location").second; }

// Started by its bare name, the program still records its own folder; a
// copy in another folder then asks whether to take that one.
TEST(StartupProgramTest, RecordsItsFolderAndAsksWhenStartedFromAnother) {
  const std::string folder = testing::ProgramFolder(), program = folder + "Auralith.exe";
  ASSERT_TRUE(testing::FileExists(program)) << "AURALITH_PROGRAM_DIR has no " << program;
  const testing::SavedKey settings(HKEY_CURRENT_USER, kSettingsKey), advanced(HKEY_CURRENT_USER, kAdvanced),
      association(HKEY_CLASSES_ROOT, "Winamp.File");
  SHDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
  // A player for start-up to find through its file association.
  const testing::TempDir player, other;
  testing::WriteFile(player / "winamp.exe", "");
  testing::SetClass("Winamp.File\\shell\\open\\command", Quoted(player / "winamp.exe") + " \"%1\"");

  ASSERT_EQ(Start(program, "Auralith.exe", IDNO, folder).code, 0);
  EXPECT_EQ(Location(), RegText(folder).second) << "not the relative path";
  const std::string copy = other.path() + "Auralith.exe";
  ASSERT_TRUE(CopyFileA(program.c_str(), copy.c_str(), FALSE));
  const testing::Answered started = Start(copy, Quoted(copy), IDYES);
  EXPECT_EQ(started.code, 0);
  EXPECT_EQ(started.message,
            "It seems like you have run this application from another location before.\n"
            "Do you want to make this location the default one?");
  EXPECT_EQ(Location(), RegText(other.path()).second);
}

}  // namespace
}  // namespace auralith

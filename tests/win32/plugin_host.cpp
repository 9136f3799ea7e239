// Loads the 64-bit build of gen_auralith.dll as the 32-bit player would load
// the shipped one, and plays the player to it: a track starts, then stops.
#include <windows.h>
// After windows.h, which it builds on.
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "plugin/player_plugin.h"
#include "support/test_support.h"
#include "win32/win32_support.h"

namespace auralith {
namespace {

constexpr const char* kSettingsKey = "Software\\Corvale\\Auralith";

// What the player answers: IPC_ISPLAYING, and the one playlist entry.
LRESULT playing = 0;
std::string playingFile;

LRESULT CALLBACK PlayerWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_USER) return DefWindowProcA(window, message, wParam, lParam);
  if (lParam == 104) return playing;
  return lParam == 211 && wParam == 0 ? reinterpret_cast<LRESULT>(playingFile.c_str()) : 0;
}

// Runs this thread's messages, which carry the plug-in's timer, for up to 20 s.
bool PumpUntil(const std::function<bool()>& done) {
  for (const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20); !done();) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  return true;
}

TEST(PluginHostTest, ThePlayingAlbumsCoverReachesTheDesktopFolderAndGoesOnStop) {
  const std::string dll = testing::PathFromEnvironment("AURALITH_PLUGIN_X64");
  const HMODULE module = LoadLibraryA(dll.c_str());
  ASSERT_NE(module, nullptr) << dll << ": error " << GetLastError();
  using Entry = winampGeneralPurposePlugin* (*)();
  const auto entry =
      reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, "winampGetGeneralPurposePlugin")));
  ASSERT_NE(entry, nullptr);
  winampGeneralPurposePlugin* plugin = entry();
  EXPECT_EQ(plugin->version, 0x10);

  testing::TempDir location, music;
  const std::string picture = "\xFF\xD8\xFF\xE0 the album's front";
  testing::WriteFile(music / "Album/folder.jpg", picture);
  const testing::SavedKey saved(HKEY_CURRENT_USER, kSettingsKey);
  const DWORD albumCovers = 2, leaveCover = 0;
  SHSetValueA(HKEY_CURRENT_USER, kSettingsKey, "location", REG_SZ, location.path().c_str(),
              static_cast<DWORD>(location.path().size() + 1));
  SHSetValueA(HKEY_CURRENT_USER, kSettingsKey, "2_backtype", REG_DWORD, &albumCovers, sizeof albumCovers);
  SHSetValueA(HKEY_CURRENT_USER, kSettingsKey, "2_leavecover", REG_DWORD, &leaveCover, sizeof leaveCover);

  WNDCLASSA type{};
  type.lpfnWndProc = PlayerWindow;
  type.hInstance = GetModuleHandleA(nullptr);
  type.lpszClassName = "Winamp v1.x";
  RegisterClassA(&type);
  // A message-only window: the plug-in only talks to it.
  const HWND player =
      CreateWindowA("Winamp v1.x", "Winamp", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, type.hInstance, nullptr);
  ASSERT_NE(player, nullptr);
  plugin->hwndParent = player;
  plugin->hDllInstance = module;
  ASSERT_EQ(plugin->init(), 0);

  const std::string script = location / "Auralith.cover";
  playingFile = music / "Album/01.mp3";
  playing = 1;
  EXPECT_TRUE(PumpUntil([&] { return testing::ReadFile(script).find("\"Auralith.cover.jpg?") != std::string::npos; }));
  EXPECT_EQ(testing::ReadFile(location / "Auralith.cover.jpg"), picture);
  playing = 0;
  EXPECT_TRUE(PumpUntil([&] { return testing::ReadFile(script).find("= \"\";") != std::string::npos; }));
  EXPECT_FALSE(testing::FileExists(location / "Auralith.cover.jpg"));

  plugin->quit();
  DestroyWindow(player);
  UnregisterClassA("Winamp v1.x", type.hInstance);
  FreeLibrary(module);
}

}  // namespace
}  // namespace auralith

// Loads the 64-bit build of gen_auralith.dll as the player does and plays
// the player to it: a window that answers its questions, a track that
// starts, a stop. (The player itself, and the plug-in that ships, are 32-bit,
// which this machine's Wine cannot run; plugin_image.cpp checks that one.)
#include <windows.h>
// After windows.h, which it builds on.
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
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
  switch (lParam) {
    case 104: return playing;
    case 125: return 0;
    case 211: return wParam == 0 ? reinterpret_cast<LRESULT>(playingFile.c_str()) : 0;
    default: return 0;
  }
}

// The three values the plug-in reads, put back as they were.
struct SavedSettings {
  const char* names[3] = {"location", "2_backtype", "2_leavecover"};
  bool present[3] = {};
  DWORD types[3] = {}, sizes[3] = {};
  BYTE data[3][1024] = {};
  SavedSettings() {
    for (int i = 0; i < 3; ++i) {
      sizes[i] = sizeof data[i];
      present[i] = SHGetValueA(HKEY_CURRENT_USER, kSettingsKey, names[i], &types[i], data[i], &sizes[i]) == 0;
    }
  }
  ~SavedSettings() {
    for (int i = 0; i < 3; ++i) {
      if (present[i]) SHSetValueA(HKEY_CURRENT_USER, kSettingsKey, names[i], types[i], data[i], sizes[i]);
      else SHDeleteValueA(HKEY_CURRENT_USER, kSettingsKey, names[i]);
    }
    SHDeleteEmptyKeyA(HKEY_CURRENT_USER, kSettingsKey);
  }
};

void SetSetting(const char* name, DWORD type, const void* data, std::size_t size) {
  SHSetValueA(HKEY_CURRENT_USER, kSettingsKey, name, type, data, static_cast<DWORD>(size));
}

// Runs this thread's messages, which carry the plug-in's timer, until `done`
// holds or 20 seconds have passed.
bool PumpUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return true;
}

TEST(PluginHostTest, ThePlayingAlbumsCoverReachesTheDesktopFolderAndGoesOnStop) {
  const std::string dll = testing::PathFromEnvironment("AURALITH_PLUGIN_X64");
  ASSERT_FALSE(dll.empty()) << "AURALITH_PLUGIN_X64 is not set";
  const HMODULE module = LoadLibraryA(dll.c_str());
  ASSERT_NE(module, nullptr) << dll << ": error " << GetLastError();
  using Entry = winampGeneralPurposePlugin* (*)();
  const auto entry =
      reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, "winampGetGeneralPurposePlugin")));
  ASSERT_NE(entry, nullptr);
  winampGeneralPurposePlugin* plugin = entry();
  EXPECT_EQ(plugin->version, 0x10);
  EXPECT_STREQ(plugin->description, "Auralith desktop covers");

  testing::TempDir location;
  testing::TempDir music;
  const std::string picture = "\xFF\xD8\xFF\xE0 the album's front";
  testing::WriteFile(music / "Album/folder.jpg", picture);
  const SavedSettings saved;
  const DWORD albumCovers = 2, leaveCover = 0;
  SetSetting("location", REG_SZ, location.path().c_str(), location.path().size() + 1);
  SetSetting("2_backtype", REG_DWORD, &albumCovers, sizeof albumCovers);
  SetSetting("2_leavecover", REG_DWORD, &leaveCover, sizeof leaveCover);

  WNDCLASSA type{};
  type.lpfnWndProc = PlayerWindow;
  type.hInstance = GetModuleHandleA(nullptr);
  type.lpszClassName = "Winamp v1.x";
  RegisterClassA(&type);
  // A message-only window: the plug-in only talks to it.
  const HWND player = CreateWindowA("Winamp v1.x", "Winamp", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    type.hInstance, nullptr);
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

#include "platform/win32/win32_player_control.h"

#include <windows.h>
// After windows.h, which it builds on.
#include <process.h>

namespace auralith {

namespace {
constexpr const char* kMainWindowClass = "Winamp v1.x";
// The player's own command and message numbers.
constexpr WPARAM kCloseCommand = 40001;
constexpr LPARAM kRestartRequest = 135;

HWND MainWindow() { return FindWindowA(kMainWindowClass, nullptr); }
}  // namespace

bool Win32PlayerControl::IsRunning() { return MainWindow() != nullptr; }

void Win32PlayerControl::Close() {
  if (HWND window = MainWindow()) SendMessageA(window, WM_COMMAND, kCloseCommand, 0);
}

void Win32PlayerControl::Restart() {
  if (HWND window = MainWindow()) SendMessageA(window, WM_USER, 0, kRestartRequest);
}

void Win32PlayerControl::Start(const std::string& program) {
  // No arguments at all, not even the program's name: the player takes its
  // command line as files to open.
  _spawnl(_P_NOWAIT, program.c_str(), static_cast<const char*>(nullptr));
}

void Win32PlayerControl::Pause(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

}  // namespace auralith

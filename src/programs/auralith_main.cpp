// Auralith.exe: start-up, the configuration window, -install and -uninstall.
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/startup.h"
#include "base/path.h"
#include "platform/native.h"
#include "platform/win32/win32_player_control.h"
#include "platform/win32/win32_prompter.h"
#include "ui/startup_windows.h"

namespace {

std::string ModulePath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return std::string();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// "C:\\..." or "\\\\server\\...".
bool IsAbsoluteWindowsPath(const std::string& path) {
  const bool drive = path.size() >= 3 && path[1] == ':' && path[2] == '\\';
  const bool unc = path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
  return drive || unc;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  std::vector<std::string> args;
  for (int i = 0; i < __argc; ++i) args.emplace_back(__argv[i] ? __argv[i] : "");
  const std::string module = ModulePath();
  // Started by its bare name or a relative path (".\\Auralith.exe" from a
  // prompt) the program path names no folder that stays valid: an empty one
  // would make every start a first run that resets all options, and a
  // relative one would be stored as the location. The module's own full path
  // stands in for it.
  if (args.empty() || !IsAbsoluteWindowsPath(args[0])) {
    if (!module.empty()) {
      if (args.empty())
        args.push_back(module);
      else
        args[0] = module;
    }
  }
  auralith::NativeRegistryStore registry;
  auralith::NativeFileSystem fs;
  auralith::NativeDesktopShell shell(registry);
  auralith::Win32Prompter prompter;
  auralith::Win32PlayerControl player;
  auralith::ui::Win32StartupWindows windows(registry, fs, prompter, shell,
                                            auralith::DirectoryPart(module) + "Auralith Help.htm");
  return auralith::RunStartup(args, {registry, prompter, fs, player, windows});
}

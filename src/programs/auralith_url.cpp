// AuralithURL.exe: the handler the shell starts for "Auralith:" links of the
// desktop page; plays the playlist a link names.
#include <windows.h>
// After windows.h, which they build on.
#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/url_request.h"
#include "base/path.h"
#include "platform/native.h"
#include "platform/win32/win32_prompter.h"

namespace auralith {
namespace {

constexpr const char* kCaption = "Auralith";

// Exit codes: a link that was refused, and a player that could not be
// started.
constexpr int kRefused = 1;
constexpr int kNotStarted = 2;

std::string SystemMessage(DWORD error) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
      0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = n > 0 && text != nullptr ? std::string(text, n) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  if (message.empty()) message = "system error " + std::to_string(error);
  return message;
}

// Winamp with the playlist as its one argument; both quoted, since either
// path may hold spaces. Returns 0 or the system's error.
DWORD StartWinamp(const PlayerStart& start) {
  std::string commandLine = "\"" + start.program + "\" \"" + start.playlist + "\"";
  const std::string folder = DirectoryPart(start.program);
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(start.program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &process))
    return GetLastError();
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}

// The playlist opened as a double click in Explorer would open it. The
// shell's own "no program" dialog is kept away, so that every failure reaches
// the user the same way; the handler ends right after, so the start must not
// be left running in the background.
DWORD OpenWithSystem(const PlayerStart& start) {
  const std::string folder = DirectoryPart(start.playlist);
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.lpVerb = "open";
  info.lpFile = start.playlist.c_str();
  info.lpDirectory = folder.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExA(&info)) return GetLastError();
  return 0;
}

int Main(const std::vector<std::string>& args) {
  NativeRegistryStore registry;
  NativeFileSystem fs;
  Win32Prompter prompter;
  const UrlHandlerSettings settings = ReadUrlHandlerSettings(registry);
  const PlaylistRequest request = CheckPlaylistArguments(args, settings.location, fs);
  if (!request.accepted()) {
    prompter.Message(RefusalMessage(request), kCaption, MessageButtons::Ok, MessageIcon::Error);
    return kRefused;
  }
  const PlayerStart start = ChoosePlayer(settings.winamp, request.path, fs);
  const DWORD error = start.program.empty() ? OpenWithSystem(start) : StartWinamp(start);
  if (error == 0) return 0;
  const std::string text =
      start.program.empty()
          ? "Auralith could not open the playlist \"" + start.playlist + "\" with the program for .m3u files: "
          : "Auralith could not start Winamp (\"" + start.program + "\") to play \"" + start.playlist + "\": ";
  prompter.Message(text + SystemMessage(error), kCaption, MessageButtons::Ok, MessageIcon::Error);
  return kNotStarted;
}

}  // namespace
}  // namespace auralith

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The shell may reach extensions through COM while it opens the playlist.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  std::vector<std::string> args;
  for (int i = 1; i < __argc; ++i) args.emplace_back(__argv[i] ? __argv[i] : "");
  const int code = auralith::Main(args);
  if (SUCCEEDED(com)) CoUninitialize();
  return code;
}

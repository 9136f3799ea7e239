#include "platform/win32/win32_prompter.h"

#include <windows.h>
// After windows.h, which they build on.
#include <commdlg.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

namespace auralith {

namespace {

UINT IconStyle(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Error:
      return MB_ICONERROR;
    case MessageIcon::Question:
      return MB_ICONQUESTION;
    case MessageIcon::Warning:
      return MB_ICONWARNING;
    case MessageIcon::Information:
      return MB_ICONINFORMATION;
    case MessageIcon::None:
      break;
  }
  return 0;
}

MessageAnswer Show(HWND owner, const std::string& text, const std::string& caption, MessageButtons buttons,
                   MessageIcon icon) {
  UINT style = (buttons == MessageButtons::YesNo ? MB_YESNO : MB_OK) | IconStyle(icon);
  if (owner == nullptr) style |= MB_SETFOREGROUND;
  switch (MessageBoxA(owner, text.c_str(), caption.c_str(), style)) {
    case IDYES:
      return MessageAnswer::Yes;
    case IDNO:
      return MessageAnswer::No;
    case IDOK:
      return MessageAnswer::Ok;
    default:
      // No box could be shown: a question counts as declined, which leaves
      // everything as it was.
      return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
  }
}

// Selects the start folder once the dialog can take it.
int CALLBACK FolderDialogEvent(HWND dialog, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED && data != 0) SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, data);
  return 0;
}

}  // namespace

MessageAnswer Win32Prompter::Message(const std::string& text, const std::string& caption, MessageButtons buttons,
                                     MessageIcon icon) {
  return Show(nullptr, text, caption, buttons, icon);
}

MessageAnswer Win32Prompter::MessageFor(WindowRef owner, const std::string& text, const std::string& caption,
                                        MessageButtons buttons, MessageIcon icon) {
  return Show(static_cast<HWND>(owner), text, caption, buttons, icon);
}

bool Win32Prompter::ChooseFile(WindowRef owner, const std::string& filter, std::string* path) {
  // The dialog wants its pairs separated by NULs and the list ended by two.
  std::string pairs = filter;
  for (char& c : pairs)
    if (c == '|') c = '\0';
  pairs.push_back('\0');
  std::vector<char> file(32768, '\0');
  path->copy(file.data(), std::min(path->size(), file.size() - 1));
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = static_cast<HWND>(owner);
  dialog.lpstrFilter = pairs.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  // A filter for one named file ("winamp.exe") gives a typed name without
  // an extension that file's extension; a wildcard filter gives none.
  const std::string firstPattern = filter.substr(filter.find('|') + 1);
  const std::string pattern = firstPattern.substr(0, firstPattern.find_first_of(";|"));
  const std::size_t dot = pattern.rfind('.');
  const std::string defaultExtension =
      pattern.find('*') == std::string::npos && dot != std::string::npos ? pattern.substr(dot + 1) : "";
  if (!defaultExtension.empty()) dialog.lpstrDefExt = defaultExtension.c_str();
  dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameA(&dialog)) return false;
  *path = file.data();
  return true;
}

bool Win32Prompter::ChooseFolder(const std::string& prompt, const std::string& start, std::string* path) {
  // The shell's dialog needs COM on this thread; balance only what we began.
  const bool comStarted = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  BROWSEINFOA info{};
  info.hwndOwner = nullptr;
  info.pidlRoot = nullptr;
  info.lpszTitle = prompt.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  info.lpfn = FolderDialogEvent;
  info.lParam = start.empty() ? 0 : reinterpret_cast<LPARAM>(start.c_str());
  bool chosen = false;
  if (PIDLIST_ABSOLUTE item = SHBrowseForFolderA(&info)) {
    char folder[MAX_PATH] = "";
    if (SHGetPathFromIDListA(item, folder)) {
      *path = folder;
      chosen = true;
    }
    CoTaskMemFree(item);
  }
  if (comStarted) CoUninitialize();
  return chosen;
}

bool Win32Prompter::ShowDocument(const std::string& path) {
  const auto result = reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr,
                                                              SW_SHOWNORMAL));
  return result > 32;
}

}  // namespace auralith

#include "ui/auralith_dlg.h"

#include "resource.h"
#include "ui/progress_window.h"

namespace auralith::ui {

namespace {
// The application framework's Help command, which menus and accelerators of
// older tools still send.
constexpr int kHelpCommand = 0xE146;
}  // namespace

AuralithDlg::AuralithDlg(UiServices& services)
    : PropertySheetDialog(""),
      services_(services),
      about_(services, *this),
      appearance_(services, *this),
      behaviour_(services, *this),
      playlists_(services, *this) {
  SetCaption(services_.settings.caption);
  about_.LoadFromSettings();
  appearance_.LoadFromSettings();
  behaviour_.LoadFromSettings();
  playlists_.LoadFromSettings();
  AddPage(about_);
  AddPage(playlists_);
  AddPage(appearance_);
  AddPage(behaviour_);
}

void AuralithDlg::ApplyConfiguration() {
  if (pendingChanges) {
    about_.SaveToSettings();
    appearance_.SaveToSettings();
    behaviour_.SaveToSettings();
    playlists_.SaveToSettings();
    services_.settings.SaveAll();
    ApplierWindow applier(services_, false);
    applier.Run(hwnd());
  }
  pendingChanges = false;
}

void AuralithDlg::OnInitialized() {
  HWND window = hwnd();
  SendMessageA(window, WM_SETICON, ICON_BIG,
               reinterpret_cast<LPARAM>(LoadIconA(ModuleInstance(), MAKEINTRESOURCEA(IDI_AURALITH))));
  SetWindowLongA(window, GWL_STYLE, GetWindowLongA(window, GWL_STYLE) | WS_MINIMIZEBOX);
  if (HMENU menu = GetSystemMenu(window, FALSE)) {
    AppendMenuA(menu, MF_STRING, SC_MINIMIZE, "Minimize");
    DrawMenuBar(window);
  }
}

bool AuralithDlg::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
  if (message == WM_HELP || (message == WM_COMMAND && (LOWORD(wParam) == kHelpCommand || LOWORD(wParam) == IDHELP))) {
    ShowHelp();
    *result = message == WM_HELP ? TRUE : 0;
    return true;
  }
  return false;
}

void AuralithDlg::ShowHelp() {
  // A help page that cannot be opened is no reason to bother anyone with a
  // box: the window works without it.
  if (!services_.helpPage.empty() && services_.fs.Exists(services_.helpPage))
    services_.prompter.ShowDocument(services_.helpPage);
}

}  // namespace auralith::ui

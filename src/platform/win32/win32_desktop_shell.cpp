#include "platform/win32/win32_desktop_shell.h"

// IActiveDesktop is declared by <shlobj.h> only after <wininet.h>.
#include <windows.h>
#include <objbase.h>
#include <wininet.h>
#include <shlobj.h>

namespace auralith {

namespace {

// Defined here rather than taken from the uuid library, whose copy of these
// two depends on header versions.
const CLSID kActiveDesktopClass = {0x75048700, 0xEF1F, 0x11D0, {0x98, 0x88, 0x00, 0x60, 0x97, 0xDE, 0xAC, 0xF9}};
const IID kActiveDesktopInterface = {0xF490EB00, 0x1240, 0x11D1, {0x98, 0x88, 0x00, 0x60, 0x97, 0xDE, 0xAC, 0xF9}};

}  // namespace

Win32DesktopShell::~Win32DesktopShell() { Release(); }

bool Win32DesktopShell::Create() {
  Release();
  // S_FALSE (already initialised on this thread) still has to be balanced by
  // CoUninitialize; a thread in another apartment mode must not be.
  const HRESULT init = CoInitialize(nullptr);
  comInitialised_ = SUCCEEDED(init);
  void* object = nullptr;
  static_assert(sizeof(HRESULT) == sizeof(long));
  lastResult_ = CoCreateInstance(kActiveDesktopClass, nullptr, CLSCTX_INPROC_SERVER, kActiveDesktopInterface, &object);
  if (FAILED(lastResult_) || object == nullptr) {
    if (comInitialised_) CoUninitialize();
    comInitialised_ = false;
    return false;
  }
  desktop_ = static_cast<IActiveDesktop*>(object);
  return true;
}

void Win32DesktopShell::SetWallpaper(const std::u16string& path) {
  if (!desktop_) return;
  const std::wstring wide(path.begin(), path.end());
  lastResult_ = desktop_->SetWallpaper(wide.c_str(), 0);
}

bool Win32DesktopShell::GetDesktopItemCount(int* count) {
  if (!desktop_) return false;
  int items = 0;
  lastResult_ = desktop_->GetDesktopItemCount(&items, 0);
  if (FAILED(lastResult_)) return false;
  *count = items;
  return true;
}

void Win32DesktopShell::ApplyChanges(std::uint32_t flags) {
  if (!desktop_) return;
  lastResult_ = desktop_->ApplyChanges(flags);
}

void Win32DesktopShell::Release() {
  if (desktop_) {
    desktop_->Release();
    desktop_ = nullptr;
  }
  if (comInitialised_) {
    CoUninitialize();
    comInitialised_ = false;
  }
}

}  // namespace auralith

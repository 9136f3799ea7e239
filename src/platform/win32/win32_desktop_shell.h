#pragma once

// No <windows.h> here: its A/W macros (CreateDirectory, CopyFile...) would
// rename the members of interfaces declared after this header.
#include <cstdint>
#include <string>

#include "desktop/desktop_shell.h"

struct IActiveDesktop;

namespace auralith {

// The shell's Active Desktop object through IActiveDesktop, created
// in-process on a single-threaded apartment of the calling thread. One object
// serves one thread between Create() and Release().
class Win32DesktopShell : public DesktopShell {
 public:
  Win32DesktopShell() = default;
  Win32DesktopShell(const Win32DesktopShell&) = delete;
  Win32DesktopShell& operator=(const Win32DesktopShell&) = delete;
  ~Win32DesktopShell() override;

  bool Create() override;
  void SetWallpaper(const std::u16string& path) override;
  bool GetDesktopItemCount(int* count) override;
  void ApplyChanges(std::uint32_t flags) override;
  void Release() override;

  // The HRESULT of the last call made on the object. The applier does not
  // look; it is there for diagnosis (Wine answers E_NOTIMPL throughout).
  long last_result() const { return lastResult_; }

 private:
  IActiveDesktop* desktop_ = nullptr;
  bool comInitialised_ = false;
  long lastResult_ = 0;
};

}  // namespace auralith

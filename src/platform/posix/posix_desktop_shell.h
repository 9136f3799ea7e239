#pragma once

#include <cstdint>
#include <string>

#include "desktop/desktop_shell.h"
#include "settings/registry_store.h"

namespace auralith {

// Linux has no Active Desktop. This stand-in keeps what the shell would have
// been told in the registry store, where a user, a desktop script or a test
// can read it (HKEY_CURRENT_USER, key kPosixDesktopKey):
//
//   "Wallpaper"   REG_SZ     the wallpaper path last set, UTF-8 ("" = none)
//   "ItemCount"   REG_DWORD  the number of desktop items the shell reports;
//                            absent means none. Nothing here writes it: it is
//                            set by whoever wants items to exist.
//
// A desktop environment can show "Wallpaper" (an HTML page) in a browser
// window behind the other windows and reload it when the generated files
// change. Refreshing stores nothing: every run would otherwise rewrite the
// user's settings file for no one's benefit.
inline constexpr const char* kPosixDesktopKey = "Software\\Corvale\\Auralith Desktop";

class PosixDesktopShell : public DesktopShell {
 public:
  explicit PosixDesktopShell(RegistryStore& registry) : registry_(registry) {}

  // Always available: the store stands in for the shell.
  bool Create() override;
  void SetWallpaper(const std::u16string& path) override;
  bool GetDesktopItemCount(int* count) override;
  void ApplyChanges(std::uint32_t flags) override;
  void Release() override;

 private:
  bool ReadDword(const char* name, std::uint32_t* value);

  RegistryStore& registry_;
  bool created_ = false;
};

}  // namespace auralith

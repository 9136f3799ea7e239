#pragma once

#include <cstdint>
#include <string>

namespace auralith {

// ApplyChanges flags: save, regenerate the HTML, refresh, force.
inline constexpr std::uint32_t kApplyAll = 15;

// The shell's Active Desktop object, seen from one thread at a time.
class DesktopShell {
 public:
  virtual ~DesktopShell() = default;
  // Initialises COM for the calling thread and creates the object. On failure
  // COM is uninitialised again and false returned.
  virtual bool Create() = 0;
  virtual void SetWallpaper(const std::u16string& path) = 0;
  virtual bool GetDesktopItemCount(int* count) = 0;
  virtual void ApplyChanges(std::uint32_t flags) = 0;
  // Releases the object and uninitialises COM.
  virtual void Release() = 0;
};

}  // namespace auralith

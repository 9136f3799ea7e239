#include "platform/posix/posix_desktop_shell.h"

#include <climits>
#include <cstring>

#include "base/code_page.h"

namespace auralith {

bool PosixDesktopShell::Create() {
  created_ = true;
  return true;
}

void PosixDesktopShell::SetWallpaper(const std::u16string& path) {
  if (!created_) return;
  RegValue value;
  value.type = kRegSz;
  value.data = Utf16ToUtf8(path);
  value.data.push_back('\0');
  registry_.Set(Hive::CurrentUser, kPosixDesktopKey, "Wallpaper", value);
}

bool PosixDesktopShell::GetDesktopItemCount(int* count) {
  if (!created_) return false;
  std::uint32_t stored = 0;
  if (!ReadDword("ItemCount", &stored)) stored = 0;
  // A count the shell could not report as an int is not a count.
  if (stored > static_cast<std::uint32_t>(INT_MAX)) return false;
  *count = static_cast<int>(stored);
  return true;
}

// The page is shown by whatever watches the generated files; there is no
// shell to tell.
void PosixDesktopShell::ApplyChanges(std::uint32_t) {}

void PosixDesktopShell::Release() { created_ = false; }

bool PosixDesktopShell::ReadDword(const char* name, std::uint32_t* value) {
  RegValue stored;
  if (!registry_.Query(Hive::CurrentUser, kPosixDesktopKey, name, &stored)) return false;
  if (stored.type != kRegDword || stored.data.size() != sizeof(*value)) return false;
  std::memcpy(value, stored.data.data(), sizeof(*value));
  return true;
}

}  // namespace auralith

#include "desktop/applier.h"

#include <cstdint>
#include <string>

#include "base/code_page.h"
#include "desktop/desktop_files.h"

namespace auralith {

namespace {

constexpr const char* kExplorerKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
constexpr const char* kDesktopComponentsKey = "Software\\Microsoft\\Internet Explorer\\Desktop\\Components\\";

// The shell's own buffer for "ShellState"; a larger value does not fit and is
// treated as unreadable.
constexpr std::size_t kShellStateCapacity = 72;
constexpr std::size_t kShellStateWordOffset = 4;
// In the shell's layout of the word at offset 4: show the desktop as a web page.
constexpr std::uint32_t kHtmlDesktopBit = 0x40;
// The one bit of a desktop item's "Flags" the page needs cleared; every other
// bit belongs to the shell and is written back as read.
constexpr std::uint32_t kItemFlagToClear = 0x2000;

std::uint32_t LoadLittleEndian(const std::string& bytes, std::size_t offset) {
  std::uint32_t word = 0;
  for (std::size_t i = 0; i < 4; ++i)
    word |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i);
  return word;
}

void StoreLittleEndian(std::string* bytes, std::size_t offset, std::uint32_t word) {
  for (std::size_t i = 0; i < 4; ++i) (*bytes)[offset + i] = static_cast<char>((word >> (8 * i)) & 0xFF);
}

// "Flags" is read into a DWORD: anything that is not exactly four bytes
// cannot be read that way, and the item is skipped.
void ClearDesktopItemFlag(RegistryStore& registry, int item) {
  const std::string key = kDesktopComponentsKey + std::to_string(item);
  RegValue flags;
  if (!registry.Query(Hive::CurrentUser, key, "Flags", &flags)) return;
  if (flags.data.size() != 4) return;
  StoreLittleEndian(&flags.data, 0, LoadLittleEndian(flags.data, 0) & ~kItemFlagToClear);
  registry.Set(Hive::CurrentUser, key, "Flags", flags);
}

}  // namespace

void SetShellDesktopFlag(RegistryStore& registry, bool uninstall) {
  RegValue state;
  if (!registry.Query(Hive::CurrentUser, kExplorerKey, "ShellState", &state)) return;
  if (state.data.size() > kShellStateCapacity) return;
  // A value too short to hold the word goes back as it was: its length and
  // bytes are the shell's, not ours to extend.
  if (state.data.size() >= kShellStateWordOffset + 4) {
    std::uint32_t word = LoadLittleEndian(state.data, kShellStateWordOffset);
    word = uninstall ? (word & ~kHtmlDesktopBit) : (word | kHtmlDesktopBit);
    StoreLittleEndian(&state.data, kShellStateWordOffset, word);
  }
  registry.Set(Hive::CurrentUser, kExplorerKey, "ShellState", state);
}

void InstallDesktopPage(Settings& settings, RegistryStore& registry, DesktopShell& shell,
                        bool uninstall) {
  if (!shell.Create()) return;
  shell.SetWallpaper(uninstall ? std::u16string() : AnsiToUtf16(settings.location.Get() + "Auralith.htm"));
  if (!uninstall) {
    int count = 0;
    if (shell.GetDesktopItemCount(&count))
      for (int item = 0; item < count; ++item) ClearDesktopItemFlag(registry, item);
  }
  shell.ApplyChanges(kApplyAll);
  shell.Release();
}

void RefreshDesktop(DesktopShell& shell) {
  if (!shell.Create()) return;
  shell.ApplyChanges(kApplyAll);
  shell.Release();
}

AuralithApplier::AuralithApplier(Settings& settings, RegistryStore& registry, DesktopShell& shell,
                                 FileSystem& fs, Prompter& prompter, bool uninstall)
    : settings_(settings), registry_(registry), shell_(shell), fs_(fs), prompter_(prompter),
      uninstall_(uninstall) {}

void AuralithApplier::RunWorker(ProgressSink& progress) {
  progress.SetRange(0, 5);
  progress.SetStep(1);
  progress.SetPos(1);
  WriteDesktopFiles(settings_, fs_, prompter_);
  progress.SetPos(2);
  progress.SetPos(3);
  SetShellDesktopFlag(registry_, uninstall_);
  progress.SetPos(4);
  InstallDesktopPage(settings_, registry_, shell_, uninstall_);
  progress.SetPos(5);
}

}  // namespace auralith

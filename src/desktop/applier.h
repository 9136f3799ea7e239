#pragma once

#include "base/file_system.h"
#include "base/progress_sink.h"
#include "base/prompter.h"
#include "desktop/desktop_shell.h"
#include "settings/registry_store.h"
#include "settings/settings.h"

namespace auralith {

// Sets (install) or clears (uninstall) the HTML-desktop bit of the shell's
// "ShellState" value; writes nothing when the value is absent or unreadable.
void SetShellDesktopFlag(RegistryStore& registry, bool uninstall);

// Makes location + "Auralith.htm" the wallpaper (or clears it), clears bit
// 0x2000 of every desktop item's flags in install mode, and applies.
void InstallDesktopPage(Settings& settings, RegistryStore& registry, DesktopShell& shell,
                        bool uninstall);

// Asks the shell to save, regenerate and redisplay the desktop; silent.
void RefreshDesktop(DesktopShell& shell);

// Carries the configuration out to the desktop: the worker's three steps with
// the progress positions 1 to 5.
class AuralithApplier {
 public:
  AuralithApplier(Settings& settings, RegistryStore& registry, DesktopShell& shell,
                  FileSystem& fs, Prompter& prompter, bool uninstall);
  void RunWorker(ProgressSink& progress);

 private:
  Settings& settings_;
  RegistryStore& registry_;
  DesktopShell& shell_;
  FileSystem& fs_;
  Prompter& prompter_;
  bool uninstall_;
};

}  // namespace auralith

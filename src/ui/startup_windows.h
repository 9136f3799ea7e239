#pragma once

#include <string>

#include "app/startup.h"
#include "base/file_system.h"
#include "base/prompter.h"
#include "desktop/desktop_shell.h"
#include "settings/registry_store.h"

namespace auralith::ui {

// Start-up's windows: AuralithDlg and the applier's progress window, over the
// program's services.
class Win32StartupWindows : public StartupWindows {
 public:
  Win32StartupWindows(RegistryStore& registry, FileSystem& fs, Prompter& prompter, DesktopShell& shell,
                      std::string helpPage)
      : registry_(registry), fs_(fs), prompter_(prompter), shell_(shell), helpPage_(std::move(helpPage)) {}
  void ShowConfiguration(Settings& settings, bool applyFirst) override;
  void ApplyForUninstall(Settings& settings) override;

 private:
  RegistryStore& registry_;
  FileSystem& fs_;
  Prompter& prompter_;
  DesktopShell& shell_;
  std::string helpPage_;
};

}  // namespace auralith::ui

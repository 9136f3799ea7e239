#include "ui/startup_windows.h"

#include "ui/auralith_dlg.h"
#include "ui/progress_window.h"

namespace auralith::ui {

void Win32StartupWindows::ShowConfiguration(Settings& settings, bool applyFirst) {
  UiServices services{settings, registry_, fs_, prompter_, shell_, helpPage_, std::string()};
  AuralithDlg window(services);
  if (applyFirst) {
    window.pendingChanges = true;
    window.ApplyConfiguration();
  }
  window.pendingChanges = true;
  window.DoModal();
}

void Win32StartupWindows::ApplyForUninstall(Settings& settings) {
  UiServices services{settings, registry_, fs_, prompter_, shell_, helpPage_, std::string()};
  ApplierWindow applier(services, true);
  applier.Run(nullptr);
}

}  // namespace auralith::ui

#include "ui/configuration_window.h"

#include "ui/auralith_dlg.h"

namespace auralith::ui {

void Win32ConfigurationWindow::Show(Settings& settings, bool applyFirst) {
  UiServices services{settings, registry_, fs_, prompter_, shell_, helpPage_, std::string()};
  AuralithDlg window(services);
  if (applyFirst) {
    window.pendingChanges = true;
    window.ApplyConfiguration();
  }
  window.pendingChanges = true;
  window.DoModal();
}

}  // namespace auralith::ui

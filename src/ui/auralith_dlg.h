#pragma once

#include "ui/dialog2.h"
#include "ui/dialog3.h"
#include "ui/dialog4.h"
#include "ui/dialog_base.h"
#include "ui/ui_services.h"
#include "ui/window.h"

namespace auralith::ui {

// The configuration window: a property sheet with the pages About,
// Playlists, Appearance and Behaviour over the shared settings. OK and Apply
// save the pages that were shown, write every setting and carry the
// configuration out to the desktop.
class AuralithDlg : public PropertySheetDialog, public PageHost {
 public:
  explicit AuralithDlg(UiServices& services);

  // Saves the shown pages, writes every setting and runs the desktop applier,
  // when changes are pending; clears them in any case.
  void ApplyConfiguration() override;
  void SetPendingChanges() override { pendingChanges = true; }
  // Shows the window until it is closed.
  INT_PTR DoModal() { return PropertySheetDialog::DoModal(nullptr); }

  bool pendingChanges = false;

 protected:
  void OnInitialized() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

 private:
  void ShowHelp();

  UiServices& services_;
  Dialog1 about_;
  Dialog2 appearance_;
  Dialog3 behaviour_;
  Dialog4 playlists_;
};

}  // namespace auralith::ui

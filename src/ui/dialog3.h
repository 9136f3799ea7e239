#pragma once

#include <string>

#include "ui/dialog_base.h"

namespace auralith::ui {

// The Behaviour page: the three screen-edge triggers, where the list shows
// and how far it is shifted, and whether a lone album plays at once.
class Dialog3 : public DialogBase {
 public:
  Dialog3(UiServices& services, PageHost& host);
  void LoadFromSettings() override;
  void SaveToSettings() override;

 protected:
  void Exchange(DataExchange& exchange) override;
  bool OnControl(int id, int code) override;
  BOOL OnInitDialog() override;

 private:
  // The list's selected position, -1 with none.
  std::uint32_t SelectedIndex(int id) const;

  std::string offset_;
  std::string topTrigger_;
  std::string leftTrigger_;
  std::string rightTrigger_;
  int position_ = 0;
  bool launchSingle_ = false;
};

}  // namespace auralith::ui

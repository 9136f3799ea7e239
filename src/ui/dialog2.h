#pragma once

#include <string>

#include "ui/dialog_base.h"

namespace auralith::ui {

// The Appearance page: colours, text size and font, the desktop icons and the
// desktop background.
class Dialog2 : public DialogBase {
 public:
  Dialog2(UiServices& services, PageHost& host);
  void LoadFromSettings() override;
  void SaveToSettings() override;

 protected:
  void Exchange(DataExchange& exchange) override;
  bool OnControl(int id, int code) override;
  BOOL OnInitDialog() override;

 private:
  void ApplyEnablingRule();
  void BrowseImage();

  std::string backColor_;
  std::string textColor_;
  std::string textSize_;
  std::string textFace_;
  bool hideIcons_ = false;
  std::string backImage_;
  int backType_ = 0;
  int backPosition_ = 0;
  bool leaveCover_ = false;
};

}  // namespace auralith::ui

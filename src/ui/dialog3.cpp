#include "ui/dialog3.h"

#include <commctrl.h>

#include "resource.h"

namespace auralith::ui {

namespace {
constexpr int kOffsetLimit = 1200;
}  // namespace

Dialog3::Dialog3(UiServices& services, PageHost& host) : DialogBase(services, host, IDD_BEHAVIOUR) {}

void Dialog3::LoadFromSettings() {
  leftTrigger_ = settings_._3_lefttrigger.Get();
  topTrigger_ = settings_._3_toptrigger.Get();
  rightTrigger_ = settings_._3_righttrigger.Get();
  position_ = static_cast<int>(settings_._3_position.Get());
  offset_ = settings_._3_offset.Get();
  launchSingle_ = settings_._3_launchsingle.Get() != 0;
}

std::uint32_t Dialog3::SelectedIndex(int id) const {
  return static_cast<std::uint32_t>(SendDlgItemMessageA(hwnd(), id, CB_GETCURSEL, 0, 0));
}

void Dialog3::SaveToSettings() {
  if (!initialised()) return;
  UpdateData(true);
  settings_._3_lefttrigger.Set(leftTrigger_);
  settings_._3_lefttriggernum.Set(SelectedIndex(IDC_LEFTTRIGGER));
  settings_._3_righttrigger.Set(rightTrigger_);
  settings_._3_righttriggernum.Set(SelectedIndex(IDC_RIGHTTRIGGER));
  settings_._3_toptrigger.Set(topTrigger_);
  settings_._3_toptriggernum.Set(SelectedIndex(IDC_TOPTRIGGER));
  settings_._3_position.Set(static_cast<std::uint32_t>(position_));
  settings_._3_offset.Set(offset_);
  settings_._3_launchsingle.Set(launchSingle_ ? 1 : 0);
}

void Dialog3::Exchange(DataExchange& exchange) {
  exchange.Text(IDC_OFFSET, offset_);
  exchange.IntegerRange(IDC_OFFSET, offset_, -kOffsetLimit, kOffsetLimit, true);
  exchange.ComboText(IDC_TOPTRIGGER, topTrigger_);
  exchange.ComboText(IDC_LEFTTRIGGER, leftTrigger_);
  exchange.ComboText(IDC_RIGHTTRIGGER, rightTrigger_);
  exchange.Radio(IDC_POS_LEFT, position_);
  exchange.Check(IDC_LAUNCHSINGLE, launchSingle_);
}

BOOL Dialog3::OnInitDialog() {
  SendDlgItemMessageA(hwnd(), IDC_OFFSET_SPIN, UDM_SETRANGE32, static_cast<WPARAM>(-kOffsetLimit), kOffsetLimit);
  return DialogBase::OnInitDialog();
}

bool Dialog3::OnControl(int id, int code) {
  // The offset box also reports the changes the arrows make.
  return ChangedBy(id, code,
                   {{IDC_TOPTRIGGER, CBN_SELCHANGE}, {IDC_LEFTTRIGGER, CBN_SELCHANGE}, {IDC_RIGHTTRIGGER, CBN_SELCHANGE},
                    {IDC_POS_LEFT, BN_CLICKED}, {IDC_POS_MIDDLE, BN_CLICKED}, {IDC_POS_RIGHT, BN_CLICKED},
                    {IDC_LAUNCHSINGLE, BN_CLICKED}, {IDC_OFFSET, EN_CHANGE}});
}

}  // namespace auralith::ui

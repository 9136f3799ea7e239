#include "ui/dialog2.h"

#include "resource.h"

namespace auralith::ui {

namespace {
constexpr const char* kImageFilter = "Image Files (*.jpg;*.jpeg;*.gif;*.png;*.bmp)|*.jpg;*.jpeg;*.gif;*.png;*.bmp||";
constexpr int kImageBackground = 1;
constexpr int kCoverBackground = 2;
}  // namespace

Dialog2::Dialog2(UiServices& services, PageHost& host) : DialogBase(services, host, IDD_APPEARANCE) {}

void Dialog2::LoadFromSettings() {
  backColor_ = settings_._2_backcolor.Get();
  textColor_ = settings_._2_textcolor.Get();
  textSize_ = settings_._2_textsize.Get();
  textFace_ = settings_._2_textface.Get();
  hideIcons_ = settings_.HideIcons.Get() == 1;
  backType_ = static_cast<int>(settings_._2_backtype.Get());
  backImage_ = settings_._2_backimage.Get();
  backPosition_ = static_cast<int>(settings_._2_backposition.Get());
  leaveCover_ = settings_._2_leavecover.Get() != 0;
}

void Dialog2::SaveToSettings() {
  if (!initialised()) return;
  UpdateData(true);
  settings_._2_backcolor.Set(backColor_);
  settings_._2_textcolor.Set(textColor_);
  settings_._2_textsize.Set(textSize_);
  settings_._2_textface.Set(textFace_);
  settings_.HideIcons.Set(hideIcons_ ? 1 : 0);
  settings_._2_backtype.Set(static_cast<std::uint32_t>(backType_));
  settings_._2_backimage.Set(backImage_);
  settings_._2_backposition.Set(static_cast<std::uint32_t>(backPosition_));
  settings_._2_leavecover.Set(leaveCover_ ? 1 : 0);
}

void Dialog2::Exchange(DataExchange& exchange) {
  exchange.ComboText(IDC_BACKCOLOR, backColor_);
  exchange.ComboText(IDC_TEXTCOLOR, textColor_);
  exchange.ComboText(IDC_TEXTSIZE, textSize_);
  exchange.IntegerRange(IDC_TEXTSIZE, textSize_, 6, 32, false);
  exchange.ComboText(IDC_TEXTFACE, textFace_);
  exchange.Check(IDC_HIDEICONS, hideIcons_);
  exchange.Text(IDC_BACKIMAGE, backImage_);
  exchange.Radio(IDC_BACK_NONE, backType_);
  exchange.Radio(IDC_STRETCH, backPosition_);
  exchange.Check(IDC_LEAVECOVER, leaveCover_);
}

BOOL Dialog2::OnInitDialog() {
  ApplyEnablingRule();
  return DialogBase::OnInitDialog();
}

void Dialog2::ApplyEnablingRule() {
  const bool image = backType_ == kImageBackground;
  for (int id : {IDC_BACKIMAGE, IDC_BROWSE_IMAGE, IDC_STRETCH, IDC_CENTER}) EnableItem(id, image);
  EnableItem(IDC_LEAVECOVER, backType_ == kCoverBackground);
}

void Dialog2::BrowseImage() {
  std::string chosen;
  if (!services_.prompter.ChooseFile(hwnd(), kImageFilter, &chosen)) return;
  backImage_ = chosen;
  UpdateData(false);
  OnPageChanged();
}

bool Dialog2::OnControl(int id, int code) {
  if (code == BN_CLICKED && (id == IDC_BACK_NONE || id == IDC_BACK_IMAGE || id == IDC_BACK_COVERS)) {
    UpdateData(true);
    OnPageChanged();
    ApplyEnablingRule();
    return true;
  }
  if (code == BN_CLICKED && id == IDC_BROWSE_IMAGE) {
    BrowseImage();
    return true;
  }
  return ChangedBy(id, code,
                   {{IDC_BACKCOLOR, CBN_SELCHANGE}, {IDC_BACKCOLOR, CBN_EDITCHANGE}, {IDC_TEXTCOLOR, CBN_SELCHANGE},
                    {IDC_TEXTCOLOR, CBN_EDITCHANGE}, {IDC_TEXTFACE, CBN_SELCHANGE}, {IDC_TEXTFACE, CBN_EDITCHANGE},
                    {IDC_TEXTSIZE, CBN_SELCHANGE}, {IDC_HIDEICONS, BN_CLICKED}, {IDC_STRETCH, BN_CLICKED},
                    {IDC_CENTER, BN_CLICKED}, {IDC_LEAVECOVER, BN_CLICKED}, {IDC_BACKIMAGE, EN_CHANGE}});
}

}  // namespace auralith::ui

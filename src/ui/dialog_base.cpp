#include "ui/dialog_base.h"

#include <algorithm>

#include "resource.h"

namespace auralith::ui {

namespace {
constexpr int kPictureSize = 350;  // pixels at 96 dots per inch
// In dialog units: the page's width less the picture's margins, and from the
// picture's top to just above the first text line.
constexpr int kPictureRoomWidth = 283 - 2 * 26;
constexpr int kPictureRoomHeight = 247 - 24 - 2;
}  // namespace

bool DialogBase::UpdateData(bool save) {
  if (!initialised_ || hwnd() == nullptr) return true;
  const bool outer = exchanging_;
  exchanging_ = true;
  DataExchange exchange(hwnd(), save, services_.prompter);
  Exchange(exchange);
  exchanging_ = outer;
  return !exchange.failed();
}

void DialogBase::OnPageChanged() {
  if (!initialised_) return;
  UpdateData(true);
  Changed();
  host_.SetPendingChanges();
}

bool DialogBase::ChangedBy(int id, int code, std::initializer_list<Edit> edits) {
  for (const Edit& edit : edits) {
    if (edit.id == id && edit.code == code) {
      OnPageChanged();
      return true;
    }
  }
  return false;
}

BOOL DialogBase::OnInitDialog() {
  // The exchange only works once the flag is set.
  initialised_ = true;
  UpdateData(false);
  return TRUE;
}

bool DialogBase::OnApply() {
  host_.ApplyConfiguration();
  return true;
}

bool DialogBase::OnCommand(int id, int code, HWND control) {
  (void)control;
  if (exchanging_) return true;
  return OnControl(id, code);
}

// ------------------------------------------------------------------ About

Dialog1::Dialog1(UiServices& services, PageHost& host) : DialogBase(services, host, IDD_ABOUT) {}

Dialog1::~Dialog1() {
  if (picture_ != nullptr) DeleteObject(picture_);
}

BOOL Dialog1::OnInitDialog() {
  // The picture grows with the display scale, smoothly resampled, but never
  // beyond the room between its corner and the text lines below it: dialog
  // units follow the font, which need not grow in step with the scale.
  HWND control = Item(IDC_ABOUT_PICTURE);
  HDC screen = GetDC(control);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  RECT room{0, 0, kPictureRoomWidth, kPictureRoomHeight};
  MapDialogRect(hwnd(), &room);
  const int size = std::min({MulDiv(kPictureSize, dpi > 0 ? dpi : 96, 96), static_cast<int>(room.right),
                             static_cast<int>(room.bottom)});
  auto* original = static_cast<HBITMAP>(
      LoadImageA(ModuleInstance(), MAKEINTRESOURCEA(IDB_ABOUT), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (original != nullptr && size != kPictureSize) {
    HDC from = CreateCompatibleDC(screen);
    HDC to = CreateCompatibleDC(screen);
    HBITMAP scaled = CreateCompatibleBitmap(screen, size, size);
    HGDIOBJ oldFrom = SelectObject(from, original);
    HGDIOBJ oldTo = SelectObject(to, scaled);
    SetStretchBltMode(to, HALFTONE);
    SetBrushOrgEx(to, 0, 0, nullptr);
    StretchBlt(to, 0, 0, size, size, from, 0, 0, kPictureSize, kPictureSize, SRCCOPY);
    SelectObject(from, oldFrom);
    SelectObject(to, oldTo);
    DeleteDC(from);
    DeleteDC(to);
    DeleteObject(original);
    original = scaled;
  }
  ReleaseDC(control, screen);
  if (original != nullptr) {
    picture_ = original;
    auto* previous = reinterpret_cast<HBITMAP>(
        SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture_)));
    // The control's own copy from the template is ours to free once replaced.
    if (previous != nullptr && previous != picture_) DeleteObject(previous);
    SetWindowPos(control, nullptr, 0, 0, size, size, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return DialogBase::OnInitDialog();
}

}  // namespace auralith::ui

#pragma once

// Drives the configuration window from a second thread, as a user would, by
// messages; the window's own thread runs its modal loop meanwhile.
#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>
#include <prsht.h>

#include <string>

namespace auralith::testing {

class Driver {
 public:
  // Waits for the top-level window captioned "Auralith".
  Driver();
  ~Driver();  // cancels the window if it is still up

  bool found() const { return sheet_ != nullptr; }
  HWND sheet() const { return sheet_; }
  // Shows tab `index` and returns its page.
  HWND Page(int index);
  void Type(HWND page, int id, const std::string& text);
  void Choose(HWND page, int id, int index);
  void Click(HWND page, int id) { SendMessageA(GetDlgItem(page, id), BM_CLICK, 0, 0); }
  void Press(int button) { SendMessageA(sheet_, PSM_PRESSBUTTON, button, 0); }
  // 0x3021: the property sheet's Apply button.
  bool ApplyEnabled() const { return IsWindowEnabled(GetDlgItem(sheet_, 0x3021)) != FALSE; }
  static std::string Text(HWND page, int id);
  static bool Enabled(HWND page, int id) { return IsWindowEnabled(GetDlgItem(page, id)) != FALSE; }

 private:
  HWND sheet_ = nullptr;
};

// Saves a window as it shows on the screen, frame included, as a BMP file in
// the screenshot folder (AURALITH_SCREENSHOT_DIR, else the build folder's
// gui-screenshots).
void Screenshot(HWND window, const std::string& name);

}  // namespace auralith::testing

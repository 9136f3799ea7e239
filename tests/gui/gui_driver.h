#pragma once

// Drives the configuration window from a second thread, as a user would, by
// messages; the window's own thread runs its modal loop meanwhile.
#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>
#include <prsht.h>

#include <string>
#include <vector>

namespace auralith::testing {

// What the window thread's dialogs were sent: "sheet", "applier" and
// "builder" when one is created, "step:<text>" for every step line shown.
// Filled by a hook on the window thread while a GuiLog exists.
class GuiLog {
 public:
  GuiLog();
  ~GuiLog();
  static std::vector<std::string> Events();
  // How often `event` occurs.
  static int Count(const std::string& event);
};

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
  void Click(HWND page, int id);
  void Press(int button) { SendMessageA(sheet_, PSM_PRESSBUTTON, button, 0); }
  bool ApplyEnabled() const;
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

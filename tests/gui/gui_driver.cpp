#include "gui/gui_driver.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace auralith::testing {

Driver::Driver() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    HWND window = FindWindowA("#32770", "Auralith");
    if (window != nullptr && IsWindowVisible(window)) {
      sheet_ = window;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

Driver::~Driver() {
  if (sheet_ != nullptr && IsWindow(sheet_)) PostMessageA(sheet_, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
}

HWND Driver::Page(int index) {
  SendMessageA(sheet_, PSM_SETCURSEL, index, 0);
  return reinterpret_cast<HWND>(SendMessageA(sheet_, PSM_GETCURRENTPAGEHWND, 0, 0));
}

void Driver::Type(HWND page, int id, const std::string& text) {
  HWND control = GetDlgItem(page, id);
  SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  // An edit box reports its own change; a combo box's edit field does not
  // when the text is set from outside, so the user's typing is told too.
  char kind[32] = "";
  GetClassNameA(control, kind, sizeof(kind));
  if (lstrcmpiA(kind, "ComboBox") == 0)
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(id, CBN_EDITCHANGE), reinterpret_cast<LPARAM>(control));
}

void Driver::Choose(HWND page, int id, int index) {
  HWND control = GetDlgItem(page, id);
  SendMessageA(control, CB_SETCURSEL, index, 0);
  SendMessageA(page, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(control));
}

std::string Driver::Text(HWND page, int id) {
  char text[1024] = "";
  GetDlgItemTextA(page, id, text, sizeof(text));
  return text;
}

void Screenshot(HWND window, const std::string& name) {
  std::string folder;
  if (const char* dir = std::getenv("AURALITH_SCREENSHOT_DIR")) folder = dir;
  else if (const char* dir = std::getenv("AURALITH_PROGRAM_DIR")) folder = std::string(dir) + "/../gui-screenshots";
  else return;
  if (!folder.empty() && folder[0] == '/') folder = "Z:" + folder;
  CreateDirectoryA(folder.c_str(), nullptr);
  // Give the window's thread time to paint what it was just told.
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  RECT rect;
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP image = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, image);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  const DWORD size = stride * static_cast<DWORD>(height);
  const DWORD headers = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  BITMAPFILEHEADER file{0x4D42, headers + size, 0, 0, headers};
  std::ofstream out(folder + "\\" + name + ".bmp", std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof(file));
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(info.bmiHeader));
  out.write(static_cast<const char*>(bits), size);
  SelectObject(memory, old);
  DeleteObject(image);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

}  // namespace auralith::testing

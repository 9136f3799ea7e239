// The configuration window and its progress windows, driven by messages from a
// second thread while the test's own thread runs their modal loop, as start-up does.
#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>
#include <prsht.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/strings.h"
#include "platform/native.h"
#include "resource.h"
#include "settings/memory_registry_store.h"
#include "support/audio_fixtures.h"
#include "support/test_support.h"
#include "ui/auralith_dlg.h"
#include "ui/startup_windows.h"

namespace auralith::ui {
namespace {

using Texts = std::vector<std::string>;

constexpr int kPlaylists = 1, kAppearance = 2, kBehaviour = 3;

// The top-level window captioned "Auralith", once it shows (within a minute).
struct Driver {
  Driver() {
    for (int i = 0; i < 3000 && sheet == nullptr; ++i) {
      HWND window = FindWindowA("#32770", "Auralith");
      if (window != nullptr && IsWindowVisible(window)) sheet = window;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  ~Driver() {  // cancels the window if it is still up
    if (sheet != nullptr && IsWindow(sheet)) PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
  }

  // Shows tab `index` and returns its page.
  HWND Page(int index) {
    SendMessageA(sheet, PSM_SETCURSEL, index, 0);
    return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
  }
  void Type(HWND page, int id, const std::string& text) {
    HWND control = GetDlgItem(page, id);
    SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    // An edit box reports its own change; a combo box's edit field does not
    // when the text is set from outside, so the user's typing is told too.
    char kind[32] = "";
    GetClassNameA(control, kind, sizeof(kind));
    if (lstrcmpiA(kind, "ComboBox") == 0)
      SendMessageA(page, WM_COMMAND, MAKEWPARAM(id, CBN_EDITCHANGE), reinterpret_cast<LPARAM>(control));
  }
  void Choose(HWND page, int id, int index) {
    SendDlgItemMessageA(page, id, CB_SETCURSEL, index, 0);
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(page, id)));
  }
  void Click(HWND page, int id) { SendDlgItemMessageA(page, id, BM_CLICK, 0, 0); }
  void Press(int button) { SendMessageA(sheet, PSM_PRESSBUTTON, button, 0); }
  // 0x3021: the property sheet's Apply button.
  bool ApplyEnabled() const { return IsWindowEnabled(GetDlgItem(sheet, 0x3021)) != FALSE; }
  static std::string Text(HWND page, int id) {
    char text[1024] = "";
    GetDlgItemTextA(page, id, text, sizeof(text));
    return text;
  }
  static bool Enabled(HWND page, int id) { return IsWindowEnabled(GetDlgItem(page, id)) != FALSE; }

  HWND sheet = nullptr;
};

// Saves a window as shown, frame included, as a BMP in AURALITH_SCREENSHOT_DIR
// (else the build folder's gui-screenshots).
void Screenshot(HWND window, const std::string& name) {
  const char* dir = std::getenv("AURALITH_SCREENSHOT_DIR");
  const char* program = std::getenv("AURALITH_PROGRAM_DIR");
  if (dir == nullptr && program == nullptr) return;
  std::string folder = dir != nullptr ? dir : std::string(program) + "/../gui-screenshots";
  if (folder[0] == '/') folder = "Z:" + folder;
  // Give the window's thread time to paint what it was just told.
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  RECT rect;
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
  BITMAPINFO info{{sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0}, {}};
  void* bits = nullptr;
  HBITMAP image = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  SelectObject(memory, image);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  const DWORD size = ((static_cast<DWORD>(width) * 3 + 3) & ~3u) * static_cast<DWORD>(height);
  const DWORD headers = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  BITMAPFILEHEADER file{0x4D42, headers + size, 0, 0, headers};
  testing::WriteFile(folder + "\\" + name + ".bmp",
                     std::string(reinterpret_cast<const char*>(&file), sizeof(file)) +
                         std::string(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(info.bmiHeader)) +
                         std::string(static_cast<const char*>(bits), size));
  DeleteDC(memory);  // lets go of the picture selected into it
  DeleteObject(image);
  ReleaseDC(nullptr, screen);
}

class ConfigurationWindow : public ::testing::Test {
 protected:
  ConfigurationWindow() {
    settings.ResetToDefaults();
    settings.location.Set(location.path());
  }

  // Opens the window as start-up does and returns when `script` has closed it.
  void Run(const std::function<void(Driver&)>& script) {
    AuralithDlg window(services);
    window.pendingChanges = pending;
    std::thread user([&] {
      Driver driver;
      ASSERT_NE(driver.sheet, nullptr);
      script(driver);
      pending = window.pendingChanges;
    });
    window.DoModal();
    user.join();
  }

  MemoryRegistryStore store;
  Settings settings{store};
  testing::ScriptedPrompter prompter;
  testing::RecordingShell shell;
  NativeFileSystem fs;
  testing::TempDir location;
  UiServices services{settings, store, fs, prompter, shell, location / "help.htm", ""};
  bool pending = true;
};

// Stored texts select list entries by prefix, ignoring case; the background type
// enables its controls; Apply applies, and OK after it does not again.
TEST_F(ConfigurationWindow, AppearancePageAndApply) {
  pending = false;
  settings._2_backcolor.Set("#204060");
  settings._2_textcolor.Set("green");
  settings._2_textsize.Set("3");
  settings._2_backtype.Set(1);
  prompter.chosen = {"", "C:\\Pictures\\sky.png"};
  std::string enabled;
  Run([&](Driver& d) {
    HWND page = d.Page(kAppearance);
    // The stored type first, then each button: image, covers, none, image.
    for (int button : {0, IDC_BACK_COVERS, IDC_BACK_NONE, IDC_BACK_IMAGE}) {
      if (button != 0) d.Click(page, button);
      for (int id : {IDC_BACKIMAGE, IDC_BROWSE_IMAGE, IDC_STRETCH, IDC_CENTER, IDC_LEAVECOVER})
        enabled += Driver::Enabled(page, id) ? '1' : '0';
      enabled += ' ';
    }
    d.Click(page, IDC_HIDEICONS);
    d.Press(PSBTN_APPLYNOW);
    d.Click(page, IDC_BROWSE_IMAGE);
    EXPECT_FALSE(d.ApplyEnabled()) << "a cancelled dialog changes nothing";
    d.Click(page, IDC_BROWSE_IMAGE);
    EXPECT_EQ(Driver::Text(page, IDC_BACKIMAGE), "C:\\Pictures\\sky.png");
    EXPECT_TRUE(d.ApplyEnabled());
    d.Press(PSBTN_APPLYNOW);
    d.Press(PSBTN_OK);
  });
  const std::string filter = "file:Image Files (*.jpg;*.jpeg;*.gif;*.png;*.bmp)|*.jpg;*.jpeg;*.gif;*.png;*.bmp||";
  EXPECT_EQ(prompter.dialogs, (Texts{filter, filter}));
  EXPECT_EQ(enabled, "11110 00001 00000 11110 ");
  EXPECT_EQ(shell.wallpapers.size(), 2u) << "two applies";
  EXPECT_EQ(settings.HideIcons.Get(), 0u);
  EXPECT_EQ((Texts{settings._2_backcolor.Get(), settings._2_textcolor.Get(), settings._2_textsize.Get(),
                   settings._2_backimage.Get()}),
            (Texts{"#204060", "Green", "30", "C:\\Pictures\\sky.png"}));
  EXPECT_EQ(settings._2_backtype.Get(), 1u);
}

// A range message stops the exchange, but the typed text is stored; a stored trigger no entry begins with selects none.
TEST_F(ConfigurationWindow, BehaviourPage) {
  const std::string range = RangeMessage(-1200, 1200);
  settings._2_textsize.Set("40");
  settings._3_lefttrigger.Set("show albums");
  settings._3_righttrigger.Set("Show Everything");
  Run([&](Driver& d) {
    HWND page = d.Page(kBehaviour);
    d.Choose(page, IDC_TOPTRIGGER, 3);
    d.Type(page, IDC_OFFSET, "1300");
    EXPECT_EQ(testing::ShownTexts(prompter), Texts{range});
    d.Click(page, IDC_LAUNCHSINGLE);  // reported again; the box is not taken meanwhile
    d.Press(PSBTN_APPLYNOW);
    EXPECT_EQ(testing::ShownTexts(prompter), (Texts{range, range, range}));
    EXPECT_EQ(settings._3_offset.Get(), "1300");
    EXPECT_EQ(settings._3_launchsingle.Get(), 1u) << "the box's earlier value";
    d.Type(page, IDC_OFFSET, "12abc");
    d.Page(kAppearance);
    d.Press(PSBTN_OK);
  });
  EXPECT_EQ(testing::ShownTexts(prompter), (Texts{range, range, range, RangeMessage(6, 32)}));
  // No text size entry begins with 40.
  EXPECT_EQ((Texts{settings._2_textsize.Get(), settings._3_offset.Get(), settings._3_lefttrigger.Get(),
                   settings._3_righttrigger.Get(), settings._3_toptrigger.Get()}),
            (Texts{"", "12abc", "Show Albums", "", "Hide All"}));
  EXPECT_EQ((std::vector<std::uint32_t>{settings._3_lefttriggernum.Get(), settings._3_righttriggernum.Get(),
                                        settings._3_toptriggernum.Get()}),
            (std::vector<std::uint32_t>{2, 0xFFFFFFFF, 3}));
}

// Showing a page marks nothing, the first edit does; Cancel writes nothing. OK
// after start-up applies, storing every value and only the pages shown.
TEST_F(ConfigurationWindow, TheSheetItsTabsAndItsSystemMenu) {
  pending = false;
  Run([&](Driver& d) {
    EXPECT_NE(GetWindowLongA(d.sheet, GWL_STYLE) & WS_MINIMIZEBOX, 0);
    char text[64] = "";
    HWND tabs = PropSheet_GetTabControl(d.sheet);
    std::string captions;
    for (int i = 0; i < TabCtrl_GetItemCount(tabs); ++i) {
      TCITEMA item{TCIF_TEXT, 0, 0, text, sizeof(text), 0, 0};
      SendMessageA(tabs, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
      captions += std::string(text) + ";";
      d.Page(i);
      Screenshot(d.sheet, "page-" + AsciiLower(text));
    }
    EXPECT_EQ(captions, "About;Playlists;Appearance;Behaviour;");
    EXPECT_FALSE(d.ApplyEnabled());
    d.Type(d.Page(kBehaviour), IDC_OFFSET, "5");
    EXPECT_TRUE(d.ApplyEnabled());
    d.Press(PSBTN_CANCEL);
  });
  EXPECT_TRUE(pending);
  EXPECT_EQ(settings._3_offset.Read(), "0");
  EXPECT_TRUE(shell.wallpapers.empty()) << "nothing applied";

  Run([&](Driver& d) {
    d.Page(kBehaviour);
    // Changed behind the loaded pages' backs: a page that saves puts its
    // loaded value back, every other value is written as it stands.
    settings._2_backcolor.Set("Red");
    settings._3_offset.Set("77");
    d.Press(PSBTN_OK);
  });
  EXPECT_EQ(shell.wallpapers.size(), 1u);
  EXPECT_EQ(settings._3_offset.Read(), "0");
  EXPECT_EQ(settings._2_backcolor.Read(), "Red");
}

// F1 opens the help page; the root folder is stored with backslashes and a trailing
// one. Generate stores this page only and runs the builder in its window: a box of
// the run shows over the window brought up to date, Enter and Escape swallowed.
TEST_F(ConfigurationWindow, GenerateRunsTheBuilderInItsWindow) {
  testing::TempDir music;
  testing::WriteFile(music / "Artist/Album/01 One.wav", testing::MakeWav(0.2));
  testing::WriteFile(music / "Artist/Album/02 Two.mp3", testing::MakeGarbage(600));
  testing::WriteFile(location / "help.htm", "<p>help</p>");
  prompter.chosen = {"E:\\Songs", ""};
  std::string shown;
  prompter.onShow = [&](const testing::ScriptedPrompter::Shown&) {
    HWND builder = FindWindowA("#32770", "");
    if (builder == nullptr) return;
    Screenshot(builder, "builder");
    SendMessageA(builder, WM_COMMAND, IDOK, 0);
    SendMessageA(builder, WM_COMMAND, IDCANCEL, 0);
    if (IsWindow(builder)) shown = Driver::Text(builder, IDC_STEPLINE) + "|" + Driver::Text(builder, IDC_ITEMLINE);
  };
  Run([&](Driver& d) {
    d.Type(d.Page(kAppearance), IDC_BACKCOLOR, "Blue");
    HWND page = d.Page(kPlaylists);
    HELPINFO help{sizeof(HELPINFO), HELPINFO_WINDOW, IDC_FORMAT, GetDlgItem(page, IDC_FORMAT), 0, {0, 0}};
    SendMessageA(d.sheet, WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
    d.Type(page, IDC_MUSIC, "");
    d.Click(page, IDC_BROWSE_MUSIC);
    EXPECT_EQ(Driver::Text(page, IDC_MUSIC), "E:\\Songs");
    d.Type(page, IDC_MUSIC, "F:\\Other");
    d.Click(page, IDC_BROWSE_MUSIC);  // starts where the last one ended
    std::string typed = music.path();
    std::replace(typed.begin(), typed.end(), '\\', '/');
    d.Type(page, IDC_MUSIC, typed.substr(0, typed.size() - 1));
    d.Choose(page, IDC_ORGANIZATION, 3);
    d.Click(page, IDC_GENERATE);
  });
  EXPECT_EQ(prompter.dialogs, (Texts{"folder:Root Music Directory|C:\\", "folder:Root Music Directory|E:\\Songs"}));
  EXPECT_EQ(prompter.documents, Texts{location / "help.htm"});
  EXPECT_EQ(shown, "Reading file info... (Step 3 of 8)|Artist\\Album\\02 Two.mp3");
  // Other pages are not saved.
  EXPECT_EQ((Texts{settings._4_music.Get(), settings._4_organization.Get(), settings._2_backcolor.Get()}),
            (Texts{music.path(), "ARTIST\\ALBUM\\File,etc...", "Black"}));
  EXPECT_EQ(settings._4_organizationnum.Get(), 3u);
  EXPECT_TRUE(testing::FileExists(location / "playlists/artist_album.m3u"));
}

// "-install" applies in the applier's window, under a box of the run, before the sheet opens.
TEST_F(ConfigurationWindow, ApplierWindow) {
  settings.location.Set(location / "missing\\");
  Win32StartupWindows start(store, fs, prompter, shell, "");
  Texts seen;
  prompter.onShow = [&](const testing::ScriptedPrompter::Shown&) {
    HWND applier = FindWindowA("#32770", "");
    if (seen.empty()) Screenshot(applier, "applier");
    const bool sheet = FindWindowA("#32770", "Auralith") != nullptr;
    seen.push_back(std::string(GetDlgItem(applier, IDC_APPLYING) ? "applier" : "-") + (sheet ? " sheet" : ""));
  };
  for (bool install : {true, false}) {
    std::thread user([] { Driver driver; });
    start.ShowConfiguration(settings, install);
    user.join();
  }
  EXPECT_EQ(seen, (Texts{"applier", "applier", "applier"}));
}

}  // namespace
}  // namespace auralith::ui

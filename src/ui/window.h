#pragma once

#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>
#include <prsht.h>

#include <string>
#include <vector>

namespace auralith::ui {

// The module whose resources hold the templates: the program itself.
HINSTANCE ModuleInstance();

// A window's text, as the ANSI functions give it.
std::string WindowText(HWND window);

// A dialog built from a template of the program's resources. The dialog
// procedure keeps the object in the window's user data from WM_INITDIALOG on
// and forwards to the virtual handlers; one object serves one window at a
// time.
class Dialog {
 public:
  explicit Dialog(int templateId) : templateId_(templateId) {}
  virtual ~Dialog() = default;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Runs the dialog modally over `owner` (which is disabled meanwhile) and
  // returns what EndDialog was given.
  INT_PTR DoModal(HWND owner);
  // Creates the dialog modelessly; false when it could not be created.
  bool Create(HWND owner);
  void EndDialog(INT_PTR result);

  HWND hwnd() const { return hwnd_; }
  int templateId() const { return templateId_; }
  HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
  std::string ItemText(int id) const { return WindowText(Item(id)); }
  void SetItemText(int id, const std::string& text) const { SetDlgItemTextA(hwnd_, id, text.c_str()); }
  void EnableItem(int id, bool enable) const { EnableWindow(Item(id), enable ? TRUE : FALSE); }
  bool IsChecked(int id) const { return IsDlgButtonChecked(hwnd_, id) == BST_CHECKED; }

 protected:
  // After the template's lists have been filled. TRUE lets the system set
  // the focus.
  virtual BOOL OnInitDialog() { return TRUE; }
  // A command from a control or a menu; true when handled.
  virtual bool OnCommand(int id, int code, HWND control) {
    (void)id, (void)code, (void)control;
    return false;
  }
  // A notification; true when handled, with the dialog's result in *result.
  virtual bool OnNotify(NMHDR* header, LRESULT* result) {
    (void)header, (void)result;
    return false;
  }
  // Any other message; true when handled, with the procedure's result.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) {
    (void)message, (void)wParam, (void)lParam, (void)result;
    return false;
  }

  // Adopts the window and fills the template's lists; then OnInitDialog.
  INT_PTR Initialise(HWND window);
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  int templateId_;
  HWND hwnd_ = nullptr;
};

// One tab of a property sheet. Its window is created the first time the tab
// is shown.
class PropertyPage : public Dialog {
 public:
  explicit PropertyPage(int templateId) : Dialog(templateId) {}
  // The page as the sheet takes it.
  PROPSHEETPAGEA Sheet();
  // Enables the sheet's Apply button.
  void Changed();

 protected:
  // OK or Apply was pressed: true accepts the changes.
  virtual bool OnApply() { return true; }
  bool OnNotify(NMHDR* header, LRESULT* result) override;

 private:
  static INT_PTR CALLBACK PageProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

// A modal property sheet over pages that outlive it.
class PropertySheetDialog {
 public:
  explicit PropertySheetDialog(std::string caption) : caption_(std::move(caption)) {}
  virtual ~PropertySheetDialog() = default;
  PropertySheetDialog(const PropertySheetDialog&) = delete;
  PropertySheetDialog& operator=(const PropertySheetDialog&) = delete;

  void AddPage(PropertyPage& page) { pages_.push_back(&page); }
  void SetCaption(const std::string& caption) { caption_ = caption; }
  INT_PTR DoModal(HWND owner);
  HWND hwnd() const { return hwnd_; }

 protected:
  // The sheet's own initialisation is done.
  virtual void OnInitialized() {}
  // Messages of the sheet window itself; true when handled.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    (void)message, (void)wParam, (void)lParam, (void)result;
    return false;
  }

 private:
  static int CALLBACK SheetEvent(HWND window, UINT message, LPARAM lParam);
  static LRESULT CALLBACK SheetSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                        DWORD_PTR data);

  std::string caption_;
  std::vector<PropertyPage*> pages_;
  HWND hwnd_ = nullptr;
};

}  // namespace auralith::ui

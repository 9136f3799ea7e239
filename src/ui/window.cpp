#include "ui/window.h"

#include <commctrl.h>

#include <cstring>

namespace auralith::ui {

namespace {

// The resource type that holds a template's list entries: per entry the
// control id, the message that adds it (16-bit numbering), the text's length
// with its NUL, and the text; a zero id ends the list.
constexpr WORD kDialogInitType = 240;
constexpr WORD kListBoxAddString16 = 0x0401;
constexpr WORD kComboBoxAddString16 = 0x0403;

// The sheet whose PropertySheetA call is running on this thread: the sheet's
// creation callback carries no data of its own.
thread_local PropertySheetDialog* creatingSheet = nullptr;

template <typename T>
T Load(const BYTE* at) {
  T value;
  std::memcpy(&value, at, sizeof(value));
  return value;
}

// Fills the template's combo and list boxes from its list resource; a list
// resource that ends early is taken as far as it goes.
void FillLists(HWND dialog, int templateId) {
  const HINSTANCE module = ModuleInstance();
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(templateId), MAKEINTRESOURCEA(kDialogInitType));
  if (found == nullptr) return;
  const DWORD size = SizeofResource(module, found);
  HGLOBAL loaded = LoadResource(module, found);
  const auto* data = static_cast<const BYTE*>(loaded ? LockResource(loaded) : nullptr);
  if (data == nullptr) return;
  DWORD at = 0;
  while (at + 8 <= size) {
    const WORD id = Load<WORD>(data + at);
    if (id == 0) break;
    const WORD message = Load<WORD>(data + at + 2);
    const DWORD length = Load<DWORD>(data + at + 4);
    at += 8;
    if (length > size - at) break;
    const std::string text(reinterpret_cast<const char*>(data + at), strnlen(reinterpret_cast<const char*>(data + at), length));
    at += length;
    if (message == kComboBoxAddString16)
      SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    else if (message == kListBoxAddString16)
      SendDlgItemMessageA(dialog, id, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
}

}  // namespace

HINSTANCE ModuleInstance() { return GetModuleHandleA(nullptr); }

std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthA(window);
  std::string text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, '\0');
  const int got = GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return text;
}

// ----------------------------------------------------------------- Dialog

INT_PTR Dialog::DoModal(HWND owner) {
  return DialogBoxParamA(ModuleInstance(), MAKEINTRESOURCEA(templateId_), owner, Procedure,
                         reinterpret_cast<LPARAM>(this));
}

bool Dialog::Create(HWND owner) {
  return CreateDialogParamA(ModuleInstance(), MAKEINTRESOURCEA(templateId_), owner, Procedure,
                            reinterpret_cast<LPARAM>(this)) != nullptr;
}

void Dialog::EndDialog(INT_PTR result) { ::EndDialog(hwnd_, result); }

INT_PTR Dialog::Initialise(HWND window) {
  hwnd_ = window;
  SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(this));
  FillLists(window, templateId_);
  return OnInitDialog();
}

INT_PTR Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  INT_PTR result = 0;
  switch (message) {
    case WM_COMMAND:
      return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
    case WM_NOTIFY: {
      LRESULT notifyResult = 0;
      if (!OnNotify(reinterpret_cast<NMHDR*>(lParam), &notifyResult)) return FALSE;
      SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, notifyResult);
      return TRUE;
    }
    default:
      break;
  }
  const bool handled = OnMessage(message, wParam, lParam, &result);
  if (message == WM_NCDESTROY) hwnd_ = nullptr;
  return handled ? result : FALSE;
}

INT_PTR CALLBACK Dialog::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return reinterpret_cast<Dialog*>(lParam)->Initialise(window);
  auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(window, DWLP_USER));
  return self != nullptr && self->hwnd_ == window ? self->Dispatch(message, wParam, lParam) : FALSE;
}

// ----------------------------------------------------------- PropertyPage

PROPSHEETPAGEA PropertyPage::Sheet() {
  PROPSHEETPAGEA page{};
  page.dwSize = sizeof(page);
  page.dwFlags = PSP_DEFAULT;
  page.hInstance = ModuleInstance();
  page.pszTemplate = MAKEINTRESOURCEA(templateId());
  page.pfnDlgProc = PageProcedure;
  page.lParam = reinterpret_cast<LPARAM>(this);
  return page;
}

void PropertyPage::Changed() { PropSheet_Changed(GetParent(hwnd()), hwnd()); }

bool PropertyPage::OnNotify(NMHDR* header, LRESULT* result) {
  if (header->hwndFrom != GetParent(hwnd())) return false;
  switch (header->code) {
    case PSN_APPLY:
      *result = OnApply() ? PSNRET_NOERROR : PSNRET_INVALID;
      return true;
    case PSN_KILLACTIVE:
      // Leaving a page never fails: its range messages are shown when its
      // values are taken, and what was typed is stored all the same.
      *result = FALSE;
      return true;
    default:
      return false;
  }
}

INT_PTR CALLBACK PropertyPage::PageProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<PropertyPage*>(reinterpret_cast<PROPSHEETPAGEA*>(lParam)->lParam);
    return self->Initialise(window);
  }
  return Procedure(window, message, wParam, lParam);
}

// ---------------------------------------------------------- PropertySheetDialog

INT_PTR PropertySheetDialog::DoModal(HWND owner) {
  std::vector<PROPSHEETPAGEA> pages;
  for (PropertyPage* page : pages_) pages.push_back(page->Sheet());
  PROPSHEETHEADERA header{};
  header.dwSize = sizeof(header);
  header.dwFlags = PSH_PROPSHEETPAGE | PSH_USECALLBACK | PSH_NOCONTEXTHELP;
  header.hwndParent = owner;
  header.hInstance = ModuleInstance();
  header.pszCaption = caption_.c_str();
  header.nPages = static_cast<UINT>(pages.size());
  header.ppsp = pages.data();
  header.pfnCallback = SheetEvent;
  PropertySheetDialog* const outer = creatingSheet;
  creatingSheet = this;
  const INT_PTR result = PropertySheetA(&header);
  creatingSheet = outer;
  hwnd_ = nullptr;
  return result;
}

int CALLBACK PropertySheetDialog::SheetEvent(HWND window, UINT message, LPARAM) {
  if (message == PSCB_INITIALIZED && creatingSheet != nullptr) {
    PropertySheetDialog* self = creatingSheet;
    self->hwnd_ = window;
    SetWindowSubclass(window, SheetSubclass, 0, reinterpret_cast<DWORD_PTR>(self));
    self->OnInitialized();
  }
  return 0;
}

LRESULT CALLBACK PropertySheetDialog::SheetSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                              DWORD_PTR data) {
  auto* self = reinterpret_cast<PropertySheetDialog*>(data);
  LRESULT result = 0;
  if (self->OnMessage(message, wParam, lParam, &result)) return result;
  if (message == WM_NCDESTROY) RemoveWindowSubclass(window, SheetSubclass, 0);
  return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace auralith::ui

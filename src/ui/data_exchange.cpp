#include "ui/data_exchange.h"

#include "base/code_page.h"
#include "base/strings.h"
#include "ui/window.h"

namespace auralith::ui {

namespace {

bool IsRadio(HWND control) {
  return (SendMessageA(control, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) != 0;
}

bool StartsGroup(HWND control) { return (GetWindowLongA(control, GWL_STYLE) & WS_GROUP) != 0; }

std::string ListEntry(HWND combo, LRESULT index) {
  const LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == CB_ERR) return std::string();
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const LRESULT got = SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(got == CB_ERR ? 0 : static_cast<std::size_t>(got));
  return text;
}

}  // namespace

std::string RangeMessage(int low, int high) {
  return "Please enter an integer between " + ToDecimal(low) + " and " + ToDecimal(high) + ".";
}

void DataExchange::Text(int id, std::string& value) {
  if (failed_) return;
  if (saving_)
    value = WindowText(Control(id));
  else
    SetWindowTextA(Control(id), value.c_str());
}

void DataExchange::Check(int id, bool& value) {
  if (failed_) return;
  if (saving_)
    value = SendMessageA(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
  else
    SendMessageA(Control(id), BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
}

void DataExchange::Radio(int firstId, int& index) {
  if (failed_) return;
  if (saving_) index = -1;
  int position = 0;
  for (HWND control = Control(firstId); control != nullptr; control = GetWindow(control, GW_HWNDNEXT)) {
    if (position > 0 && StartsGroup(control)) break;
    if (!IsRadio(control)) continue;
    if (saving_) {
      if (SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED) index = position;
    } else {
      SendMessageA(control, BM_SETCHECK, position == index ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    ++position;
  }
}

void DataExchange::ComboText(int id, std::string& value) {
  if (failed_) return;
  HWND combo = Control(id);
  const bool listOnly = (GetWindowLongA(combo, GWL_STYLE) & 0x3) == CBS_DROPDOWNLIST;
  if (saving_) {
    if (listOnly) {
      const LRESULT selected = SendMessageA(combo, CB_GETCURSEL, 0, 0);
      value = selected == CB_ERR ? std::string() : ListEntry(combo, selected);
    } else {
      value = WindowText(combo);
    }
    return;
  }
  const std::string wanted = AnsiLowerMultibyte(value);
  const LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    if (StartsWith(AnsiLowerMultibyte(ListEntry(combo, i)), wanted)) {
      SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
      return;
    }
  }
  SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  if (!listOnly) SetWindowTextA(combo, value.c_str());
}

void DataExchange::IntegerRange(int id, const std::string& text, int low, int high, bool selectAll) {
  if (failed_ || !saving_) return;
  const std::int64_t value = LeadingInteger(text);
  if (value >= low && value <= high) return;
  prompter_.MessageFor(dialog_, RangeMessage(low, high), "Auralith", MessageButtons::Ok, MessageIcon::Warning);
  HWND control = Control(id);
  SetFocus(control);
  if (selectAll) SendMessageA(control, EM_SETSEL, 0, -1);
  failed_ = true;
}

}  // namespace auralith::ui

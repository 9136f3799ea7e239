#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/prompter.h"

namespace auralith::ui {

// One exchange between a dialog's controls and its members, in one direction.
// Once a check fails, the rest of the exchange is skipped: the members after
// the failing one keep their values.
class DataExchange {
 public:
  DataExchange(HWND dialog, bool saving, Prompter& prompter)
      : dialog_(dialog), saving_(saving), prompter_(prompter) {}

  bool saving() const { return saving_; }
  bool failed() const { return failed_; }

  void Text(int id, std::string& value);
  // A check box; members keep 1 for checked and 0 for not.
  void Check(int id, bool& value);
  // The radio group that starts at `firstId` and runs to the next control that
  // starts a group: the index of its checked button, -1 when none is.
  void Radio(int firstId, int& index);
  // A combo box's text. Loading selects the first entry that begins with the
  // text, ignoring case; with none, an editable box shows the text and a
  // list-only box no selection.
  void ComboText(int id, std::string& value);
  // Saving only: the leading integer of `text` lies in [low, high]; otherwise
  // the range message is shown, the focus goes back to the control (its text
  // selected when `selectAll`) and the exchange stops.
  void IntegerRange(int id, const std::string& text, int low, int high, bool selectAll);

 private:
  HWND Control(int id) const { return GetDlgItem(dialog_, id); }

  HWND dialog_;
  bool saving_;
  Prompter& prompter_;
  bool failed_ = false;
};

// The text of the message shown when a number lies outside its range.
std::string RangeMessage(int low, int high);

}  // namespace auralith::ui

#include "platform/win32/win32_prompter.h"

#include <windows.h>

namespace auralith {

namespace {
UINT IconStyle(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Error:
      return MB_ICONERROR;
    case MessageIcon::Question:
      return MB_ICONQUESTION;
    case MessageIcon::Warning:
      return MB_ICONWARNING;
    case MessageIcon::Information:
      return MB_ICONINFORMATION;
    case MessageIcon::None:
      break;
  }
  return 0;
}
}  // namespace

MessageAnswer Win32Prompter::Message(const std::string& text, const std::string& caption, MessageButtons buttons,
                                     MessageIcon icon) {
  const UINT style = (buttons == MessageButtons::YesNo ? MB_YESNO : MB_OK) | IconStyle(icon) | MB_SETFOREGROUND;
  switch (MessageBoxA(nullptr, text.c_str(), caption.c_str(), style)) {
    case IDYES:
      return MessageAnswer::Yes;
    case IDNO:
      return MessageAnswer::No;
    case IDOK:
      return MessageAnswer::Ok;
    default:
      // No box could be shown: a question counts as declined, which leaves
      // everything as it was.
      return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
  }
}

}  // namespace auralith

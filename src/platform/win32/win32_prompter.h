#pragma once

#include "base/prompter.h"

namespace auralith {

// Real message boxes, without an owner window and brought to the foreground.
class Win32Prompter : public Prompter {
 public:
  MessageAnswer Message(const std::string& text, const std::string& caption, MessageButtons buttons,
                        MessageIcon icon) override;
};

}  // namespace auralith

#pragma once

#include "base/prompter.h"

namespace auralith {

// Real message boxes (brought to the foreground when they have no owner) and
// the system's open-file and folder dialogs.
class Win32Prompter : public Prompter {
 public:
  MessageAnswer Message(const std::string& text, const std::string& caption, MessageButtons buttons,
                        MessageIcon icon) override;
  MessageAnswer MessageFor(WindowRef owner, const std::string& text, const std::string& caption,
                           MessageButtons buttons, MessageIcon icon) override;
  bool ChooseFile(WindowRef owner, const std::string& filter, std::string* path) override;
  bool ChooseFolder(const std::string& prompt, const std::string& start, std::string* path) override;
  bool ShowDocument(const std::string& path) override;
};

}  // namespace auralith

#pragma once

#include <string>

namespace auralith {

enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { None, Error, Question, Warning, Information };
enum class MessageAnswer { Ok, Yes, No };

// A window that owns a box, opaque to the core (an HWND on Windows).
using WindowRef = void*;

// Message boxes and the system's file and folder dialogs. The Windows
// implementation shows real ones; the command line prints messages and has no
// dialogs; tests script the answers.
class Prompter {
 public:
  virtual ~Prompter() = default;
  // A box without an owner window.
  virtual MessageAnswer Message(const std::string& text, const std::string& caption,
                                MessageButtons buttons, MessageIcon icon) = 0;
  // A box that belongs to a window and keeps it disabled while it is up.
  virtual MessageAnswer MessageFor(WindowRef owner, const std::string& text, const std::string& caption,
                                   MessageButtons buttons, MessageIcon icon) {
    (void)owner;
    return Message(text, caption, buttons, icon);
  }
  // The open-file dialog for an existing file. `filter` pairs display texts
  // and patterns separated by "|" and ends with "||"; `*path` holds the
  // initial file name, if any. True, with the full path, when the user
  // confirmed a file.
  virtual bool ChooseFile(WindowRef owner, const std::string& filter, std::string* path) {
    (void)owner, (void)filter, (void)path;
    return false;
  }
  // The folder dialog, file-system folders only, opening at `start`. True,
  // with the folder's path, when the user confirmed one.
  virtual bool ChooseFolder(const std::string& prompt, const std::string& start, std::string* path) {
    (void)prompt, (void)start, (void)path;
    return false;
  }
  // Opens a document with the program the system has for it.
  virtual bool ShowDocument(const std::string& path) {
    (void)path;
    return false;
  }
};

}  // namespace auralith

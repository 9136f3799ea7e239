#pragma once

#include <string>

namespace auralith {

enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { None, Error, Question, Warning, Information };
enum class MessageAnswer { Ok, Yes, No };

// Message boxes without an owner window. The Windows implementation shows
// real ones; the command line prints them; tests script the answers.
class Prompter {
 public:
  virtual ~Prompter() = default;
  virtual MessageAnswer Message(const std::string& text, const std::string& caption,
                                MessageButtons buttons, MessageIcon icon) = 0;
};

}  // namespace auralith

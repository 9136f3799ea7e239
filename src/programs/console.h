#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/progress_sink.h"
#include "base/prompter.h"

namespace auralith {

// Message boxes of a command-line run: printed to standard error, never
// waiting for an answer. A question is answered Yes, so a file alert does not
// switch itself off.
class ConsolePrompter : public Prompter {
 public:
  explicit ConsolePrompter(std::FILE* out) : out_(out) {}
  MessageAnswer Message(const std::string& text, const std::string& caption, MessageButtons buttons,
                        MessageIcon icon) override;
  int count() const { return count_; }

  // Called before a message is printed, so a progress line can step aside.
  void SetBeforeMessage(class TerminalProgress* progress) { progress_ = progress; }

 private:
  std::FILE* out_;
  int count_ = 0;
  class TerminalProgress* progress_ = nullptr;
};

// The progress window as text. On a terminal one line is redrawn in place
// (step text, n/N and the item); otherwise each step gets a line of its own.
class TerminalProgress : public ProgressSink {
 public:
  TerminalProgress(std::FILE* out, bool terminal, bool quiet, int width);
  ~TerminalProgress() override;

  void SetStepLine(const std::string& text) override;
  void SetItemLine(const std::string& text) override;
  void SetRange(std::int32_t low, std::int32_t high) override;
  void SetStep(std::int32_t step) override;
  void SetPos(std::int32_t pos) override;
  void StepIt() override;

  // Clears the progress line so that other output starts at column 0.
  void Interrupt();
  void Finish();

 private:
  void Draw(bool force);

  std::FILE* out_;
  bool terminal_;
  bool quiet_;
  int width_;
  std::string step_;
  std::string item_;
  std::int32_t low_ = 0, high_ = 0, pos_ = 0, stepSize_ = 1;
  bool lineShown_ = false;
  std::int64_t lastDraw_ = 0;
};

}  // namespace auralith

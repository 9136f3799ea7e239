#include "programs/console.h"

#include <chrono>

namespace auralith {

MessageAnswer ConsolePrompter::Message(const std::string& text, const std::string& caption,
                                       MessageButtons buttons, MessageIcon /*icon*/) {
  ++count_;
  if (progress_) progress_->Interrupt();
  std::fprintf(out_, "auralith-build: %s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ", text.c_str());
  std::fflush(out_);
  return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
}

namespace {
std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

TerminalProgress::TerminalProgress(std::FILE* out, bool terminal, bool quiet, int width)
    : out_(out), terminal_(terminal), quiet_(quiet), width_(width < 20 ? 80 : width) {}

TerminalProgress::~TerminalProgress() { Finish(); }

void TerminalProgress::SetStepLine(const std::string& text) {
  step_ = text;
  if (quiet_) return;
  if (terminal_) {
    Draw(true);
  } else {
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
  }
}

void TerminalProgress::SetItemLine(const std::string& text) {
  item_ = text;
  Draw(false);
}

void TerminalProgress::SetRange(std::int32_t low, std::int32_t high) {
  low_ = low;
  high_ = high;
  Draw(false);
}

void TerminalProgress::SetStep(std::int32_t step) { stepSize_ = step; }

void TerminalProgress::SetPos(std::int32_t pos) {
  pos_ = pos;
  Draw(false);
}

void TerminalProgress::StepIt() {
  // As a progress bar does: past the end it starts again from the bottom.
  pos_ += stepSize_;
  if (pos_ > high_) pos_ = low_ + (pos_ - high_);
  Draw(false);
}

void TerminalProgress::Draw(bool force) {
  if (quiet_ || !terminal_) return;
  // Redrawing for every one of 20,000 files would cost more than the work.
  const std::int64_t now = NowMs();
  if (!force && now - lastDraw_ < 50) return;
  lastDraw_ = now;
  std::string line = step_ + "  " + std::to_string(pos_ - low_) + "/" + std::to_string(high_ - low_);
  if (!item_.empty()) line += "  " + item_;
  const std::size_t limit = static_cast<std::size_t>(width_ - 1);
  if (line.size() > limit) {
    // Cut at a character boundary so no half character reaches the terminal.
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    line.resize(cut);
  }
  std::fprintf(out_, "\r\x1b[K%s", line.c_str());
  std::fflush(out_);
  lineShown_ = true;
}

void TerminalProgress::Interrupt() {
  if (lineShown_) {
    std::fprintf(out_, "\r\x1b[K");
    std::fflush(out_);
    lineShown_ = false;
  }
}

void TerminalProgress::Finish() { Interrupt(); }

}  // namespace auralith

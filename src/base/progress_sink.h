#pragma once

#include <cstdint>
#include <string>

namespace auralith {

// The progress window of a long run: its bar and its two text lines.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void SetStepLine(const std::string& text) = 0;
  virtual void SetItemLine(const std::string& text) = 0;
  virtual void SetRange(std::int32_t low, std::int32_t high) = 0;
  virtual void SetStep(std::int32_t step) = 0;
  virtual void SetPos(std::int32_t pos) = 0;
  virtual void StepIt() = 0;
};

}  // namespace auralith

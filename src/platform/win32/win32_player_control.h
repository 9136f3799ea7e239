#pragma once

#include "app/player_control.h"

namespace auralith {

// Winamp, found by its main window's class.
class Win32PlayerControl : public PlayerControl {
 public:
  bool IsRunning() override;
  void Close() override;
  void Restart() override;
  void Start(const std::string& program) override;
  void Pause(int milliseconds) override;
};

}  // namespace auralith

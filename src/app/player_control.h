#pragma once

#include <string>

namespace auralith {

// The player, as start-up and the uninstaller reach it: its main window, the
// requests they send it and its start.
class PlayerControl {
 public:
  virtual ~PlayerControl() = default;
  // Its main window exists, which it does while the player runs.
  virtual bool IsRunning() = 0;
  // Asks it to close; returns when it has handled the request.
  virtual void Close() = 0;
  // Asks it to restart itself.
  virtual void Restart() = 0;
  // Starts `program` without arguments and without waiting for it.
  virtual void Start(const std::string& program) = 0;
  // Waits for a closing player to let go of its files.
  virtual void Pause(int milliseconds) = 0;
};

}  // namespace auralith

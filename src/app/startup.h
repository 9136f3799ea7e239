#pragma once

#include <string>
#include <vector>

#include "app/player_control.h"
#include "base/file_system.h"
#include "base/prompter.h"
#include "settings/registry_store.h"

namespace auralith {

class Settings;

// How the program was asked to run: only the first argument after the program
// path counts, compared byte for byte.
enum class StartMode { Normal, Install, Uninstall };
StartMode ParseStartMode(const std::vector<std::string>& args);

// The program's own directory: element 0 of the arguments up to and including
// its last separator, "" when it holds none.
std::string ProgramDirectory(const std::vector<std::string>& args);

// The windows start-up opens.
class StartupWindows {
 public:
  virtual ~StartupWindows() = default;
  // Creates the configuration window over the settings; with `applyFirst`
  // applies the configuration once before it shows; then shows it, with the
  // changes pending so that the first OK applies, until the user closes it.
  virtual void ShowConfiguration(Settings& settings, bool applyFirst) = 0;
  // Runs the desktop applier in uninstall mode, in its progress window.
  virtual void ApplyForUninstall(Settings& settings) = 0;
};

// What start-up reaches the system through; main() wires the real objects.
struct StartupServices {
  RegistryStore& registry;
  Prompter& prompter;
  FileSystem& fs;
  PlayerControl& player;
  StartupWindows& windows;
};

// Takes the program's traces off the system: the player's plug-in, the
// settings, the hidden desktop icons and the desktop page.
void Uninstall(Settings& settings, const StartupServices& services);

// Records the program directory as `location` on the first run (empty
// `location`) and writes the factory defaults; when the directory differs
// from `location` other than in letter case, asks whether to adopt it.
void CheckLocation(Settings& settings, const std::string& programDirectory, Prompter& prompter);

// The whole life of the program; returns its exit code.
int RunStartup(const std::vector<std::string>& args, const StartupServices& services);

}  // namespace auralith

#pragma once

#include <string>

#include "base/file_system.h"
#include "base/prompter.h"
#include "desktop/desktop_shell.h"
#include "settings/registry_store.h"
#include "settings/settings.h"

namespace auralith::ui {

// What the configuration window and its runs reach the system through, and
// the little the windows share for the length of a program run. Owned by
// start-up; the windows keep references.
struct UiServices {
  Settings& settings;
  RegistryStore& registry;
  FileSystem& fs;
  Prompter& prompter;
  DesktopShell& shell;
  // The help page shown for F1 and the Help command.
  std::string helpPage;
  // Where the folder dialog opens: set by the first browse of the run, and
  // by every folder the user confirms.
  std::string folderStart;
};

}  // namespace auralith::ui

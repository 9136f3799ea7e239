#pragma once

#include "base/file_system.h"
#include "base/progress_sink.h"
#include "base/prompter.h"
#include "desktop/desktop_shell.h"
#include "settings/settings.h"

namespace auralith {

// One "Generate playlists" run: validation, then the eight steps from the
// scan to the clean-up, reported through the progress sink.
class BuilderRun {
 public:
  enum class Result { kCompleted, kInvalidInput };

  BuilderRun(Settings& settings, FileSystem& fs, Prompter& prompter, ProgressSink& progress,
             DesktopShell& shell);

  // Runs to the end whatever happens inside a step; an unexpected failure is
  // reported and the remaining work is skipped, but the clean-up still runs.
  Result Run();

 private:
  Settings& settings_;
  FileSystem& fs_;
  Prompter& prompter_;
  ProgressSink& progress_;
  DesktopShell& shell_;
};

}  // namespace auralith

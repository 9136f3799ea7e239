#pragma once

#include "base/file_system.h"
#include "base/prompter.h"
#include "settings/settings.h"

namespace auralith {

// The placeholder form of the library data file, which lets the desktop page
// load before the first "Generate playlists".
extern const char* const kPlaceholderLibraryData;

// Writes Auralith.config and Auralith.behaviour from the settings and, when
// no data file exists yet, the placeholder Auralith.data; each failure is
// reported and the next file still attempted.
void WriteDesktopFiles(Settings& settings, FileSystem& fs, Prompter& prompter);

}  // namespace auralith

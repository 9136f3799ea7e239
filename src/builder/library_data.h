#pragma once

#include <string>

#include "base/progress_sink.h"
#include "base/prompter.h"
#include "builder/library.h"
#include "settings/settings.h"

namespace auralith {

// Writes location + "Auralith.data" in its full form. Reports its own failure.
void WriteLibraryData(const Library& artists, Settings& settings, Prompter& prompter,
                      ProgressSink& progress);

}  // namespace auralith

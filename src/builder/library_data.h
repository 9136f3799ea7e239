#pragma once

#include <cstddef>
#include <string>

#include "base/progress_sink.h"
#include "base/prompter.h"
#include "builder/library.h"
#include "settings/settings.h"

namespace auralith {

// Writes location + "Auralith.data" in its full form. Reports its own failure.
void WriteLibraryData(const Library& artists, Settings& settings, Prompter& prompter,
                      ProgressSink& progress);

// The two halves of it: the text, which touches nothing but its arguments
// and may be made on another thread, and the writing of it, which steps the
// progress once per artist. The text's lines end in CR LF already.
std::string LibraryDataText(const Library& artists, const std::string& location, const std::string& format);
void WriteLibraryDataText(std::string text, std::size_t artists, const std::string& location, Prompter& prompter,
                          ProgressSink& progress);

}  // namespace auralith

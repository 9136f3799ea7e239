#pragma once

#include <string>
#include <string_view>

#include "base/file_system.h"
#include "base/progress_sink.h"
#include "base/prompter.h"
#include "builder/afile_info.h"
#include "builder/library.h"
#include "settings/settings.h"

namespace auralith {

enum class HeadingStyle { Album, Section };

// The entry text of one track from the entry format (%1 artist, %2 album,
// %3 track, %4 title, %5 file name); an empty format means "%5".
std::string ExpandEntry(std::string_view format, const AFileInfo& track);

// The heading lines as one text with a line feed after each line.
std::string MakeHeading(std::string_view text, HeadingStyle style, std::string_view prefix);

// Empties the playlist folder and writes every album, artist and top-level
// playlist. Reports its own failures.
void WritePlaylists(const Library& artists, Settings& settings, FileSystem& fs,
                    Prompter& prompter, ProgressSink& progress);

}  // namespace auralith

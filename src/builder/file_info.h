#pragma once

#include <string>
#include <string_view>

#include "base/prompter.h"
#include "builder/afile_info.h"
#include "settings/settings.h"

namespace auralith {

// Leading digits, then leading spaces, tabs, '_' and '-' removed:
// "01 - Intro" -> "Intro".
std::string StripLeadingNumbers(std::string_view name);

// Reads tags and playing time of root + record.path (MP3 through TagLib, Ogg
// through libvorbisfile, WAV from its header), then gives an untitled track a
// title from its file name. A file that cannot be read raises the switchable
// alert through the prompter.
void ReadFileInfo(AFileInfo& record, Settings& settings, Prompter& prompter);

}  // namespace auralith

#pragma once

#include <array>
#include <memory>
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

// ReadFileInfo in two halves, so that a run can read many files at once.

// What reading a file takes from the settings, fixed for a whole run.
struct TagReadOptions {
  std::string root;  // ends in a separator
  bool readTags = true;
};
TagReadOptions TagReadOptionsFrom(Settings& settings);

// Room for the blocks a file is read through, kept from one file to the next
// by whoever reads many: under Wine fresh room is mapped and faulted in anew
// for every file. One reader at a time. It is owned, not thread_local: with
// MinGW a thread_local's destructor runs after the thread's storage is freed.
struct ReadBuffers {
  std::array<std::unique_ptr<char[]>, 4> blocks;
};

// The file's half: tags and playing time into the record. It uses nothing but
// its arguments, so different records may be read on different threads at
// once, each with its own buffers. False on a reading error.
bool ReadTags(AFileInfo& record, const TagReadOptions& options, ReadBuffers& buffers);
bool ReadTags(AFileInfo& record, const TagReadOptions& options);

// The run's half, on the thread that owns the settings and the prompter: the
// alert for a reading error (the playing time then becomes unknown), and the
// title from the file name.
void FinishFileInfo(AFileInfo& record, bool readOk, Settings& settings, Prompter& prompter);

}  // namespace auralith

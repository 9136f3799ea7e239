#pragma once

#include <string>
#include <string_view>
#include <vector>

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

// The playlist folder: location + "playlists".
std::string PlaylistFolderPath(Settings& settings);

// The playlist folder's entries as listed ahead of WritePlaylists, by a
// caller with a core to spare; `listed` false when it could not be listed.
struct PlaylistFolderListing {
  bool listed = false;
  std::vector<DirEntry> entries;
};
PlaylistFolderListing ListPlaylistFolder(FileSystem& fs, const std::string& folderPath);

// Empties the playlist folder and writes every album, artist and top-level
// playlist. Reports its own failures. `ahead`, when given, is the folder's
// listing made since anything last wrote there.
void WritePlaylists(const Library& artists, Settings& settings, FileSystem& fs, Prompter& prompter,
                    ProgressSink& progress, const PlaylistFolderListing* ahead = nullptr);

}  // namespace auralith

#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/file_system.h"
#include "base/progress_sink.h"

namespace auralith {

// Turns the extension setting into a list of lower-case extensions; a token
// with any character outside a-z0-9 empties the list built so far.
std::vector<std::string> ParseExtensions(std::string_view text);

// True when `name` is longer than "." + extension and ends in it (ASCII case
// folded) for some extension of the list.
bool MatchesExtension(std::string_view name, const std::vector<std::string>& extensions);

// A music file found by the scan: its path relative to the root, and its
// status when the listing delivered it.
struct MusicFile {
  std::string path;
  bool statusKnown = false;
  FileStatus status{};
};

// Lists every visible music file below root + relative, in no particular
// order: with a second core, a second thread walks part of the tree. Each
// file found is shown on the progress sink's item line, by the calling
// thread.
// Directory links are followed, but a directory already on the current
// descent path is not entered again.
std::vector<MusicFile> ScanMusicTree(FileSystem& fs, const std::string& root,
                                       const std::string& relative,
                                       const std::vector<std::string>& extensions,
                                       ProgressSink& progress);

}  // namespace auralith

#pragma once

#include <cstddef>
#include <string>

#include "base/file_system.h"

namespace auralith {

// The script the desktop page loads for its album-cover background, in the
// program folder; it names the published copy of the cover.
inline constexpr const char* kCoverScriptName = "Auralith.cover";

// An image larger than this is no cover a desktop can use; reading it would
// only tie up the player's memory.
inline constexpr std::size_t kLargestCover = 24u * 1024 * 1024;

struct CoverImage {
  std::string bytes;
  std::string extension;  // "jpg", "png", "gif", "bmp" or "webp", for the copy's name
};

// The cover of the album a music file belongs to: an image beside it
// (folder.jpg, cover.jpg, front.jpg, in that order and with .jpeg and .png
// after each .jpg; then the largest AlbumArt*.jpg), names compared without
// regard to ASCII case; else the picture in its tags (ID3v2 in MP3, the
// FLAC picture blocks, METADATA_BLOCK_PICTURE in Ogg, "covr" in MP4), the
// front cover before any other. False when there is none.
bool FindCover(FileSystem& fs, const std::string& musicFile, CoverImage* cover);

enum class CoverPublished { Unchanged, Changed, Failed };

// Puts `cover` where the desktop page finds it in `location` (the program
// folder, ending in a separator): the image as "Auralith.cover.<extension>",
// then the script naming it with a stamp of its content, so the page never
// shows a cached picture of another album. A null cover publishes "no
// cover". Files that already hold the right bytes are left alone; Changed
// means the page would now show something else.
CoverPublished PublishCover(FileSystem& fs, const std::string& location, const CoverImage* cover);

}  // namespace auralith

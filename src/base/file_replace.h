#pragma once

#include <string>
#include <string_view>

namespace auralith {

// Replaces the file at `path` with `bytes` as one step: they are written to
// `path` + ".tmp" in the same folder, flushed to the disk and renamed over the
// old file, so a crash or a full disk leaves either the old content or the
// new one, never a mixture. False on any failure; the old file then stays as
// it was and no temporary file is left behind.
//
// Whole files are always written; `durable` also waits until they are on the
// disk, so that a power cut right after the call still finds the new content.
// Files that the next run makes again from the music tree need only be whole:
// syncing each of thousands of playlists would cost seconds per run.
//
// A temporary file left by an interrupted write is removed when the file is
// next found unchanged, unless the caller sweeps the folder itself: a writer
// of thousands of files in a folder it lists anyway would otherwise pay one
// delete per file on every run (a server round trip each under Wine).
enum class Durability { kDurable, kWhole };
enum class Leftovers { kRemove, kSweptByCaller };
bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         Durability durability = Durability::kDurable, Leftovers leftovers = Leftovers::kRemove);

// The two halves of WriteFileAtomically, for a caller that has compared the
// file already: the replacement through the temporary file, whatever the file
// holds now, and the removal of a temporary an interrupted write left behind.
bool ReplaceWhole(const std::string& path, std::string_view bytes, Durability durability);

// Writes a file that does not exist yet straight under its own name: there is
// no old content to keep, and under Wine every name that does not exist yet
// costs a read of its whole folder (the names are matched ignoring case), so
// a temporary one would double that for thousands of new playlists. A failed
// write removes what it made; false also when the file has appeared meanwhile.
bool WriteNewFile(const std::string& path, std::string_view bytes);
void RemoveTemporaryOf(const std::string& path);

// The temporary file WriteFileAtomically uses for `path`.
std::string TemporaryFor(const std::string& path);

}  // namespace auralith

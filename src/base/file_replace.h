#pragma once

#include <string>
#include <string_view>

namespace auralith {

// Replaces the file at `path` with `bytes` as one step: they are written to
// `path` + ".tmp" in the same folder, flushed to the disk and renamed over the
// old file, so a crash or a full disk leaves either the old content or the
// new one, never a mixture. False on any failure; the old file then stays as
// it was and no temporary file is left behind.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace auralith

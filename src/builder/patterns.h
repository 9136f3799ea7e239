#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "builder/afile_info.h"
#include "settings/settings.h"

namespace auralith {

// Fills artist (formats 2 and 3) and album (format 3) from the folders of
// record.path.
void ApplyFolderFormat(AFileInfo& record, Settings& settings);

// The value of the token "%" + digit in the file name of `path` (folders and
// extension removed), or "" when the pattern lacks the token or the name does
// not fit the pattern.
std::string ExtractToken(std::string_view path, std::string_view pattern, char digit);

// Values of %1..%4, or nothing when a token that occurs in the pattern
// matched nothing.
std::optional<std::array<std::string, 4>> MatchPattern(std::string_view path,
                                                       std::string_view pattern);

// Fills artist, album, title and track from the file name and 4_format.
void ApplyFileNamePattern(AFileInfo& record, Settings& settings);

}  // namespace auralith

#pragma once

#include <string>
#include <string_view>

namespace auralith {

// Relative paths, the playlist folder and heading prefixes are built with the
// platform's own separator, so every path the program writes can be opened
// as it stands.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Ensures a directory text ends in exactly one trailing separator when it is
// non-empty ("C:\Music" -> "C:\Music\"); an empty text stays empty.
std::string WithTrailingSeparator(std::string dir);

// Removes every trailing separator ("C:\Music\\\" -> "C:\Music").
std::string WithoutTrailingSeparators(std::string dir);

// Everything up to and including the last separator of `path`, or "" when it
// holds none.
std::string DirectoryPart(std::string_view path);

// The part after the last separator (all of `path` when it holds none).
std::string FileNamePart(std::string_view path);

}  // namespace auralith

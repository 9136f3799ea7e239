// The playlists and data file of a library of any texts. Input: a switch byte (4_headers in bit 0, 4_the in bit 1),
// then NUL-separated fields: the entry format, then artist, album, title, track and path per record. Every playlist
// line must be one well-formed entry, one per track, album or artist; every data-file line one statement whose literals
// close on that line, each track's reading back as its entry text.

#include <algorithm>
#include <vector>

#include "builder/library.h"
#include "builder/library_data.h"
#include "builder/playlists.h"
#include "fuzz_support.h"
#include "platform/posix/posix_file_system.h"

using namespace auralith;

namespace {

constexpr std::string_view kLineSeparator = "\xE2\x80\xA8", kParagraphSeparator = "\xE2\x80\xA9";
constexpr auto npos = std::string_view::npos;

// The lines of a generated file, each checked to end in CR LF and hold no other break.
std::vector<std::string_view> Lines(std::string_view text, const std::string& name) {
  std::vector<std::string_view> lines;
  for (std::size_t end; !text.empty(); text.remove_prefix(end + 2)) {
    end = text.find("\r\n");
    if (end == npos) fuzz::Violation("a line without CR LF", name);
    lines.push_back(text.substr(0, end));
    if (lines.back().find_first_of("\r\n") != npos) fuzz::Violation("a line break inside a line", name);
  }
  return lines;
}

bool IsNumber(std::string_view text) {
  if (text.starts_with('-')) text.remove_prefix(1);
  return !text.empty() && text.find_first_not_of("0123456789") == npos;
}

// "#EXTM3U", then entries: "#EXTINF:<seconds>,<text>" followed by a path, or
// a bare path. Returns the number of entries.
std::size_t CheckPlaylist(const std::string& name, const std::string& text) {
  const auto lines = Lines(text, name);
  if (lines.empty() || lines[0] != "#EXTM3U") fuzz::Violation("a playlist without #EXTM3U", name);
  std::size_t entries = 0;
  for (std::size_t i = 1; i < lines.size(); ++i, ++entries) {
    if (lines[i].starts_with("#EXTINF:")) {
      const auto comma = lines[i].find(',');
      if (comma == npos || !IsNumber(lines[i].substr(8, comma - 8))) fuzz::Violation("a malformed #EXTINF", lines[i]);
      if (++i == lines.size()) fuzz::Violation("#EXTINF without a path", name);
    }
    if (lines[i].empty() || lines[i].front() == '#') fuzz::Violation("an entry without a path", lines[i]);
  }
  return entries;
}

bool Skip(std::string_view line, std::size_t& i, std::string_view text) {
  if (!line.substr(i).starts_with(text)) return false;
  i += text.size();
  return true;
}

// Reads the double-quoted literal at line[i] as a script engine would; false when it does not close on this line.
bool ReadLiteral(std::string_view line, std::size_t& i, std::string& value) {
  if (!Skip(line, i, "\"")) return false;
  for (value.clear(); i < line.size();) {
    const char c = line[i++];
    if (c == '"') return true;
    if (c != '\\') {
      value.push_back(c);
    } else if (Skip(line, i, "u2028") || Skip(line, i, "u2029")) {  // the only \u escapes the writer makes
      value.append(line[i - 1] == '8' ? kLineSeparator : kParagraphSeparator);
    } else if (i == line.size() || line[i] == 'u') {
      return false;
    } else {
      const char escaped = line[i++];
      value.push_back(escaped == 'n' ? '\n' : escaped == 'r' ? '\r' : escaped);
    }
  }
  return false;
}

// Every line of the data file is empty, the base line, or "<list>[n]...  = " followed by "new Array();",
// "new Array("a","b");" or "\"text\";". The literals of track lines are returned in file order.
std::vector<std::string> CheckDataFile(const std::string& text) {
  std::vector<std::string> tracks;
  std::string value;
  for (const std::string_view line : Lines(text, "Auralith.data")) {
    if (line.empty()) continue;
    // Raw, either one ends a script line, and so a literal.
    if (line.find(kLineSeparator) != npos || line.find(kParagraphSeparator) != npos)
      fuzz::Violation("a raw U+2028 or U+2029", line);
    std::size_t i = 0;
    const bool base = Skip(line, i, "var base = ");
    if (!base) {
      if (!Skip(line, i, "artist_list") && !Skip(line, i, "album_list") && !Skip(line, i, "track_list"))
        fuzz::Violation("a line that is no statement", line);
      int indices = 0;
      for (; Skip(line, i, "["); ++indices) {
        const auto close = line.find(']', i);
        if (close == npos || !IsNumber(line.substr(i, close - i))) fuzz::Violation("a bad index", line);
        i = close + 1;
      }
      i = std::min(line.find_first_not_of(' ', i), line.size());
      if (indices == 0 || !Skip(line, i, "= ")) fuzz::Violation("a statement without its assignment", line);
    }
    const bool array = !base && Skip(line, i, "new Array(");
    const bool whole = array ? line.substr(i) == ");" || (ReadLiteral(line, i, value) && Skip(line, i, ",") &&
                                                          ReadLiteral(line, i, value) && line.substr(i) == ");")
                             : ReadLiteral(line, i, value) && line.substr(i) == ";";
    if (!whole) fuzz::Violation("a broken statement", line);
    if (!base && !array) tracks.push_back(value);
  }
  return tracks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::Environment env;
  static PosixFileSystem fs;
  if (size == 0) return 0;
  Settings& settings = env.settings;
  const std::size_t heading = data[0] & 1;
  settings._4_headers.Set(data[0] & 1);
  settings._4_the.Set((data[0] >> 1) & 1);
  settings._4_music.Set("/music/");
  std::vector<std::string> fields;
  std::string_view text = fuzz::AsText(data + 1, size - 1);
  for (std::size_t nul; (nul = text.find('\0')) != npos; text.remove_prefix(nul + 1)) fields.emplace_back(text, 0, nul);
  fields.emplace_back(text);
  const std::string& format = fields[0];
  settings._4_outformat.Set(format);

  PathTable table;
  std::vector<std::string> paths;
  for (std::size_t f = 1; f + 5 <= fields.size(); f += 5) {
    const std::string& path = fields[f + 4];
    // The scan gives each path once, and none with a line break.
    if (table.count(path) || path.find_first_of("\r\n") != std::string::npos) continue;
    const std::int32_t length = paths.size() % 3 == 0 ? -1 : static_cast<std::int32_t>(paths.size() * 61);
    table.Insert(std::make_unique<AFileInfo>(
                            AFileInfo{path, fields[f], fields[f + 1], fields[f + 2], fields[f + 3], length}));
    paths.push_back(path);
  }

  const Library library = BuildLibrary(paths, table, settings, env.progress);
  WritePlaylists(library, settings, fs, env.prompter, env.progress);
  WriteLibraryData(library, settings, env.prompter, env.progress);

  const auto check = [&](const std::string& name, std::size_t entries) {
    const std::string text = fuzz::ReadAll(env.folder + "playlists/" + name);
    if (text.empty()) return;  // not written: a file name too long for the system, reported
    if (CheckPlaylist(name, text) != entries) fuzz::Violation("a playlist with the wrong number of entries", name);
  };
  std::vector<std::string> expected;
  for (const auto& artist : library) {
    for (const auto& album : artist->albums) {
      check(artist->key + "_" + album->key + ".m3u", album->tracks.size() + heading);
      for (const AFileInfo* track : album->tracks) expected.push_back(ExpandEntry(format, *track));
    }
    check(artist->key + ".m3u", artist->albums.size() + 2 * heading);
  }
  check(".m3u", library.size() + 2 * heading);
  if (CheckDataFile(fuzz::ReadAll(env.folder + "Auralith.data")) != expected)
    fuzz::Violation("a track text that reads back otherwise");
  return 0;
}

// The playlists and the data file for a library of any names, titles,
// track numbers, paths and entry format. Input: one byte of switches
// (4_headers in bit 0, 4_the in bit 1), then NUL-separated fields: the entry
// format, then five per record (artist, album, title, track, path).
// Paths are taken as the scan gives them: unique, without line breaks.
//
// Every playlist line must be one well-formed entry, with one entry per
// track, album or artist; every data-file line must be one statement whose
// string literals close on that line, and each track's literal must read
// back as the track's entry text.

#include <fstream>
#include <sstream>
#include <vector>

#include "base/path.h"
#include "builder/library.h"
#include "builder/library_data.h"
#include "builder/playlists.h"
#include "fuzz_support.h"
#include "platform/posix/posix_file_system.h"

using namespace auralith;

namespace {

constexpr std::string_view kLineSeparator = "\xE2\x80\xA8";
constexpr std::string_view kParagraphSeparator = "\xE2\x80\xA9";

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The lines of a generated file, each checked to end in CR LF and to hold no
// other line break.
std::vector<std::string_view> Lines(std::string_view text, const std::string& name) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const auto end = text.find("\r\n");
    if (end == std::string_view::npos) fuzz::Violation("a line without CR LF", name);
    const std::string_view line = text.substr(0, end);
    if (line.find_first_of("\r\n") != std::string_view::npos) fuzz::Violation("a line break inside a line", name);
    lines.push_back(line);
    text.remove_prefix(end + 2);
  }
  return lines;
}

bool IsNumber(std::string_view text) {
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "#EXTM3U", then entries: "#EXTINF:<seconds>,<text>" followed by a path, or
// a bare path. Returns the number of entries.
std::size_t CheckPlaylist(const std::string& name, const std::string& text) {
  const auto lines = Lines(text, name);
  if (lines.empty() || lines[0] != "#EXTM3U") fuzz::Violation("a playlist without #EXTM3U", name);
  std::size_t entries = 0;
  for (std::size_t i = 1; i < lines.size(); ++i, ++entries) {
    const std::string_view line = lines[i];
    if (line.starts_with("#EXTINF:")) {
      const auto comma = line.find(',');
      if (comma == std::string_view::npos || !IsNumber(line.substr(8, comma - 8)))
        fuzz::Violation("a malformed #EXTINF line", line);
      if (++i == lines.size()) fuzz::Violation("#EXTINF without a path", name);
    }
    if (lines[i].empty() || lines[i].front() == '#') fuzz::Violation("an entry without a path", lines[i]);
  }
  return entries;
}

// Reads the double-quoted literal at line[*i] as a script engine would;
// false when it does not close on this line or holds a raw line break.
bool ReadLiteral(std::string_view line, std::size_t* i, std::string* value) {
  if (*i >= line.size() || line[*i] != '"') return false;
  value->clear();
  for (++*i; *i < line.size();) {
    const std::string_view rest = line.substr(*i);
    if (rest.starts_with(kLineSeparator) || rest.starts_with(kParagraphSeparator)) return false;
    const char c = rest[0];
    ++*i;
    if (c == '"') return true;
    if (c != '\\') {
      value->push_back(c);
      continue;
    }
    if (rest.size() < 2) return false;
    ++*i;
    if (rest[1] == 'n') {
      value->push_back('\n');
    } else if (rest[1] == 'r') {
      value->push_back('\r');
    } else if (rest[1] == 'u') {
      // The writer escapes no other code points.
      const std::string_view code = rest.substr(2, 4);
      if (code != "2028" && code != "2029") return false;
      value->append(code == "2028" ? kLineSeparator : kParagraphSeparator);
      *i += 4;
    } else {
      value->push_back(rest[1]);
    }
  }
  return false;
}

bool Skip(std::string_view line, std::size_t* i, std::string_view text) {
  if (line.substr(*i).starts_with(text)) {
    *i += text.size();
    return true;
  }
  return false;
}

// Every line of the data file is empty, the base line, or
// "<list>[n]...  = " followed by "new Array();", "new Array("a","b");" or
// "\"text\";". The literals of track lines are returned in file order.
std::vector<std::string> CheckDataFile(const std::string& text) {
  std::vector<std::string> tracks;
  std::string value;
  for (const std::string_view line : Lines(text, "Auralith.data")) {
    if (line.empty()) continue;
    std::size_t i = 0;
    if (Skip(line, &i, "var base = ")) {
      if (!ReadLiteral(line, &i, &value) || line.substr(i) != ";") fuzz::Violation("a broken base line", line);
      continue;
    }
    if (!Skip(line, &i, "artist_list") && !Skip(line, &i, "album_list") && !Skip(line, &i, "track_list"))
      fuzz::Violation("a line that is no statement", line);
    int indices = 0;
    while (Skip(line, &i, "[")) {
      const auto close = line.find(']', i);
      if (close == std::string_view::npos || !IsNumber(line.substr(i, close - i))) fuzz::Violation("a bad index", line);
      i = close + 1;
      ++indices;
    }
    while (i < line.size() && line[i] == ' ') ++i;
    if (indices == 0 || !Skip(line, &i, "= ")) fuzz::Violation("a statement without its assignment", line);
    if (Skip(line, &i, "new Array(")) {
      if (Skip(line, &i, ");")) {
        if (i != line.size()) fuzz::Violation("text after a statement", line);
        continue;
      }
      if (!ReadLiteral(line, &i, &value) || !Skip(line, &i, ",") || !ReadLiteral(line, &i, &value) ||
          line.substr(i) != ");")
        fuzz::Violation("a broken pair of literals", line);
      continue;
    }
    if (!ReadLiteral(line, &i, &value) || line.substr(i) != ";") fuzz::Violation("a broken track literal", line);
    tracks.push_back(value);
  }
  return tracks;
}

std::vector<std::string_view> Fields(std::string_view text) {
  std::vector<std::string_view> fields;
  for (;;) {
    const auto nul = text.find('\0');
    fields.push_back(text.substr(0, nul));
    if (nul == std::string_view::npos) return fields;
    text.remove_prefix(nul + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::Environment env;
  static PosixFileSystem fs;
  if (size == 0) return 0;
  Settings& settings = env.settings;
  const bool headings = (data[0] & 1) != 0;
  settings._4_headers.Set(headings ? 1 : 0);
  settings._4_the.Set((data[0] >> 1) & 1);
  settings._4_music.Set("/music/");
  const auto fields = Fields(fuzz::AsText(data + 1, size - 1));
  const std::string format(fields[0]);
  settings._4_outformat.Set(format);

  PathTable table;
  std::vector<std::string> paths;
  for (std::size_t f = 1; f + 5 <= fields.size(); f += 5) {
    auto record = std::make_unique<AFileInfo>();
    record->artist = fields[f];
    record->album = fields[f + 1];
    record->title = fields[f + 2];
    record->track = fields[f + 3];
    record->path = fields[f + 4];
    record->length = paths.size() % 3 == 0 ? -1 : static_cast<std::int32_t>(paths.size() * 61);
    // The scan gives each path once, and none with a line break.
    if (table.count(record->path) || record->path.find_first_of("\r\n") != std::string::npos) continue;
    paths.push_back(record->path);
    table.emplace(record->path, std::move(record));
  }

  fuzz::QuietPrompter prompter;
  fuzz::QuietProgress progress;
  const Library library = BuildLibrary(paths, table, settings, progress);
  WritePlaylists(library, settings, fs, prompter, progress);
  WriteLibraryData(library, settings, prompter, progress);

  const std::string folder = env.scratch.path() + "playlists/";
  const std::size_t heading = headings ? 1 : 0;
  const auto check = [&](const std::string& name, std::size_t entries) {
    const std::string text = ReadAll(folder + name);
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

  const std::string dataFile = ReadAll(env.scratch.path() + "Auralith.data");
  if (CheckDataFile(dataFile) != expected) fuzz::Violation("a track text that reads back otherwise");
  return 0;
}

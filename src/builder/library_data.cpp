#include "builder/library_data.h"

#include <cstddef>
#include <string_view>
#include <utility>

#include "base/path.h"
#include "base/strings.h"
#include "base/text_writer.h"
#include "builder/playlists.h"

namespace auralith {

namespace {

// U+2028 and U+2029 in UTF-8. Older script engines end a line at them, which
// inside a string literal is a syntax error that would lose the whole file.
constexpr std::string_view kLineSeparator = "\xE2\x80\xA8";
constexpr std::string_view kParagraphSeparator = "\xE2\x80\xA9";

// Appends `text` for use between double quotes, as one line.
void AppendEscaped(std::string& out, std::string_view text, bool trackText) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == kLineSeparator[0]) {
      const std::string_view rest = text.substr(i);
      if (StartsWith(rest, kLineSeparator) || StartsWith(rest, kParagraphSeparator)) {
        out += rest[2] == kLineSeparator[2] ? "\\u2028" : "\\u2029";
        i += 2;
        continue;
      }
    }
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\'':
        if (trackText) out += '\\';
        out += c;
        break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
}

// A name is one line on the page. Its breaks go before it is escaped, so the
// bytes on either side of one cannot join into a U+2028 or U+2029 that the
// escaping never saw.
std::string WithoutBreaks(std::string_view name) {
  std::string kept;
  kept.reserve(name.size());
  for (const char c : name)
    if (c != '\n' && c != '\r' && c != '\f' && c != '\a') kept += c;
  return kept;
}

std::string Alignment(std::size_t index) {
  if (index < 10) return "  ";
  if (index < 100) return " ";
  return "";
}

std::string ArtistText(const std::string& name) {
  // "Unknown" goes in before the clean-up, so a name of nothing but removed
  // characters shows empty.
  std::string text;
  AppendEscaped(text, WithoutBreaks(name.empty() ? std::string_view("Unknown") : std::string_view(name)), false);
  return text;
}

std::string AlbumText(const std::string& name) {
  std::string text;
  AppendEscaped(text, WithoutBreaks(name), false);
  return text.empty() ? "Unknown" : text;
}

// The playlist folder as a URL-style path for the page.
std::string BasePath(const std::string& location) {
  std::string folder = location + "playlists" + kPathSeparator;
  for (char& c : folder)
    if (c == '\\') c = '/';
  std::string text;
  AppendEscaped(text, folder, true);
  return text;
}

}  // namespace

// The text is made with its line ends as stored, so that it goes to the file
// as it is: it is the largest text a run writes.
std::string LibraryDataText(const Library& artists, const std::string& location, const std::string& format) {
  std::string text = "var base = \"" + BasePath(location) + "\";\r\n\r\n";
  // Room for lines of a usual length, so that the text is not copied over
  // and over as it grows; room not written to costs no memory.
  std::size_t lines = 0;
  for (const auto& artist : artists) {
    lines += 4;
    for (const auto& album : artist->albums) lines += 3 + album->tracks.size();
  }
  text.reserve(text.size() + lines * 128);
  for (std::size_t i = 0; i < artists.size(); ++i) {
    const ArtistEntry& artist = *artists[i];
    const std::string a = "[" + ToDecimal(static_cast<std::int64_t>(i)) + "]";
    const std::string ai = Alignment(i);
    text += "\r\n\r\nartist_list" + a + std::string(10, ' ') + ai + "= new Array(\"" + ArtistText(artist.name) +
            "\",\"" + artist.key + ".m3u\");\r\n";
    text += "album_list" + a + std::string(11, ' ') + ai + "= new Array();\r\n";
    text += "track_list" + a + std::string(11, ' ') + ai + "= new Array();\r\n";
    for (std::size_t j = 0; j < artist.albums.size(); ++j) {
      const AlbumEntry& album = *artist.albums[j];
      const std::string ab = a + "[" + ToDecimal(static_cast<std::int64_t>(j)) + "]";
      const std::string aj = ai + Alignment(j);
      text += "\r\nalbum_list" + ab + std::string(6, ' ') + aj + "= new Array(\"" + AlbumText(album.name) +
              "\",\"" + artist.key + "_" + album.key + ".m3u\");\r\n";
      text += "track_list" + ab + std::string(6, ' ') + aj + "= new Array();\r\n";
      for (std::size_t k = 0; k < album.tracks.size(); ++k) {
        text += "track_list" + ab + "[" + ToDecimal(static_cast<std::int64_t>(k)) + "] " + aj + Alignment(k) +
                "= \"";
        AppendEscaped(text, ExpandEntry(format, *album.tracks[k]), true);
        text += "\";\r\n";
      }
    }
  }
  return text;
}

void WriteLibraryDataText(std::string text, std::size_t artists, const std::string& location, Prompter& prompter,
                          ProgressSink& progress) {
  TextWriter out;
  if (!out.Open(location + "Auralith.data")) {
    prompter.Message("Error writing data file", "Error", MessageButtons::Ok, MessageIcon::Error);
    return;
  }
  out.WriteStored(std::move(text));
  for (std::size_t i = 0; i < artists; ++i) progress.StepIt();
  if (!out.Close()) prompter.Message("Error writing data file", "Error", MessageButtons::Ok, MessageIcon::Error);
}

void WriteLibraryData(const Library& artists, Settings& settings, Prompter& prompter, ProgressSink& progress) {
  const std::string location = settings.location.Get();
  WriteLibraryDataText(LibraryDataText(artists, location, settings._4_outformat.Get()), artists.size(), location,
                       prompter, progress);
}

}  // namespace auralith

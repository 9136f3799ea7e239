#include "builder/playlists.h"

#include <unordered_set>
#include <vector>

#include "base/path.h"
#include "base/strings.h"
#include "base/text_writer.h"

namespace auralith {

std::string ExpandEntry(std::string_view format, const AFileInfo& track) {
  // One pass per field, in this order, so a field's text is searched by the
  // later passes only: an artist named "%4" shows the title.
  std::string text(format.empty() ? std::string_view("%5") : format);
  auto pass = [&text](std::string_view field, auto&& value) {
    if (text.find(field) != std::string::npos) text = ReplaceAll(text, field, value());
  };
  pass("%1", [&] { return std::string_view(track.artist); });
  pass("%2", [&] { return std::string_view(track.album); });
  pass("%3", [&] { return std::string_view(track.track); });
  pass("%4", [&] { return std::string_view(track.title); });
  pass("%5", [&] { return FileNamePart(track.path); });
  return text;
}

std::string MakeHeading(std::string_view text, HeadingStyle style, std::string_view prefix) {
  // A heading is an entry whose file does not exist; the player shows its
  // title as a banner line.
  std::string heading;
  const std::string x(text);
  if (style == HeadingStyle::Album) {
    heading += "#EXTINF:-1,|......" + x + "......|\n";
    heading += std::string(prefix) + "|......" + x + "......|.mp3\n";
  } else {
    heading += "#EXTINF:-1,|" + std::string(121, '.') + "\n";
    heading += "|" + std::string(122, '.') + "mp3\n";
    heading += "#EXTINF:-1,|......" + x + std::string(100, '.') + "\n";
    heading += "|......" + x + std::string(101, '.') + "mp3\n";
  }
  return heading;
}

namespace {

void ReportError(Prompter& prompter, const std::string& text) {
  prompter.Message(text, "Error", MessageButtons::Ok, MessageIcon::Error);
}

std::string DisplayName(const std::string& name) { return name.empty() ? "Unknown" : name; }

// A line break inside an entry's title would end the "#EXTINF" line early
// and make the player read the rest as the path of another entry.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  return text;
}

bool MatchesExtension(const DirEntry& entry, std::string_view extension) {
  // As the Windows wildcard "*.ext" matches: any letter case, and the name
  // may be the extension alone (the top-level playlist is ".m3u").
  const std::string_view name = entry.name;
  return !entry.directory && name.size() >= extension.size() &&
         EqualsIgnoreAsciiCase(name.substr(name.size() - extension.size()), extension);
}

// Every old playlist goes, except those this run writes again under the same
// name: the writer replaces their content (or leaves it when it is already
// right), which ends in the same folder without making the file system
// delete and re-create thousands of files on every run.
void RemoveOldFiles(FileSystem& fs, ProgressSink& progress, const std::string& folder,
                    const std::vector<DirEntry>& entries, std::string_view extension,
                    const std::unordered_set<std::string>& kept) {
  for (const DirEntry& entry : entries) {
    if (!MatchesExtension(entry, extension) || kept.count(entry.name)) continue;
    progress.SetItemLine("Removing playlist \"" + entry.name + "\"");
    // A file that cannot go stays; the new playlists replace it or not.
    fs.RemoveFile(folder + entry.name);
  }
}

// The heading file of an album lies in the folder of its first track, so the
// player's view of it sits beside the album's files.
std::string AlbumPrefix(const std::string& music, const AlbumEntry& album) {
  std::string folderPart = album.tracks.empty() ? std::string() : DirectoryPart(album.tracks.front()->path);
  if (folderPart.size() == 1) folderPart.clear();
  return music + folderPart;
}

struct PlaylistSettings {
  std::string folder;
  std::string music;
  std::string format;
  bool headings;
};

bool WriteAlbumPlaylist(const PlaylistSettings& config, const ArtistEntry& artist, const AlbumEntry& album,
                        ProgressSink& progress) {
  const std::string name = artist.key + "_" + album.key;
  progress.SetItemLine("Writing playlist \"" + name + "\"");
  TextWriter out;
  if (!out.Open(config.folder + name + ".m3u", Leftovers::kSweptByCaller)) return false;
  out.Line("#EXTM3U");
  if (config.headings)
    out.Write(MakeHeading(OneLine(DisplayName(album.name)), HeadingStyle::Album, AlbumPrefix(config.music, album)));
  std::string entry;
  for (const AFileInfo* track : album.tracks) {
    progress.StepIt();
    entry = "#EXTINF:";
    entry += ToDecimal(track->length);
    entry += ',';
    entry += OneLine(ExpandEntry(config.format, *track));
    entry += '\n';
    entry += config.music;
    entry += track->path;
    entry += '\n';
    out.Write(entry);
  }
  return out.Close();
}

bool WriteArtistPlaylist(const PlaylistSettings& config, const ArtistEntry& artist) {
  TextWriter out;
  if (!out.Open(config.folder + artist.key + ".m3u", Leftovers::kSweptByCaller)) return false;
  out.Line("#EXTM3U");
  if (config.headings) out.Write(MakeHeading(OneLine(DisplayName(artist.name)), HeadingStyle::Section, ""));
  for (const auto& album : artist.albums) out.Line(artist.key + "_" + album->key + ".m3u");
  return out.Close();
}

bool WriteTopLevelPlaylist(const PlaylistSettings& config, const Library& artists) {
  TextWriter out;
  if (!out.Open(config.folder + ".m3u", Leftovers::kSweptByCaller)) return false;
  out.Line("#EXTM3U");
  if (config.headings) out.Write(MakeHeading("All", HeadingStyle::Section, ""));
  for (const auto& artist : artists) out.Line(artist->key + ".m3u");
  return out.Close();
}

}  // namespace

void WritePlaylists(const Library& artists, Settings& settings, FileSystem& fs, Prompter& prompter,
                    ProgressSink& progress) {
  const std::string folderPath = settings.location.Get() + "playlists";
  // Listing doubles as the test that the folder is a usable directory: a
  // plain file of that name would otherwise fail every playlist one by one.
  std::vector<DirEntry> entries;
  if ((!fs.Exists(folderPath) && !fs.MakeDirectory(folderPath)) || !fs.ListDirectory(folderPath, &entries)) {
    ReportError(prompter, "Couldn't create playlist directory");
    return;
  }

  PlaylistSettings config;
  config.folder = folderPath + kPathSeparator;
  config.music = settings._4_music.Get();
  config.format = settings._4_outformat.Get();
  config.headings = settings._4_headers.Get() != 0;

  std::unordered_set<std::string> kept = {".m3u"};
  for (const auto& artist : artists) {
    kept.insert(artist->key + ".m3u");
    for (const auto& album : artist->albums) kept.insert(artist->key + "_" + album->key + ".m3u");
  }
  RemoveOldFiles(fs, progress, config.folder, entries, ".m3u", kept);
  RemoveOldFiles(fs, progress, config.folder, entries, ".js", kept);
  // Temporaries a stopped run left behind go here, from the listing, so that
  // writing an unchanged playlist costs no delete of its own.
  for (const DirEntry& entry : entries)
    if (!entry.directory && entry.name.ends_with(".m3u.tmp")) fs.RemoveFile(config.folder + entry.name);

  for (const auto& artist : artists) {
    for (const auto& album : artist->albums) {
      if (!WriteAlbumPlaylist(config, *artist, *album, progress))
        ReportError(prompter, "Error writing playlist for the album named \"" + DisplayName(album->name) + "\"");
    }
    if (!WriteArtistPlaylist(config, *artist))
      ReportError(prompter, "Error writing playlist for artist \"" + DisplayName(artist->name) + "\"");
  }
  if (!WriteTopLevelPlaylist(config, artists)) ReportError(prompter, "Error writing top-level playlist");
}

}  // namespace auralith

#include "builder/playlists.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <map>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/file_replace.h"
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

// What each playlist held after the last run that wrote or compared it, with
// its file's size and time then. A playlist whose file still has that size
// and time, and whose new text is the one recorded, is left alone unopened:
// on an unchanged library, opening thousands of playlists only to find them
// right was the largest cost of a run under Wine. A missing or damaged
// record only means that the playlists are compared by reading them.
class PlaylistRecord {
 public:
  PlaylistRecord(FileSystem& fs, std::string path, const std::string& folder, const std::vector<DirEntry>& entries)
      : fs_(fs), path_(std::move(path)), folder_(folder) {
    for (const DirEntry& entry : entries)
      if (!entry.directory && entry.statusKnown) listed_.emplace(entry.name, entry.status);
    Load();
  }

  // Puts `out`'s text in the playlist file `name` unless it is known to be
  // there, and records what the file then holds.
  bool Close(TextWriter& out, const std::string& name) {
    const auto listed = listed_.find(name);
    const auto before = before_.find(name);
    const std::uint64_t hash = Hash(out.text());
    if (listed != listed_.end() && before != before_.end() && Same(listed->second, before->second.status) &&
        before->second.hash == hash && before->second.status.size == out.text().size()) {
      out.Cancel();
      now_[name] = before->second;
      return true;
    }
    const bool ok = out.Close();
    if (!ok || name.find_first_of("\r\n") != std::string::npos) return ok;
    FileStatus status;
    if (out.wrote() ? fs_.Status(folder_ + name, &status) : listed != listed_.end()) {
      if (!out.wrote()) status = listed->second;
      now_[name] = {status, hash};
    }
    return ok;
  }

  // Failing to save costs the next run only the reading it saves.
  void Save() const {
    std::string text = kHeader;
    for (const auto& [name, known] : now_) {
      text += ToDecimal(static_cast<std::int64_t>(known.status.size)) + ' ' + ToDecimal(known.status.modified) + ' ' +
              ToDecimal(static_cast<std::int64_t>(known.hash)) + ' ' + name + '\n';
    }
    WriteFileAtomically(path_, text, Durability::kWhole);
  }

 private:
  struct Known {
    FileStatus status;
    std::uint64_t hash;  // of the text
  };
  static constexpr const char* kHeader = "Auralith playlists 2\n";

  static bool Same(const FileStatus& a, const FileStatus& b) { return a.size == b.size && a.modified == b.modified; }

  // Eight bytes a step, each step a bijection of the state, so that a change
  // of one word always changes the state; halved to stay a positive decimal.
  // The text's only adversary is chance, and a run hashes every playlist's
  // text, megabytes in all.
  static std::uint64_t Hash(std::string_view text) {
    const auto mix = [](std::uint64_t x) { return (x ^ (x >> 32)) * 0xD6E8FEB86659FD93ull; };
    std::uint64_t hash = mix(text.size() ^ 0x9E3779B97F4A7C15ull);
    std::size_t at = 0;
    for (; text.size() - at >= 8; at += 8) {
      std::uint64_t word;
      std::memcpy(&word, text.data() + at, 8);
      hash = mix(hash ^ word);
    }
    std::uint64_t rest = 0;
    std::memcpy(&rest, text.data() + at, text.size() - at);
    return mix(hash ^ rest) >> 1;
  }

  void Load() {
    // A record of a million playlists is some tens of megabytes; a larger
    // file is no record of ours.
    std::string text;
    if (!ReadWholeFile(path_, std::uint64_t{256} << 20, &text) || text.rfind(kHeader, 0) != 0) return;
    std::size_t pos = std::string_view(kHeader).size();
    while (pos < text.size()) {
      std::size_t end = text.find('\n', pos);
      if (end == std::string::npos) break;  // cut short: the last line is not whole
      const std::string_view line(text.data() + pos, end - pos);
      pos = end + 1;
      std::int64_t size = 0, modified = 0, hash = 0;
      std::size_t at = 0;
      if (!Number(line, &at, &size) || !Number(line, &at, &modified) || !Number(line, &at, &hash) || at >= line.size())
        continue;
      before_[std::string(line.substr(at))] = {{static_cast<std::uint64_t>(size), modified},
                                               static_cast<std::uint64_t>(hash)};
    }
  }

  // A decimal (a time may be negative) and the space after it.
  static bool Number(std::string_view line, std::size_t* at, std::int64_t* value) {
    const char* first = line.data() + *at;
    const char* last = line.data() + line.size();
    const auto [end, error] = std::from_chars(first, last, *value);
    if (error != std::errc() || end == last || *end != ' ') return false;
    *at = static_cast<std::size_t>(end - line.data()) + 1;
    return true;
  }

  FileSystem& fs_;
  const std::string path_;
  const std::string& folder_;
  std::unordered_map<std::string, FileStatus> listed_;
  std::unordered_map<std::string, Known> before_;
  std::map<std::string, Known> now_;
};

struct PlaylistSettings {
  std::string folder;
  std::string music;
  std::string format;
  bool headings;
};

bool WriteAlbumPlaylist(const PlaylistSettings& config, const ArtistEntry& artist, const AlbumEntry& album,
                        ProgressSink& progress, PlaylistRecord& record) {
  const std::string name = artist.key + "_" + album.key;
  progress.SetItemLine("Writing playlist \"" + name + "\"");
  TextWriter out;
  out.OpenDeferred(config.folder + name + ".m3u", Leftovers::kSweptByCaller);
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
  return record.Close(out, name + ".m3u");
}

bool WriteArtistPlaylist(const PlaylistSettings& config, const ArtistEntry& artist, PlaylistRecord& record) {
  TextWriter out;
  out.OpenDeferred(config.folder + artist.key + ".m3u", Leftovers::kSweptByCaller);
  out.Line("#EXTM3U");
  if (config.headings) out.Write(MakeHeading(OneLine(DisplayName(artist.name)), HeadingStyle::Section, ""));
  for (const auto& album : artist.albums) out.Line(artist.key + "_" + album->key + ".m3u");
  return record.Close(out, artist.key + ".m3u");
}

bool WriteTopLevelPlaylist(const PlaylistSettings& config, const Library& artists, PlaylistRecord& record) {
  TextWriter out;
  out.OpenDeferred(config.folder + ".m3u", Leftovers::kSweptByCaller);
  out.Line("#EXTM3U");
  if (config.headings) out.Write(MakeHeading("All", HeadingStyle::Section, ""));
  for (const auto& artist : artists) out.Line(artist->key + ".m3u");
  return record.Close(out, ".m3u");
}

}  // namespace

std::string PlaylistFolderPath(Settings& settings) { return settings.location.Get() + "playlists"; }

PlaylistFolderListing ListPlaylistFolder(FileSystem& fs, const std::string& folderPath) {
  PlaylistFolderListing listing;
  listing.listed = fs.ListDirectory(folderPath, &listing.entries);
  return listing;
}

void WritePlaylists(const Library& artists, Settings& settings, FileSystem& fs, Prompter& prompter,
                    ProgressSink& progress, const PlaylistFolderListing* ahead) {
  const std::string folderPath = PlaylistFolderPath(settings);
  // Listing doubles as the test that the folder is a usable directory: a
  // plain file of that name would otherwise fail every playlist one by one.
  std::vector<DirEntry> listed;
  const bool usable = ahead != nullptr && ahead->listed;
  if (!usable &&
      ((!fs.Exists(folderPath) && !fs.MakeDirectory(folderPath)) || !fs.ListDirectory(folderPath, &listed))) {
    ReportError(prompter, "Couldn't create playlist directory");
    return;
  }
  const std::vector<DirEntry>& entries = usable ? ahead->entries : listed;

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

  PlaylistRecord record(fs, settings.location.Get() + "Auralith.playlists", config.folder, entries);
  for (const auto& artist : artists) {
    for (const auto& album : artist->albums) {
      if (!WriteAlbumPlaylist(config, *artist, *album, progress, record))
        ReportError(prompter, "Error writing playlist for the album named \"" + DisplayName(album->name) + "\"");
    }
    if (!WriteArtistPlaylist(config, *artist, record))
      ReportError(prompter, "Error writing playlist for artist \"" + DisplayName(artist->name) + "\"");
  }
  if (!WriteTopLevelPlaylist(config, artists, record)) ReportError(prompter, "Error writing top-level playlist");
  record.Save();
}

}  // namespace auralith

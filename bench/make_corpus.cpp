// Makes music trees of real MP3, Ogg and WAV files:
//
//   make_corpus ROOT [N [SEED]]  a library of N music files (default 20,000)
//                                laid out as real collections are, for the
//                                benchmarks; prints "path<TAB>seconds" for
//                                every music file on stdout (the playing time
//                                a reader must find), a summary on stderr
//   make_corpus --demo ROOT      a small library to look at: a few artists and
//                                albums laid out as Artist/Album/NN Title.ext
//
// The benchmark library is deterministic for a given N and SEED. Albums keep
// one format and one tagging style throughout, as a ripper leaves them: MP3
// (CBR or VBR with a Xing frame; ID3v2.3 in Latin-1 or UTF-16, ID3v2.4 in
// UTF-8, some also ID3v1, a few untagged; padded tags, some with a cover
// picture), Ogg Vorbis with comments, or WAV. Around them: cover images, cue
// sheets, multi-disc folders, compilations, loose singles, names beyond
// ASCII, upper-case extensions and hidden "._" files that are no audio.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/textidentificationframe.h>

#include "support/audio_fixtures.h"

namespace fs = std::filesystem;
using namespace auralith::testing;

namespace {

void Write(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "make_corpus: cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

// splitmix64: the same sequence from the same seed on every platform, which
// the standard distributions do not promise.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
  int Between(int low, int high) { return low + Below(high - low + 1); }
  bool Percent(int p) { return Below(100) < p; }
  template <typename T, std::size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(static_cast<int>(N))];
  }

 private:
  std::uint64_t state_;
};

const char* const kWords[] = {
    "Silver", "Night",  "River",   "Echo",    "Paper",  "Glass",   "North",  "Velvet",  "Iron",   "Cloud",
    "Ember",  "Harbor", "Stone",   "Violet",  "Delta",  "Lantern", "Summer", "Machine", "Ghost",  "Garden",
    "Salt",   "Winter", "Orchard", "Static",  "Copper", "Hollow",  "Signal", "Desert",  "Mirror", "Thunder",
    "Blue",   "Wild",   "Golden",  "Broken",  "Quiet",  "Electric", "Lost",  "Falling", "Red",    "Ocean",
    "Don't",  "Rock'n'Roll", "Heart", "Road", "Fire",   "Dream",   "Satellite", "Morning"};
// Invented words beyond ASCII, in a few scripts.
const char* const kForeign[] = {"Ångström", "Café",  "Øresund", "Mañana",  "Überall", "Дорога", "Звезда",
                                "東京",     "夜明け", "Ελπίδα",  "Łódź",    "Naïve",   "São",    "Été",
                                "Ölfen",    "Żuraw",  "Sjöberg", "Crème",   "北風",    "Мечта"};
const char* const kFirstNames[] = {"Anna", "Marco", "Leila", "Tom", "Ines", "Jonas", "Mira", "Pavel", "Ruth", "Kenji"};
const char* const kGenres[] = {"Rock", "Pop", "Jazz", "Electronic", "Folk", "Classical", "Hip-Hop", "Ambient"};

// Some names (foreignPercent of them) have one word beyond ASCII.
std::string Words(Random& random, int low, int high, int foreignPercent) {
  std::string out;
  const int n = random.Between(low, high);
  const int foreign = random.Percent(foreignPercent) ? random.Below(n) : -1;
  for (int i = 0; i < n; ++i) {
    if (i) out += ' ';
    out += i == foreign ? random.Pick(kForeign) : random.Pick(kWords);
  }
  return out;
}

std::string ArtistName(Random& random) {
  switch (random.Below(10)) {
    case 0:
    case 1:
      return "The " + Words(random, 1, 2, 5);
    case 2:
      return std::string(random.Pick(kFirstNames)) + " " + Words(random, 1, 1, 10);
    case 3:
      return Words(random, 1, 1, 3) + " & the " + Words(random, 1, 1, 3);
    default:
      return Words(random, 1, 3, 5);
  }
}

std::string AlbumName(Random& random) {
  if (random.Percent(8)) return "Live at " + Words(random, 1, 2, 10);
  return Words(random, 1, 4, 4);
}

std::string TrackTitle(Random& random) {
  std::string title = Words(random, 1, 5, 3);
  if (random.Percent(5)) title += " (Remix)";
  return title;
}

// A name not yet in `taken`, compared without regard to case: Windows keeps
// "Echo" and "ECHO" in one folder.
std::string Unique(std::string name, std::set<std::string>& taken) {
  auto key = [](std::string s) {
    for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return s;
  };
  for (int i = 2; !taken.insert(key(name)).second; ++i) name += " " + std::to_string(i);
  return name;
}

bool IsLatin1(const std::string& utf8) {
  // Two-byte UTF-8 sequences led by C2 or C3 are U+0080..U+00FF.
  for (unsigned char c : utf8)
    if (c >= 0xC4) return false;
  return true;
}

// Bytes that look like a JPEG to anything that checks its first and last
// bytes; the rest does not matter to a tag reader.
std::string Picture(Random& random, int bytes) {
  std::string out = "\xFF\xD8\xFF\xE0";
  out.push_back('\0');
  out.push_back('\x10');
  out += "JFIF";
  while (static_cast<int>(out.size()) < bytes - 2) out.push_back(static_cast<char>(random.Next() & 0xFF));
  return out + "\xFF\xD9";
}

enum class Style { Id3v23Latin1, Id3v23Utf16, Id3v24Utf8, Id3v1Only, Untagged };

struct TrackTags {
  std::string artist{}, albumArtist{}, album{}, title{}, track{}, disc{}, year{}, genre{};
};

// An ID3v2 tag with the frames a tagger writes, and more padding than
// TagLib's own kilobyte where `padding` asks for it.
std::string Id3v2(const TrackTags& t, Style style, const std::string& cover, int padding) {
  TagLib::String::Type encoding = style == Style::Id3v24Utf8    ? TagLib::String::UTF8
                                  : style == Style::Id3v23Utf16 ? TagLib::String::UTF16
                                                                : TagLib::String::Latin1;
  TagLib::ID3v2::Tag tag;
  const std::pair<const char*, const std::string*> frames[] = {
      {"TPE1", &t.artist}, {"TPE2", &t.albumArtist}, {"TALB", &t.album},
      {"TIT2", &t.title},  {"TRCK", &t.track},       {"TPOS", &t.disc},
      {"TCON", &t.genre},  {"TDRC", &t.year},
  };
  for (const auto& [id, text] : frames) {
    if (text->empty()) continue;
    auto* frame = new TagLib::ID3v2::TextIdentificationFrame(TagLib::ByteVector(id), encoding);
    frame->setText(TagLib::String(*text, TagLib::String::UTF8));
    tag.addFrame(frame);  // the tag owns it
  }
  auto* encoder = new TagLib::ID3v2::TextIdentificationFrame("TSSE", TagLib::String::Latin1);
  encoder->setText("LAME 3.100");
  tag.addFrame(encoder);
  auto* comment = new TagLib::ID3v2::CommentsFrame(encoding);
  comment->setLanguage("eng");
  comment->setText("Ripped from the original release");
  tag.addFrame(comment);
  if (!cover.empty()) {
    auto* picture = new TagLib::ID3v2::AttachedPictureFrame;
    picture->setMimeType("image/jpeg");
    picture->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    picture->setPicture(TagLib::ByteVector(cover.data(), static_cast<unsigned>(cover.size())));
    tag.addFrame(picture);
  }
  const TagLib::ByteVector rendered = tag.render(style == Style::Id3v24Utf8 ? TagLib::ID3v2::v4 : TagLib::ID3v2::v3);
  std::string out(rendered.data(), rendered.size());
  // The size (bytes 6 to 9, seven bits each) counts the padding too.
  const std::uint32_t size = static_cast<std::uint32_t>(out.size() - 10 + padding);
  for (int i = 0; i < 4; ++i) out[6 + i] = static_cast<char>((size >> (7 * (3 - i))) & 0x7F);
  return out + std::string(static_cast<std::size_t>(padding), '\0');
}

std::string Mp3File(const TrackTags& t, Style style, bool withId3v1, const Mp3Shape& audio, const std::string& cover,
                    int padding) {
  std::string front, back;
  if (style != Style::Untagged && style != Style::Id3v1Only) front = Id3v2(t, style, cover, padding);
  if (style == Style::Id3v1Only || withId3v1) {
    TagShape v1{.kind = TagKind::Id3v1, .artist = t.artist, .album = t.album, .title = t.title, .track = t.track};
    back = MakeId3Tag(v1);
  }
  return front + MakeMp3(audio) + back;
}

enum class Format { Mp3, Ogg, Wav };

const int kPaddings[] = {0, 0, 1024, 3072, 7168};  // beyond TagLib's own kilobyte
const char* const kCoverNames[] = {"folder.jpg", "cover.jpg", "Folder.jpg"};

class Library {
 public:
  Library(fs::path root, int wanted, std::uint64_t seed) : root_(std::move(root)), wanted_(wanted), random_(seed) {}

  void Make() {
    while (made_ < wanted_) {
      if (random_.Percent(2)) {
        Compilation();
      } else {
        Artist();
      }
    }
    std::fprintf(stderr, "%d music files, %.1f MiB (%.1f KB each on average); %d other files, %.1f MiB; %d artists, %d albums\n",
                 made_, static_cast<double>(musicBytes_) / (1 << 20),
                 static_cast<double>(musicBytes_) / 1024.0 / std::max(made_, 1), others_,
                 static_cast<double>(otherBytes_) / (1 << 20), artistCount_, albumCount_);
  }

 private:
  struct Album {
    std::string folder;  // relative, '/'-separated
    std::string artist;  // the folder's artist; "Various Artists" for a compilation
    std::string name;
    std::string year;
    bool compilation = false;
  };

  void Artist() {
    const std::string artist = Unique(ArtistName(random_), artists_);
    ++artistCount_;
    // A few collections sort an artist's albums into decades, one level deeper.
    const bool decades = random_.Percent(3);
    const int folderStyle = random_.Below(3);
    std::set<std::string> albums;
    const int count = 1 + random_.Below(3) + random_.Below(4);
    for (int i = 0; i < count && made_ < wanted_; ++i) {
      Album album;
      album.artist = artist;
      album.name = Unique(AlbumName(random_), albums);
      const int year = random_.Between(1965, 2024);
      album.year = std::to_string(year);
      std::string folder = folderStyle == 0   ? album.name
                           : folderStyle == 1 ? album.year + " - " + album.name
                                              : album.name + " (" + album.year + ")";
      if (decades) folder = std::to_string(year / 10 * 10) + "s/" + folder;
      album.folder = artist + "/" + folder;
      Tracks(album);
    }
    // A loose single beside the album folders.
    if (random_.Percent(10) && made_ < wanted_) {
      TrackTags tags{.artist = artist, .title = TrackTitle(random_), .year = "2019", .genre = random_.Pick(kGenres)};
      tags.album = tags.title;
      const Mp3Shape audio{.seconds = 3.5, .kbps = {192}};
      Music(artist, artist + " - " + tags.title + ".mp3", Mp3File(tags, Style::Id3v24Utf8, false, audio, "", 0),
            3);
    }
  }

  void Compilation() {
    Album album;
    album.artist = "Various Artists";
    album.name = Unique(AlbumName(random_), compilations_);
    album.year = std::to_string(random_.Between(1975, 2024));
    album.folder = album.artist + "/" + album.name;
    album.compilation = true;
    Tracks(album);
  }

  void Tracks(const Album& album) {
    ++albumCount_;
    const int r = random_.Below(100);
    const Format format = r < 72 ? Format::Mp3 : r < 92 ? Format::Ogg : Format::Wav;
    const bool latin1 = IsLatin1(album.artist + album.name);
    const int s = random_.Below(100);
    Style style = s < 15   ? (latin1 ? Style::Id3v23Latin1 : Style::Id3v23Utf16)
                  : s < 50 ? Style::Id3v23Utf16
                  : s < 90 ? Style::Id3v24Utf8
                  : s < 94 ? Style::Id3v1Only
                           : Style::Untagged;
    const bool withId3v1 = style != Style::Id3v24Utf8 && random_.Percent(25);
    const bool oggComments = random_.Percent(98);
    const int padding = random_.Pick(kPaddings);
    Mp3Shape audio;
    const int profile = random_.Below(100);
    if (profile < 40) {
      audio.kbps = {128};
    } else if (profile < 75) {
      audio.kbps = {128, 160, 192, 224, 256, 192, 160};
      audio.xing = true;
    } else if (profile < 88) {
      audio.kbps = {192};
    } else if (profile < 94) {
      audio.kbps = {320};
    } else {
      audio.version = MpegVersion::Mpeg2;
      audio.kbps = {64};
    }
    std::string cover;
    if (random_.Percent(35)) {
      cover = Picture(random_, random_.Between(8, 48) * 1024);
      Other(album.folder, random_.Pick(kCoverNames), cover);
      if (format != Format::Mp3 || random_.Percent(40)) cover.clear();  // on disk only
    }
    if (random_.Percent(4)) Other(album.folder, "rip.log", std::string(6000, 'x') + "\r\n");
    const std::string genre = random_.Pick(kGenres);
    const int nameStyle = random_.Below(4);
    const char* extension = format == Format::Mp3 ? ".mp3" : format == Format::Ogg ? ".ogg" : ".wav";
    std::string ext = extension;
    if (random_.Percent(2))
      for (char& c : ext) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);

    const int total = random_.Between(6, 16);
    const int discs = total >= 10 && random_.Percent(6) ? 2 : 1;
    const bool appleDouble = random_.Percent(2);
    for (int i = 0; i < total && made_ < wanted_; ++i) {
      const int perDisc = (total + discs - 1) / discs;
      const int disc = i / perDisc + 1;
      const int number = i % perDisc + 1;
      std::string folder = album.folder;
      if (discs > 1) folder += (nameStyle % 2 ? "/CD" : "/Disc ") + std::to_string(disc);
      TrackTags tags;
      tags.artist = album.compilation ? ArtistName(random_) : album.artist;
      if (album.compilation) tags.albumArtist = album.artist;
      tags.album = album.name;
      tags.title = TrackTitle(random_);
      tags.track = random_.Percent(50) ? std::to_string(number) + "/" + std::to_string(perDisc)
                                       : std::to_string(number);
      if (discs > 1) tags.disc = std::to_string(disc) + "/" + std::to_string(discs);
      tags.year = album.year;
      tags.genre = genre;

      char nn[16];
      std::snprintf(nn, sizeof nn, "%02d", number);
      const std::string file = nameStyle == 0   ? nn + (" " + tags.title)
                               : nameStyle == 1 ? nn + (" - " + tags.title)
                               : nameStyle == 2 ? tags.artist + " - " + nn + " - " + tags.title
                                                : nn + (". " + tags.title);
      // Half a second over a whole number: the playing time a reader finds,
      // rounded down, cannot fall either side of a second.
      int seconds = 0;
      std::string bytes;
      if (format == Format::Mp3) {
        seconds = random_.Between(1, 4);
        audio.seconds = seconds + 0.5;
        Style trackStyle = style;
        if (style == Style::Id3v23Latin1 && !IsLatin1(tags.artist + tags.title)) trackStyle = Style::Id3v23Utf16;
        bytes = Mp3File(tags, trackStyle, withId3v1, audio, cover, padding);
      } else if (format == Format::Ogg) {
        // The Vorbis stream is 4 kbit/s, so a file of a realistic size plays
        // a minute or more.
        seconds = random_.Between(55, 95);
        std::vector<VorbisComment> comments;
        if (oggComments) {
          comments = {{"ARTIST", tags.artist}, {"ALBUM", tags.album}, {"TITLE", tags.title},
                      {"TRACKNUMBER", std::to_string(number)}, {"DATE", tags.year}, {"GENRE", tags.genre}};
          if (album.compilation) comments.push_back({"ALBUMARTIST", tags.albumArtist});
          if (discs > 1) comments.push_back({"DISCNUMBER", std::to_string(disc)});
        }
        bytes = MakeOgg(seconds + 0.5, comments);
      } else {
        seconds = random_.Between(1, 3);
        bytes = MakeWav(seconds + 0.5, 11025, 1);
      }
      if (appleDouble && i == 0) Other(folder, "._" + file + ext, MakeGarbage(4096));
      Music(folder, file + ext, bytes, seconds);
    }
  }

  void Music(const std::string& folder, const std::string& name, const std::string& bytes, int seconds) {
    fs::create_directories(root_ / folder);
    Write(root_ / folder / name, bytes);
    std::printf("%s/%s\t%d\n", folder.c_str(), name.c_str(), seconds);
    ++made_;
    musicBytes_ += static_cast<long long>(bytes.size());
  }

  void Other(const std::string& folder, const std::string& name, const std::string& bytes) {
    fs::create_directories(root_ / folder);
    Write(root_ / folder / name, bytes);
    ++others_;
    otherBytes_ += static_cast<long long>(bytes.size());
  }

  const fs::path root_;
  const int wanted_;
  Random random_;
  std::set<std::string> artists_{"various artists"};
  std::set<std::string> compilations_;
  int made_ = 0, others_ = 0, artistCount_ = 0, albumCount_ = 0;
  long long musicBytes_ = 0, otherBytes_ = 0;
};

}  // namespace

struct DemoAlbum {
  const char* artist;
  const char* album;
  std::vector<const char*> titles;
};

// Invented names, some beyond ASCII and some with punctuation, as real
// collections have them.
const std::vector<DemoAlbum> kDemo = {
    {"Aurora Lane", "Northern Lights", {"First Light", "Cold Harbour", "Snowfield", "Polaris", "The Long Night"}},
    {"Aurora Lane", "Paper Boats", {"Paper Boats", "Tide Pools", "Lighthouse Keeper"}},
    {"The Quiet Harbour", "Salt & Stone", {"Breakwater", "Gulls", "Fog Signal", "Low Tide"}},
    {"Mélodie Nord", "Été Indien", {"Café Noir", "Rue des Étoiles", "Été", "Dernière Danse"}},
    {"Kōji Ensemble", "Four Seasons in Kyōto", {"Haru", "Natsu", "Aki", "Fuyu"}},
    {"Dr. Octave", "Don't Stop (Live)", {"Intro", "Don't Stop", "Encore: \"Thank You\""}},
};

int MakeDemo(const fs::path& root) {
  int files = 0;
  for (std::size_t a = 0; a < kDemo.size(); ++a) {
    const DemoAlbum& album = kDemo[a];
    const fs::path dir = root / album.artist / album.album;
    fs::create_directories(dir);
    for (std::size_t t = 0; t < album.titles.size(); ++t) {
      char number[24];
      std::snprintf(number, sizeof number, "%02zu", t + 1);
      std::string title = album.titles[t];
      // Characters Windows does not allow in file names stay in the tags only.
      std::string fileTitle;
      for (char c : title) {
        if (c == ':') fileTitle += " -";
        else if (c != '"') fileTitle += c;
      }
      const std::string base = (dir / (std::string(number) + " " + fileTitle)).string();
      const double seconds = 20.0 + static_cast<double>((a * 37 + t * 53) % 70);
      const std::string track = number;
      switch ((a + t) % 4) {
        case 0:
          Write(base + ".ogg", MakeOgg(seconds, {{"ARTIST", album.artist}, {"ALBUM", album.album},
                                                 {"TITLE", title}, {"TRACKNUMBER", track}}));
          break;
        case 1:
          // No tags: folders and the file name tell everything.
          Write(base + ".wav", MakeWav(std::min(seconds, 12.0), 8000, 1));
          break;
        default: {
          Mp3Shape shape;
          shape.seconds = seconds;
          shape.kbps = {32};
          TagShape tag;
          tag.kind = t % 2 ? TagKind::Id3v24Utf8 : TagKind::Id3v23Utf16;
          tag.artist = album.artist;
          tag.album = album.album;
          tag.title = title;
          tag.track = track;
          shape.tags = {tag};
          Write(base + ".mp3", MakeMp3(shape));
        }
      }
      ++files;
    }
  }
  std::printf("%d files in %s\n", files, root.string().c_str());
  return 0;
}

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "--demo") return MakeDemo(argv[2]);
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_corpus ROOT [N [SEED]] | make_corpus --demo ROOT\n");
    return 2;
  }
  const int wanted = argc > 2 ? std::atoi(argv[2]) : 20000;
  const std::uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1;
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  Library(argv[1], wanted, seed).Make();
  return std::fflush(stdout) == 0 ? 0 : 1;
}

// Makes music trees of real (silent) MP3, Ogg and WAV files:
//
//   make_corpus ROOT [N]    N tiny files for the benchmarks (default 20,000),
//                           about 12 tracks per album and 10 albums per artist,
//                           with varied tags
//   make_corpus --demo ROOT a small library to look at: a few artists and
//                           albums laid out as Artist/Album/NN Title.ext

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <map>
#include <vector>
#include <string>

#include "support/audio_fixtures.h"

namespace fs = std::filesystem;
using namespace auralith::testing;

namespace {

const char* const kWords[] = {"Silver", "Night", "River", "Echo",   "Paper", "Glass",  "North", "Velvet",
                              "Iron",   "Cloud", "Ember", "Harbor", "Stone", "Violet", "Delta", "Lantern"};

std::string Name(int seed, int words) {
  std::string out;
  for (int i = 0; i < words; ++i) {
    if (i) out += ' ';
    out += kWords[(seed / (i == 0 ? 1 : 16 * i) + i * 7) % 16];
  }
  return out;
}

void Write(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "make_corpus: cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

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
          Mp3Spec shape;
          shape.seconds = seconds;
          shape.kbps = {32};
          TagSpec tag;
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
    std::fprintf(stderr, "usage: make_corpus ROOT [N] | make_corpus --demo ROOT\n");
    return 2;
  }
  const fs::path root = argv[1];
  const int total = argc > 2 ? std::atoi(argv[2]) : 20000;
  constexpr int kTracksPerAlbum = 12;
  constexpr int kAlbumsPerArtist = 10;
  const TagKind kinds[] = {TagKind::Id3v23Latin1, TagKind::Id3v24Utf8, TagKind::Id3v23Utf16, TagKind::Id3v1};

  // Encoding Vorbis is the slow part; every Ogg file of one title shares it.
  std::map<std::string, std::string> oggCache;
  for (int i = 0; i < total; ++i) {
    const int album = i / kTracksPerAlbum;
    const int artist = album / kAlbumsPerArtist;
    const int track = i % kTracksPerAlbum + 1;
    const std::string artistName = "The " + Name(artist, 2) + " " + std::to_string(artist);
    const std::string albumName = Name(album * 3 + 1, 2) + " " + std::to_string(album);
    const std::string title = Name(i * 5 + 2, 3);
    char number[24];
    std::snprintf(number, sizeof number, "%02d", track);
    const fs::path dir = root / artistName / albumName;
    fs::create_directories(dir);
    const std::string base = (dir / (std::string(number) + " - " + title)).string();
    switch (i % 10) {
      case 0:
      case 1: {
        const std::string key = title;
        auto it = oggCache.find(key);
        if (it == oggCache.end())
          it = oggCache.emplace(key, MakeOgg(0.5, {{"ARTIST", artistName}, {"ALBUM", albumName},
                                                   {"TITLE", title}, {"TRACKNUMBER", number}})).first;
        Write(base + ".ogg", it->second);
        break;
      }
      case 2:
        Write(base + ".wav", MakeWav(0.25, 8000, 1));
        break;
      default: {
        Mp3Spec shape;
        shape.version = i % 3 == 0 ? MpegVersion::Mpeg2 : MpegVersion::Mpeg1;
        shape.seconds = 0.5;
        if (i % 4 == 0) {
          shape.kbps = shape.version == MpegVersion::Mpeg1 ? std::vector<int>{32, 64, 40} : std::vector<int>{8, 32, 16};
          shape.xing = true;
        } else {
          shape.kbps = {32};
        }
        TagSpec tag;
        tag.kind = kinds[i % 4];
        tag.artist = artistName;
        tag.album = albumName;
        tag.title = title;
        tag.track = tag.kind == TagKind::Id3v1 ? std::to_string(track) : std::to_string(track) + "/12";
        shape.tags = {tag};
        Write(base + ".mp3", MakeMp3(shape));
      }
    }
  }
  std::printf("%d files in %s\n", total, root.c_str());
  return 0;
}

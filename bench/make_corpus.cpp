// Makes a music tree for the benchmarks: N real (tiny) MP3, Ogg and WAV files,
// about 12 tracks per album and 10 albums per artist, with varied tags.
//
//   make_corpus ROOT [N]

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
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

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_corpus ROOT [N]\n");
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
    char number[8];
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
        Mp3Spec spec;
        spec.version = i % 3 == 0 ? MpegVersion::Mpeg2 : MpegVersion::Mpeg1;
        spec.seconds = 0.5;
        if (i % 4 == 0) {
          spec.kbps = spec.version == MpegVersion::Mpeg1 ? std::vector<int>{32, 64, 40} : std::vector<int>{8, 32, 16};
          spec.xing = true;
        } else {
          spec.kbps = {32};
        }
        TagSpec tag;
        tag.kind = kinds[i % 4];
        tag.artist = artistName;
        tag.album = albumName;
        tag.title = title;
        tag.track = tag.kind == TagKind::Id3v1 ? std::to_string(track) : std::to_string(track) + "/12";
        spec.tags = {tag};
        Write(base + ".mp3", MakeMp3(spec));
      }
    }
  }
  std::printf("%d files in %s\n", total, root.c_str());
  return 0;
}

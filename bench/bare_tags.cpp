// The floor for a run without a tag cache: the bare walk of tree_walk.h, and
// each music file's tags and playing time read with TagLib and libvorbisfile
// (a WAV file's from its header), on one thread, and nothing else.
//
//   bare_tags ROOT      prints "<files> files, <seconds> s, <bytes> text bytes"
//
// The seconds are each file's whole seconds added up, as a playlist shows them.

#include <cstdint>
#include <cstdio>
#include <string>

#include <taglib/mpegfile.h>
#include <taglib/tag.h>
#include <vorbis/vorbisfile.h>

#include "tree_walk.h"

namespace {

struct Totals {
  long files = 0;
  long long seconds = 0;
  std::size_t textBytes = 0;
};

std::FILE* Open(const bench::Path& path) {
#ifdef _WIN32
  return _wfopen(path.c_str(), L"rb");
#else
  return std::fopen(path.c_str(), "rb");
#endif
}

void ReadMp3(const bench::Path& path, Totals& totals) {
  TagLib::MPEG::File file(path.c_str(), true, TagLib::AudioProperties::Average);
  if (const TagLib::Tag* tag = file.tag())
    totals.textBytes += tag->artist().size() + tag->album().size() + tag->title().size();
  if (const TagLib::AudioProperties* audio = file.audioProperties())
    totals.seconds += audio->lengthInMilliseconds() / 1000;
}

void ReadOgg(const bench::Path& path, Totals& totals) {
  std::FILE* f = Open(path);
  if (!f) return;
  OggVorbis_File vf;
  if (ov_open(f, &vf, nullptr, 0) != 0) {
    std::fclose(f);
    return;
  }
  if (vorbis_comment* vc = ov_comment(&vf, -1)) {
    for (const char* field : {"ARTIST", "ALBUM", "TITLE", "TRACKNUMBER"})
      if (const char* v = vorbis_comment_query(vc, field, 0)) totals.textBytes += std::string(v).size();
  }
  totals.seconds += static_cast<long long>(ov_time_total(&vf, -1));
  ov_clear(&vf);
}

void ReadWav(const bench::Path& path, Totals& totals) {
  std::FILE* f = Open(path);
  if (!f) return;
  unsigned char h[36];
  if (std::fread(h, 1, sizeof h, f) == sizeof h) {
    auto le32 = [&](int at) {
      return static_cast<std::uint32_t>(h[at]) | h[at + 1] << 8 | h[at + 2] << 16 | static_cast<std::uint32_t>(h[at + 3]) << 24;
    };
    if (le32(28) > 0 && le32(4) >= 28) totals.seconds += (le32(4) - 28) / le32(28);
  }
  std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bare_tags ROOT\n");
    return 2;
  }
  Totals totals;
  bench::WalkTree(bench::RootArgument(argv[1]), [&](const bench::Path& path, const auto& name, std::uint64_t,
                                                     std::uint64_t) {
    // Hidden files are no music; the extension in any letter case is.
    if (name.size() < 5 || name[0] == '.') return;
    std::string ext;
    for (std::size_t i = name.size() - 4; i < name.size(); ++i)
      ext += static_cast<char>(name[i] >= 'A' && name[i] <= 'Z' ? name[i] + 32 : name[i]);
    if (ext == ".mp3") {
      ReadMp3(path, totals);
    } else if (ext == ".ogg") {
      ReadOgg(path, totals);
    } else if (ext == ".wav") {
      ReadWav(path, totals);
    } else {
      return;
    }
    ++totals.files;
  });
  std::printf("%ld files, %lld s, %zu text bytes\n", totals.files, totals.seconds, totals.textBytes);
  return 0;
}

// The floor for a cold run: read every music file's tags and playing time with
// TagLib and libvorbisfile, and nothing else.
//
//   bare_tags ROOT

#include <cstdio>
#include <filesystem>
#include <string>

#include <taglib/mpegfile.h>
#include <taglib/tag.h>
#include <vorbis/vorbisfile.h>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bare_tags ROOT\n");
    return 2;
  }
  long files = 0;
  long long seconds = 0;
  std::size_t textBytes = 0;
  for (const auto& entry : fs::recursive_directory_iterator(argv[1])) {
    if (!entry.is_regular_file()) continue;
    const std::string path = entry.path().string();
    const std::string ext = entry.path().extension().string();
    ++files;
    if (ext == ".mp3") {
      TagLib::MPEG::File file(path.c_str(), true, TagLib::AudioProperties::Average);
      if (const TagLib::Tag* tag = file.tag()) {
        textBytes += tag->artist().size() + tag->album().size() + tag->title().size();
      }
      if (file.audioProperties()) seconds += file.audioProperties()->lengthInSeconds();
    } else if (ext == ".ogg") {
      FILE* f = std::fopen(path.c_str(), "rb");
      if (!f) continue;
      OggVorbis_File vf;
      if (ov_open(f, &vf, nullptr, 0) != 0) {
        std::fclose(f);
        continue;
      }
      if (vorbis_comment* vc = ov_comment(&vf, -1)) {
        for (const char* field : {"ARTIST", "ALBUM", "TITLE", "TRACKNUMBER"})
          if (const char* v = vorbis_comment_query(vc, field, 0)) textBytes += std::string(v).size();
      }
      seconds += static_cast<long long>(ov_time_total(&vf, -1));
      ov_clear(&vf);
    } else if (ext == ".wav") {
      FILE* f = std::fopen(path.c_str(), "rb");
      if (!f) continue;
      unsigned char header[36];
      if (std::fread(header, 1, sizeof header, f) == sizeof header) seconds += header[4];
      std::fclose(f);
    }
  }
  std::printf("%ld files, %lld s, %zu text bytes\n", files, seconds, textBytes);
  return 0;
}

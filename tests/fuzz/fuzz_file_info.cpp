// Track information from any bytes, read as an MP3, an Ogg and a WAV file
// through TagLib, libvorbisfile and our own header reader. The bytes go to
// one file that three names (one per ending) link to.

#include <fstream>

#include "builder/file_info.h"
#include "fuzz_support.h"

using namespace auralith;

namespace {

struct Files {
  Files() {
    env.settings._4_music.Set(env.folder);
    for (const char* ending : {".mp3", ".ogg", ".wav"})
      std::filesystem::create_symlink("track", env.folder + "01 - track" + ending);
  }
  fuzz::Environment env;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Files files;
  Settings& settings = files.env.settings;
  if (!std::ofstream(files.env.folder + "track", std::ios::binary)
           .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size)))
    fuzz::Violation("the track could not be written");
  for (const char* ending : {".mp3", ".ogg", ".wav"}) {
    fuzz::QuietPrompter prompter;
    AFileInfo record;
    record.path = std::string("01 - track") + ending;
    ReadFileInfo(record, settings, prompter);
    if (record.length < -1) fuzz::Violation("a negative playing time", record.path);
    if (record.title.empty()) fuzz::Violation("no title, not even the file name's", record.path);
    if (prompter.shown > 0 && record.length != -1) fuzz::Violation("an alert with a playing time", record.path);
  }
  return 0;
}

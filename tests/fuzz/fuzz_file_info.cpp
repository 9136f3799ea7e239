// Track information from any bytes, read as an MP3, an Ogg and a WAV file through TagLib, libvorbisfile and our own
// header reader. The bytes go to one file that three names (one per ending) link to.

#include <fstream>

#include "builder/file_info.h"
#include "fuzz_support.h"

using namespace auralith;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::Environment env;
  static const char* const kEndings[] = {".mp3", ".ogg", ".wav"};
  [[maybe_unused]] static const bool linked = [] {
    env.settings._4_music.Set(env.folder);
    for (const char* ending : kEndings) std::filesystem::create_symlink("track", env.folder + "01 - track" + ending);
    return true;
  }();
  if (!std::ofstream(env.folder + "track", std::ios::binary)
           .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size)))
    fuzz::Violation("the track could not be written");
  for (const char* ending : kEndings) {
    AFileInfo record;
    record.path = std::string("01 - track") + ending;
    const int alerts = env.prompter.count();
    ReadFileInfo(record, env.settings, env.prompter);
    if (record.length < -1) fuzz::Violation("a negative playing time", record.path);
    if (record.title.empty()) fuzz::Violation("no title, not even the file name's", record.path);
    if (env.prompter.count() > alerts && record.length != -1)
      fuzz::Violation("an alert with a playing time", record.path);
  }
  return 0;
}

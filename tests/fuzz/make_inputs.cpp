// Writes each harness's seeds to <dir>/seeds/<harness>/ and the inputs that
// once broke a rule to <dir>/regressions/<harness>/: no binary input in the tree.

#include <fstream>
#include <string>
#include <vector>

#include "builder/tag_cache.h"
#include "fuzz_support.h"
#include "platform/posix/file_registry_store.h"
#include "support/audio_fixtures.h"

using namespace auralith;
namespace fs = std::filesystem;

namespace {

using Inputs = std::vector<std::string>;

void WriteAll(const fs::path& folder, const Inputs& inputs) {
  fs::create_directories(folder);
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    std::ofstream out(folder / ("input-" + std::to_string(i)), std::ios::binary);
    out << inputs[i];
  }
}

// A byte of switches, then NUL-separated fields.
std::string Fields(char switches, std::initializer_list<std::string_view> fields) {
  std::string text(1, switches);
  for (const auto field : fields) text.append(field).push_back('\0');
  text.pop_back();
  return text;
}

Inputs TagCaches() {
  fuzz::Environment env;
  const std::string file = env.folder + "cache";
  PathTable table;
  auto save = [&] {
    if (!SaveTagCache(file, env.settings, table)) throw std::runtime_error("cannot save a tag cache");
    return fuzz::ReadAll(file);
  };
  auto add = [&](const std::string& path, const std::string& title, const std::string& track) {
    table.Insert(std::make_unique<AFileInfo>(AFileInfo{path, "Artist", "Album", title, track, 259, 1,
                                                              1700000000, 4096}));
  };
  Inputs inputs{save()};
  add("Artist/Album/01 - One.mp3", "One", "1");
  inputs.push_back(save());
  add("Artist/Album/02 - Two.ogg", std::string(300, 't'), "2/12");  // a WORD-length text
  add("Artist/Album/03.wav", "", "");
  inputs.push_back(save());

  // The one record again, with its title stored as UTF-16 ("On\u2634"), as the framework's own writer may store it.
  std::string wide = inputs[1];
  wide.replace(wide.find("\x03One"), 4, std::string("\xFF\xFE\xFF\x03O\0n\0\x34\x26", 10));
  inputs.push_back(wide);
  return inputs;
}

Inputs RegistryFiles() {
  MemoryRegistryStore store;
  Settings settings(store);
  settings.ResetToDefaults();
  settings._4_music.Set("/home/me/Music \"quoted\" \\ back/");
  settings.urlCommand.Set("\"/opt/Auralith/AuralithURL.exe\" \"%1\"");
  settings.urlProtocol.Set("");
  store.Set(Hive::CurrentUser, "Software\\Corvale\\Auralith", "binary", RegValue{kRegBinary, std::string(40, '\x7F')});
  store.Set(Hive::CurrentUser, "Software\\Corvale\\Auralith", "odd", RegValue{kRegSz, std::string("two\nlines")});
  Inputs inputs{FileRegistryStore::FormatHive(Hive::CurrentUser, store.root(Hive::CurrentUser)),
                FileRegistryStore::FormatHive(Hive::ClassesRoot, store.root(Hive::ClassesRoot))};
  // What the writer never makes but an editor may: a BOM, comments, a list continued over lines, the hive's own values.
  inputs.push_back(
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n; a comment\r\n[HKEY_CURRENT_USER]\r\n@=\"root\"\r\n"
      "[HKEY_CURRENT_USER\\A\\B]\r\n\"list\"=hex(7):41,00,\\\r\n  42,00,00,00\r\n\"n\"=dword:0000002a\n");
  return inputs;
}

Inputs Tracks() {
  using namespace auralith::testing;
  const std::vector<TagShape> tags = {
      {.kind = TagKind::Id3v24Utf8, .artist = "Künstler", .album = "Album", .title = "Titel", .track = "5/12"},
      {.kind = TagKind::Id3v23Utf16, .artist = "坂本龍一", .title = "Title"},
      {.kind = TagKind::Id3v23Latin1, .band = "Band", .composer = "Composer"},
      {.kind = TagKind::Id3v1, .artist = "Old", .album = "Tag", .title = "One", .track = "3"},
  };
  Inputs inputs;
  for (const TagShape& tag : tags) inputs.push_back(MakeMp3({.seconds = 0.1, .tags = {tag}}));
  inputs.push_back(MakeMp3({.version = MpegVersion::Mpeg2, .seconds = 0.2, .kbps = {32, 64}, .xing = true}));
  inputs.push_back(MakeId3Tag(tags[0]));
  inputs.push_back(MakeOgg(0.1, {{"ARTIST", "Artist"}, {"title", "Title"}, {"TRACKNUMBER", "7"}, {"ALBUM", "A"}}));
  inputs.push_back(MakeWav(0.01));
  inputs.push_back(MakeGarbage(64));
  return inputs;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_inputs <dir>\n");
    return 2;
  }
  // A seed that cannot be made ends the program with its exception's text.
  const std::pair<const char*, Inputs> sets[] = {
      {"seeds/tag_cache", TagCaches()},
      {"seeds/registry_file", RegistryFiles()},
      {"seeds/patterns",
       {Fields(3, {"%1 - %2 - %3 - %4", "Rock/Counting Crows - Across A Wire - 05 - Mr. Jones.mp3"}),
        Fields(7, {"%3 %4", "Artist/01 - Album/05 Title.ogg"}), Fields(2, {"%*%4", "A/b.c.mp3"}),
        Fields(4, {"(%2) %3-%1%", "x/(1999 Live) 7-Band.wav"})}},
      {"seeds/file_info", Tracks()},
      {"seeds/playlist_text",
       {Fields(3, {"%3. %4", "The Beatles", "Abbey Road", "Come Together", "01", "Beatles/Abbey Road/01.mp3",
                   "The Beatles", "Abbey Road", "Something", "02", "Beatles/Abbey Road/02.mp3", "", "", "", "",
                   "loose.wav"}),
        Fields(0, {"%1 - %4 (%5)", "A\"B\\C", "Don't", "Line\nbreak\r", "5/12", "a/b.mp3", "\xE2\x80\xA8", "\a\f",
                   "\xE2\x80\xA9 end\\", "", "c/d.ogg"}),
        Fields(3, {"", "x", "y", "z", "1", "%4/%1.mp3"})}},
      // Libraries whose names, titles and track numbers break lines: the first campaign's find, whose path with a line
      // break the scan now leaves out; and names whose removed breaks once left a raw U+2028 or U+2029 behind.
      {"regressions/playlist_text",
       {Fields(3, {"%4", "Art\xE2\x80\r\xA8" "ist", "55\xE2\x80\n\xA9" "55", "Title", "1", "a/b.mp3"}),
        Fields(3, {"%1 %2 %3 %4 %5", "01", "Beatles/Abbey", " Road\n/01.mp3", "The Bea\x02tles\r",
                   "Beatles/Abbey Road/01.mp3", "Abbey \nRoad", "\r\n", "x\ry", "1\n", "a/b.mp3"})}},
      {"seeds/url_request",
       {"Auralith:play/beatles_abbeyroad.m3u", "auralith://play/.m3u/", "AURALITH:PLAY/___.m3u",
        "Auralith:play/..\\..\\x.m3u", "Auralith:play/a%2fb.m3u"}},
  };
  for (const auto& [folder, inputs] : sets) WriteAll(fs::path(argv[1]) / folder, inputs);
  return 0;
}

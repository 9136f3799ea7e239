#include <cstdint>
#include <map>
#include <vector>

#include <gtest/gtest.h>

#include "base/archive.h"
#include "base/code_page.h"
#include "builder/tag_cache.h"
#include "settings/memory_registry_store.h"
#include "support/test_support.h"

namespace auralith {
namespace {

class TagCacheDamageTest : public ::testing::Test {
 protected:
  void SetUp() override { settings._4_format.Set("%3 %4"); }

  // Reads `bytes` as the cache and checks what any result must satisfy:
  // keys and paths agree, nothing is seen yet, and the records hold no more
  // text than the bytes could carry.
  std::map<std::string, std::string> Parse(const std::string& bytes) {
    const PathTable table = ParseTagCache(bytes, settings, 7);
    std::map<std::string, std::string> keyToArtist;
    std::size_t text = 0;
    for (const auto& [key, record] : table) {
      EXPECT_EQ(record->path, key);
      EXPECT_EQ(record->seen, 0);
      text += 2 * key.size() + record->artist.size() + record->album.size() + record->title.size() +
              record->track.size();
      keyToArtist[key] = record->artist;
    }
    EXPECT_LE(text, 2 * bytes.size());
    return keyToArtist;
  }

  std::string SmallCache() {
    PathTable table;
    for (const char* path : {"one.mp3", "two.ogg", "three.wav"}) {
      table[path] = std::make_unique<AFileInfo>(AFileInfo{path, "Artist", "", path, "", 61, 1, 1'000'000'000, 1234});
    }
    EXPECT_TRUE(SaveTagCache(cache, settings, table));
    return testing::ReadFile(cache);
  }

  MemoryRegistryStore store;
  Settings settings{store};
  testing::TempDir dir;
  std::string cache = dir / "Auralith.archive";
};

TEST_F(TagCacheDamageTest, EveryTruncationGivesAnEmptyTable) {
  const std::string full = SmallCache();
  ASSERT_EQ(Parse(full).size(), 3u);
  for (std::size_t length = 0; length < full.size(); ++length)
    ASSERT_TRUE(Parse(full.substr(0, length)).empty()) << "cut at " << length;
}

// Pieces of hand-written caches, to reach what our writer never writes.
constexpr auto Le = testing::LittleEndian;
std::string Text(const std::string& s) {
  ArchiveWriter out;
  out.WriteText(s);
  return out.Take();
}
std::string Count(std::uint64_t n) {
  ArchiveWriter out;
  out.WriteCount(n);
  return out.Take();
}
std::string Class(const std::string& name, std::uint16_t schema) {
  return "\xFF\xFF" + Le(schema, 2) + Le(name.size(), 2) + name;
}
std::string Head(std::uint64_t count, const std::string& mapClass = Class("CMapStringToOb", 0)) {
  return std::string(12, '\0') + Text("%3 %4") + mapClass + Count(count);
}
std::string Body(const std::string& path, const std::string& artist = "A") {
  return Text(path) + Text(artist) + Text("Al") + Text("T") + Text("1") + Le(5, 4) + Le(1, 4) + Le(10, 8) + Le(20, 8);
}
const std::string kRecord = Class("AFileInfo", 1);
// Two entries, the second introduced by `tag`.
std::string Second(const std::string& tag) {
  return Head(2) + Text("k1") + kRecord + Body("k1") + Text("k2") + tag + Body("k2");
}

TEST_F(TagCacheDamageTest, HandWrittenCachesLoadOnlyWhenSound) {
  using Keys = std::map<std::string, std::string>;
  const Keys both{{"k1", "A"}, {"k2", "A"}};
  const std::string wideKey = std::string("\xFF\xFE\xFF\x02\xE9\x00!\x00", 8);
  const std::string cut = Head(1) + Text("k1") + kRecord + Body("k1");
  struct Case {
    const char* name;
    std::string bytes;
    Keys keyToArtist;  // empty: nothing is loaded
  };
  const Case cases[] = {
      {"class back-reference", Second("\x03\x80"), both},
      {"big class back-reference", Second(std::string("\xFF\x7F\x03\0\0\x80", 6)), both},
      {"key stored twice: the later record wins",
       Head(2) + Text("k") + kRecord + Body("k", "old") + Text("k") + "\x03\x80" + Body("k", "new"), {{"k", "new"}}},
      {"key differs from the record's path: the key holds", Head(1) + Text("key") + kRecord + Body("elsewhere"),
       {{"key", "A"}}},
      {"key stored as UTF-16", Head(1) + wideKey + kRecord + Body("x"), {{Utf8ToAnsi("\xC3\xA9!"), "A"}}},
      {"map of another class", Head(0, Class("CMapStringToString", 0)), {}},
      {"map with schema 1", Head(0, Class("CMapStringToOb", 1)), {}},
      {"null instead of the map", Head(0, std::string(2, '\0')), {}},
      {"count 0xFFFFFFFF with 10 bytes", Head(0xFFFFFFFF) + "0123456789", {}},
      {"count larger than the entries", Head(2) + Text("k1") + kRecord + Body("k1"), {}},
      {"record of an unknown class", Head(1) + Text("k1") + Class("BFileInfo", 1) + Body("k1"), {}},
      {"record with schema 2", Head(1) + Text("k1") + Class("AFileInfo", 2) + Body("k1"), {}},
      {"record cut before the end of its time", cut.substr(0, cut.size() - 4), {}},
      {"null record", Second(std::string(2, '\0')), {}},
      {"record shared with the first key", Second(std::string("\x04\0", 2)), {}},
      {"the map as a record", Second(std::string("\x02\0", 2)), {}},
      {"record of the map's class", Second("\x01\x80"), {}},
      {"class back-reference to a record", Second("\x04\x80"), {}},
      {"class back-reference past the end", Second("\x09\x80"), {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Parse(c.bytes), c.keyToArtist) << c.name;
}

}  // namespace
}  // namespace auralith

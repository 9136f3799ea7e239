#include "builder/tag_cache.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "base/archive.h"
#include "base/code_page.h"
#include "base/path.h"
#include "settings/memory_registry_store.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using testing::FileExists;
using testing::ReadFile;

constexpr auto Le = testing::LittleEndian;
std::string Text(const std::string& s) { return std::string(1, static_cast<char>(s.size())) + s; }
std::string Class(const std::string& name, std::uint16_t schema) {
  return "\xFF\xFF" + Le(schema, 2) + Le(name.size(), 2) + name;
}
// The settings of TagCacheTest, then the map and its entry count.
std::string Head(std::uint16_t count, const std::string& map = Class("CMapStringToOb", 0)) {
  return Le(2, 4) + Le(1, 4) + Le(0, 4) + Text("%1 - %4") + map + Le(count, 2);
}
// What Record(path) is stored as, after its key and class tag.
std::string Body(const std::string& path, const std::string& artist = "Ar") {
  return Text(path) + Text(artist) + Text("Al") + Text("T") + Text("5/12") + Le(201, 4) + Le(1, 4) +
         Le(0x1122334455, 8) + Le(0x60000000, 8);
}
const std::string kRecordClass = Class("AFileInfo", 1);

AFileInfo Record(const std::string& path) {
  return AFileInfo{path, "Ar", "Al", "T", "5/12", 201, 1, 0x60000000, 0x1122334455};
}

PathTable MakeTable(const std::vector<AFileInfo>& records) {
  PathTable table;
  for (const AFileInfo& r : records) table.Insert(std::make_unique<AFileInfo>(r));
  return table;
}

std::map<std::string, AFileInfo> Contents(const PathTable& table) {
  std::map<std::string, AFileInfo> out;
  for (const auto& [key, record] : table) out[std::string(key)] = *record;
  return out;
}

class TagCacheTest : public ::testing::Test {
 protected:
  TagCacheTest() { Configure(settings); }
  static void Configure(Settings& s) {
    s._4_organizationnum.Set(2);
    s._4_id3.Set(1);
    s._4_prefix.Set(0);
    s._4_format.Set("%1 - %4");
  }
  std::map<std::string, std::string> Parse(const std::string& bytes) {
    std::map<std::string, std::string> keyToArtist;
    for (const auto& [key, record] : ParseTagCache(bytes, settings, 7)) keyToArtist[std::string(key)] = record->artist;
    return keyToArtist;
  }

  MemoryRegistryStore store;
  Settings settings{store};
  testing::TempDir dir;
  std::string cache = dir / "Auralith.archive";
};

TEST_F(TagCacheTest, RoundTripKeepsEveryByteAndClearsSeen) {
  const AFileInfo hostile{std::string("A\0B\xFF\xFE", 5), std::string(0xFF, '\xFF'), std::string(0xFFFE, '\0'),
                          std::string(70'000, 't'), "", std::numeric_limits<std::int32_t>::min(), 1,
                          std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::uint64_t>::max()};
  AFileInfo plain = Record(testing::Native("Artist/Album/01 - Song.mp3"));
  plain.modified = std::numeric_limits<std::int64_t>::max();

  // Enough records that the file is read in several pieces, split anywhere.
  std::vector<AFileInfo> records{hostile, plain, Record("")};
  for (int i = 0; i < 3000; ++i) records.push_back(Record("r" + std::string(i % 97, 'x') + std::to_string(i)));
  const PathTable table = MakeTable(records);
  ASSERT_TRUE(SaveTagCache(cache, settings, table));
  auto expected = Contents(table);
  for (auto& [key, record] : expected) record.seen = 0;
  EXPECT_EQ(Contents(LoadTagCache(cache, settings, 0)), expected);
}

TEST_F(TagCacheTest, FileLayoutIsByteExactAndKeyOrdered) {
  ASSERT_TRUE(SaveTagCache(cache, settings, MakeTable({})));
  EXPECT_EQ(ReadFile(cache), Head(0));

  // Later records refer to their class at index 3 (null 0, map class 1, map 2); the fill order must not change a byte.
  std::vector<AFileInfo> records;
  for (int i = 0; i < 200; ++i) records.push_back(Record("t" + std::to_string(i * 7919 % 200 + 100)));
  PathTable forward = MakeTable(records);
  std::reverse(records.begin(), records.end());
  PathTable backward = MakeTable(records);
  backward.reserve(4096);
  std::string expected = Head(200) + Text("t100") + kRecordClass + Body("t100");
  for (int i = 101; i < 300; ++i) expected += Text("t" + std::to_string(i)) + "\x03\x80" + Body("t" + std::to_string(i));
  for (const PathTable* table : {&forward, &backward}) {
    ASSERT_TRUE(SaveTagCache(cache, settings, *table));
    EXPECT_EQ(ReadFile(cache), expected);
  }
}

TEST_F(TagCacheTest, AnyChangedSettingDiscardsTheCache) {
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"4_organizationnum", [&] { settings._4_organizationnum.Set(3); }},
      {"4_id3", [&] { settings._4_id3.Set(0); }},
      {"4_prefix", [&] { settings._4_prefix.Set(1); }},
      {"4_format", [&] { settings._4_format.Set("%1 - %4 "); }},
      // Stored behind the binding's back: the pattern is read afresh.
      {"4_format in the registry only",
       [&] { store.Set(Hive::CurrentUser, kSettingsKey, "4_format", RegValue{kRegSz, std::string("%4\0", 3)}); }},
  };
  for (const auto& [name, change] : cases) {
    Configure(settings);
    ASSERT_TRUE(SaveTagCache(cache, settings, MakeTable({Record("x"), Record("y")})));
    ASSERT_EQ(LoadTagCache(cache, settings, 5).size(), 2u);
    change();
    EXPECT_TRUE(LoadTagCache(cache, settings, 5).empty()) << name;
  }
}

TEST_F(TagCacheTest, MissingOversizedOrTruncatedFileGivesAnEmptyTable) {
  EXPECT_TRUE(LoadTagCache(cache, settings, 3).empty());
  ASSERT_TRUE(SaveTagCache(cache, settings, MakeTable({Record("one.mp3"), Record("two.ogg"), Record("three")})));
  const std::string full = ReadFile(cache);
  ASSERT_EQ(Parse(full).size(), 3u);
  for (std::size_t length = 0; length < full.size(); ++length)
    ASSERT_TRUE(Parse(full.substr(0, length)).empty()) << "cut at " << length;
  // Sparse zeros one byte past the limit: only its size makes it unreadable.
  std::filesystem::resize_file(cache, kMaxTagCacheBytes + 1);
  EXPECT_TRUE(LoadTagCache(cache, settings, 3).empty());
}

// Caches our writer never writes load only when sound (the fuzzer checks keys).
TEST_F(TagCacheTest, HandWrittenCaches) {
  using Keys = std::map<std::string, std::string>;
  const std::string wideKey = std::string("\xFF\xFE\xFF\x02\xE9\x00!\x00", 8);
  const std::tuple<const char*, std::string, Keys> cases[] = {
      {"key stored twice: the later record wins",
       Head(2) + Text("k") + kRecordClass + Body("k", "old") + Text("k") + "\x03\x80" + Body("k", "new"),
       {{"k", "new"}}},
      {"key stored as UTF-16", Head(1) + wideKey + kRecordClass + Body("x"), {{Utf8ToAnsi("\xC3\xA9!"), "Ar"}}},
      {"null instead of the map", Head(0, std::string(2, '\0')), {}},
      {"record of an unknown class", Head(1) + Text("k1") + Class("BFileInfo", 1) + Body("k1"), {}},
      {"record with schema 2", Head(1) + Text("k1") + Class("AFileInfo", 2) + Body("k1"), {}},
      {"record shared with the first key",
       Head(2) + Text("k1") + kRecordClass + Body("k1") + Text("k2") + std::string("\x04\0", 2) + Body("k2"), {}},
  };
  for (const auto& [name, bytes, keyToArtist] : cases) EXPECT_EQ(Parse(bytes), keyToArtist) << name;
}

TEST_F(TagCacheTest, FailedSaveLeavesThePreviousCacheAndNoTemporaryFile) {
  ASSERT_TRUE(SaveTagCache(cache, settings, MakeTable({Record("old")})));
  const std::string before = ReadFile(cache);
  const PathTable next = MakeTable({Record("new"), Record("newer")});
  // The temporary file cannot be made, or not renamed into place.
  testing::MakeDirectories(cache + ".tmp" + kPathSeparator + "blocker");
  EXPECT_FALSE(SaveTagCache(cache, settings, next));
  EXPECT_EQ(ReadFile(cache), before);
  testing::RemoveTree(cache + ".tmp");
  testing::MakeDirectories(dir / "occupied/inside");
  EXPECT_FALSE(SaveTagCache(dir / "occupied", settings, next));
  EXPECT_FALSE(FileExists(dir / "occupied.tmp"));

  // A temporary file left by a crash does not stop the next save.
  testing::WriteFile(cache + ".tmp", "stale");
  EXPECT_TRUE(SaveTagCache(cache, settings, next));
  EXPECT_FALSE(FileExists(cache + ".tmp"));
  EXPECT_EQ(LoadTagCache(cache, settings, 0).size(), 2u);
}

using namespace std::string_literals;
using Ref = ArchiveReader::ObjectRef;
using Kind = Ref::Kind;

auto Fields(const Ref& ref) { return std::tuple(ref.kind, ref.knownClass, ref.index); }

// count, its form, the least bytes per element, whether the 10 bytes after it hold that many
TEST(ArchiveCount, TakesEachFormAndMustFitTheBytesLeft) {
  const std::tuple<std::uint64_t, std::string, std::uint64_t, bool> cases[] = {
      {5, "\x05\0"s, 2, true}, {6, "\x06\0"s, 2, false},
      {0xFFFF, "\xFF\xFF\xFF\xFF\0\0"s, 0, true},
      {0xFFFFFFFF, "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\0\0\0\0"s, 0, true},
      {std::uint64_t{1} << 63, "\xFF\xFF\xFF\xFF\xFF\xFF\0\0\0\0\0\0\0\x80"s, 1, false},
  };
  for (const auto& [count, form, minElementBytes, ok] : cases) {
    SCOPED_TRACE(count);
    ArchiveWriter out;
    out.WriteCount(count);
    EXPECT_EQ(out.bytes(), form);
    const std::string bytes = form + "0123456789";
    ArchiveReader in(bytes);
    std::uint64_t read = 7;
    ASSERT_EQ(in.ReadCount(&read, minElementBytes), ok);
    EXPECT_EQ(read, ok ? count : 7u);
  }
}

constexpr ArchiveClass kX{"X", 1};
constexpr ArchiveClass kY{"Y", 0};
const ArchiveClass kBoth[] = {kX, kY};

// From index 0x7FFF a reference takes the DWORD form (class bit 0x80000000).
TEST(ArchiveObjects, IndicesFrom0x7FFFTakeTheBigForm) {
  std::vector<char> objects(0x8000);
  ArchiveWriter out;
  for (std::uint32_t i = 0; i < 0x7FFD; ++i) out.BeginObject(kX, &objects[i]);  // class 1, objects 2..0x7FFE
  // The class and object begun, the bytes written, the reference read back.
  const std::tuple<const ArchiveClass*, std::size_t, std::string, Ref> steps[] = {
      {&kX, 0x7FFC, "\xFE\x7F"s, {Kind::Existing, 0, 0x7FFE}},
      {&kX, 0x7FFD, "\x01\x80"s, {Kind::New, 0, 0x7FFF}},
      {&kX, 0x7FFD, "\xFF\x7F\xFF\x7F\0\0"s, {Kind::Existing, 0, 0x7FFF}},
      {&kY, 0x7FFE, "\xFF\xFF\0\0\x01\0Y"s, {Kind::New, 1, 0x8001}},  // class 0x8000
      {&kY, 0x7FFF, "\xFF\x7F\0\x80\0\x80"s, {Kind::New, 1, 0x8002}},
      {&kY, 0x7FFF, "\xFF\x7F\x02\x80\0\0"s, {Kind::Existing, 1, 0x8002}},
  };
  for (const auto& [cls, object, bytes, ref] : steps) {
    const std::size_t at = out.bytes().size();
    out.BeginObject(*cls, &objects[object]);
    EXPECT_EQ(out.bytes().substr(at), bytes) << ref.index;
  }

  ArchiveReader in(out.bytes());
  Ref ref;
  for (std::uint32_t i = 0; i < 0x7FFD; ++i) ASSERT_TRUE(in.ReadObject(kBoth, &ref) && ref.index == i + 2);
  for (const auto& [cls, object, bytes, expected] : steps) {
    ASSERT_TRUE(in.ReadObject(kBoth, &ref)) << expected.index;
    EXPECT_EQ(Fields(ref), Fields(expected));
  }
}

}  // namespace
}  // namespace auralith

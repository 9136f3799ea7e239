#include "builder/tag_cache.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <map>
#include <vector>

#include <gtest/gtest.h>

#include "base/path.h"
#include "platform/native.h"
#include "settings/memory_registry_store.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using testing::FileExists;
using testing::MakeDirectories;
using testing::ReadFile;

constexpr auto Le = testing::LittleEndian;
std::string Text(const std::string& s) { return std::string(1, static_cast<char>(s.size())) + s; }

PathTable MakeTable(const std::vector<AFileInfo>& records) {
  PathTable table;
  for (const AFileInfo& r : records) table[r.path] = std::make_unique<AFileInfo>(r);
  return table;
}

std::map<std::string, AFileInfo> Contents(const PathTable& table) {
  std::map<std::string, AFileInfo> out;
  for (const auto& [key, record] : table) out[key] = *record;
  return out;
}

AFileInfo Record(const std::string& path) {
  AFileInfo r;
  r.path = path;
  r.artist = "Ar";
  r.album = "Al";
  r.title = "T";
  r.track = "5/12";
  r.length = 201;
  r.size = 0x1122334455;
  r.modified = 0x60000000;
  return r;
}

class TagCacheTest : public ::testing::Test {
 protected:
  void SetUp() override { Configure(settings); }
  static void Configure(Settings& s) {
    s._4_organizationnum.Set(2);
    s._4_id3.Set(1);
    s._4_prefix.Set(0);
    s._4_format.Set("%1 - %4");
  }

  MemoryRegistryStore store;
  Settings settings{store};
  testing::TempDir dir;
  std::string cache = dir / "Auralith.archive";
};

TEST_F(TagCacheTest, RoundTripKeepsEveryByteAndClearsSeen) {
  AFileInfo hostile = Record(std::string("A\0B\xFF\xFE", 5));
  hostile.artist = std::string(0xFF, '\xFF');
  hostile.album = std::string(0xFFFE, '\0');
  hostile.title = std::string(70'000, 't');
  hostile.track = "";
  hostile.length = std::numeric_limits<std::int32_t>::min();
  hostile.size = std::numeric_limits<std::uint64_t>::max();
  hostile.modified = std::numeric_limits<std::int64_t>::min();
  AFileInfo plain = Record(testing::Native("Artist/Album/01 - Song.mp3"));
  plain.modified = std::numeric_limits<std::int64_t>::max();

  const PathTable table = MakeTable({hostile, plain, Record("")});
  ASSERT_TRUE(SaveTagCache(cache, settings, table));
  auto expected = Contents(table);
  for (auto& [key, record] : expected) record.seen = 0;
  EXPECT_EQ(Contents(LoadTagCache(cache, settings, 0)), expected);
}

TEST_F(TagCacheTest, UnchangedTableIsSavedAsTheSameBytesAndLeftAlone) {
  // Tables filled in different orders hold their entries in different
  // orders; the saved bytes must not depend on that.
  std::vector<AFileInfo> records;
  for (int i = 0; i < 500; ++i) records.push_back(Record("track" + std::to_string(i * 7919 % 500) + ".mp3"));
  ASSERT_TRUE(SaveTagCache(cache, settings, MakeTable(records)));
  const std::string first = ReadFile(cache);
  std::reverse(records.begin(), records.end());
  PathTable reversed = MakeTable(records);
  reversed.rehash(4096);
  testing::SetModified(cache, 1000000);
  ASSERT_TRUE(SaveTagCache(cache, settings, reversed));
  EXPECT_EQ(ReadFile(cache), first);
  NativeFileSystem fs;
  FileStatus status;
  ASSERT_TRUE(fs.Status(cache, &status));
  EXPECT_EQ(status.modified, 1000000);
}

TEST_F(TagCacheTest, FileLayoutIsByteExact) {
  const std::string start = Le(2, 4) + Le(1, 4) + Le(0, 4) + Text("%1 - %4") + "\xFF\xFF" + Le(0, 2) + Le(14, 2) +
                            "CMapStringToOb";
  const std::string recordClass = "\xFF\xFF" + Le(1, 2) + Le(9, 2) + "AFileInfo";
  auto body = [](const std::string& path) {
    return Text(path) + Text("Ar") + Text("Al") + Text("T") + Text("5/12") + Le(201, 4) + Le(1, 4) +
           Le(0x1122334455, 8) + Le(0x60000000, 8);
  };

  ASSERT_TRUE(SaveTagCache(cache, settings, MakeTable({})));
  EXPECT_EQ(ReadFile(cache), start + Le(0, 2));

  // A later record refers back to its class at index 3 (null 0, map class 1,
  // map 2); the order of the entries is the table's own.
  ASSERT_TRUE(SaveTagCache(cache, settings, MakeTable({Record("a"), Record("b")})));
  const std::string written = ReadFile(cache);
  auto two = [&](const std::string& first, const std::string& second) {
    return start + Le(2, 2) + Text(first) + recordClass + body(first) + Text(second) + "\x03\x80" + body(second);
  };
  EXPECT_TRUE(written == two("a", "b") || written == two("b", "a"));
}

TEST_F(TagCacheTest, AnyChangedSettingDiscardsTheCache) {
  struct Case {
    const char* name;
    void (*change)(Settings&, MemoryRegistryStore&);
    std::size_t kept;
  };
  const Case cases[] = {
      {"nothing", [](Settings&, MemoryRegistryStore&) {}, 2},
      {"4_organizationnum", [](Settings& s, MemoryRegistryStore&) { s._4_organizationnum.Set(3); }, 0},
      {"4_id3", [](Settings& s, MemoryRegistryStore&) { s._4_id3.Set(0); }, 0},
      {"4_prefix", [](Settings& s, MemoryRegistryStore&) { s._4_prefix.Set(1); }, 0},
      {"4_format", [](Settings& s, MemoryRegistryStore&) { s._4_format.Set("%1 - %4 "); }, 0},
      // Stored behind the binding's back: the pattern is read afresh.
      {"4_format in the registry only",
       [](Settings&, MemoryRegistryStore& r) {
         r.Set(Hive::CurrentUser, kSettingsKey, "4_format", RegValue{kRegSz, std::string("%4\0", 3)});
       },
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryRegistryStore runStore;
    Settings run(runStore);
    Configure(run);
    ASSERT_TRUE(SaveTagCache(cache, run, MakeTable({Record("x"), Record("y")})));
    c.change(run, runStore);
    EXPECT_EQ(LoadTagCache(cache, run, 5).size(), c.kept);
  }
}

TEST_F(TagCacheTest, MissingOrOversizedFileGivesAnEmptyTable) {
  EXPECT_TRUE(LoadTagCache(cache, settings, 3).empty());
  // A sound cache followed by zeros up to one byte past the limit (sparse, so
  // nothing is written): only its size makes it unreadable.
  ASSERT_TRUE(SaveTagCache(cache, settings, MakeTable({Record("x")})));
  std::filesystem::resize_file(cache, kMaxTagCacheBytes + 1);
  EXPECT_TRUE(LoadTagCache(cache, settings, 3).empty());
}

TEST_F(TagCacheTest, FailedSaveLeavesThePreviousCacheAndNoTemporaryFile) {
  ASSERT_TRUE(SaveTagCache(cache, settings, MakeTable({Record("old")})));
  const std::string before = ReadFile(cache);
  const PathTable next = MakeTable({Record("new"), Record("newer")});

  EXPECT_FALSE(SaveTagCache(dir / "missing/Auralith.archive", settings, next));
  EXPECT_FALSE(FileExists(dir / "missing"));

  // The temporary file cannot be made: the old cache stays byte for byte.
  MakeDirectories(cache + ".tmp" + kPathSeparator + "blocker");
  EXPECT_FALSE(SaveTagCache(cache, settings, next));
  EXPECT_EQ(ReadFile(cache), before);
  testing::RemoveTree(cache + ".tmp");

  // The rename fails (a folder stands where the cache goes): the temporary
  // file goes again.
  const std::string occupied = dir / "occupied";
  MakeDirectories(occupied + kPathSeparator + "inside");
  EXPECT_FALSE(SaveTagCache(occupied, settings, next));
  EXPECT_FALSE(FileExists(occupied + ".tmp"));

  // A temporary file left by a crash does not stop the next save.
  testing::WriteFile(cache + ".tmp", "stale");
  EXPECT_TRUE(SaveTagCache(cache, settings, next));
  EXPECT_FALSE(FileExists(cache + ".tmp"));
  EXPECT_EQ(LoadTagCache(cache, settings, 0).size(), 2u);
}

}  // namespace
}  // namespace auralith

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "settings/memory_registry_store.h"
#include "settings/registry_binding.h"

namespace auralith {
namespace {

// A registry whose reads and writes can be made to fail, counting the calls
// that reach it.
class FlakyStore : public RegistryStore {
 public:
  bool Query(Hive hive, const std::string& key, const std::string& name, RegValue* value) override {
    ++queries;
    return !failQueries && inner.Query(hive, key, name, value);
  }
  bool Set(Hive hive, const std::string& key, const std::string& name, const RegValue& value) override {
    ++sets;
    return !failSets && inner.Set(hive, key, name, value);
  }
  bool DeleteTree(Hive hive, const std::string& key) override { return inner.DeleteTree(hive, key); }

  void Put(const std::string& name, std::uint32_t type, const std::string& data) {
    inner.Set(Hive::CurrentUser, "K", name, RegValue{type, data});
  }
  RegValue Stored(const std::string& name) {
    RegValue value{0, "<missing>"};
    inner.Query(Hive::CurrentUser, "K", name, &value);
    return value;
  }

  MemoryRegistryStore inner;
  bool failQueries = false;
  bool failSets = false;
  int queries = 0;
  int sets = 0;
};

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }
std::string Le(std::uint32_t n) {
  return {static_cast<char>(n & 0xFF), static_cast<char>(n >> 8 & 0xFF), static_cast<char>(n >> 16 & 0xFF),
          static_cast<char>(n >> 24 & 0xFF)};
}

TEST(RegistryBindingTest, ConstructionReadsOnceAndCachesWhatExists) {
  FlakyStore store;
  store.Put("v", kRegSz, Sz("stored"));
  RegistryString present(store, "K\\v", "dflt");
  EXPECT_EQ(store.queries, 1);
  EXPECT_TRUE(present.valid());
  EXPECT_EQ(present.cached(), "stored");
  EXPECT_EQ(present.Get(), "stored");
  EXPECT_EQ(store.queries, 1) << "a valid value answers from memory";

  RegistryString missing(store, "K\\absent", "dflt");
  EXPECT_FALSE(missing.valid());
  EXPECT_EQ(missing.cached(), "");
  EXPECT_EQ(missing.Get(), "dflt");
  EXPECT_EQ(missing.Get(), "dflt");
  EXPECT_EQ(store.queries, 4) << "a missing value is looked for on every Get";
  EXPECT_EQ(store.sets, 0);
  // ... and is picked up once it appears.
  store.Put("absent", kRegSz, Sz("late"));
  EXPECT_EQ(missing.Get(), "late");
  EXPECT_TRUE(missing.valid());
}

TEST(RegistryBindingTest, SetWritesOnlyWhenTheCachedValueChanges) {
  FlakyStore store;
  store.Put("v", kRegSz, Sz("a"));
  RegistryString text(store, "K\\v");
  text.Set("a");
  EXPECT_EQ(store.sets, 0);
  // Only the cache is compared, not the registry's content.
  store.Put("v", kRegSz, Sz("changed elsewhere"));
  text.Set("a");
  EXPECT_EQ(store.sets, 0);
  EXPECT_EQ(store.Stored("v").data, Sz("changed elsewhere"));
  text.Set("A");  // case counts
  EXPECT_EQ(store.sets, 1);
  EXPECT_EQ(store.Stored("v").data, Sz("A"));
}

TEST(RegistryBindingTest, NoCacheReadsAndWritesEveryTime) {
  FlakyStore store;
  RegistryString protocol(store, "K\\Url Protocol", "", true);
  protocol.Set("");
  protocol.Set("");
  EXPECT_EQ(store.sets, 2);
  store.Put("Url Protocol", kRegSz, Sz("edited"));
  const int before = store.queries;
  EXPECT_EQ(protocol.Get(), "edited");
  EXPECT_EQ(store.queries, before + 1);
}

TEST(RegistryBindingTest, FailedWriteOfANeverValidValueFallsBackToTheRegistryOnGet) {
  struct Case {
    const char* stored;  // null: missing
    const char* expectGet;
  };
  for (const Case& c : {Case{nullptr, "dflt"}, Case{"on disk", "on disk"}}) {
    SCOPED_TRACE(c.stored ? c.stored : "(missing)");
    FlakyStore store;
    store.failQueries = true;  // so construction leaves the binding invalid
    RegistryString text(store, "K\\v", "dflt");
    store.failQueries = false;
    store.failSets = true;
    if (c.stored) store.Put("v", kRegSz, Sz(c.stored));
    text.Set("new");
    EXPECT_EQ(text.cached(), "new") << "the value set stays in memory";
    EXPECT_FALSE(text.valid());
    EXPECT_EQ(text.Get(), c.expectGet);
    EXPECT_EQ(store.Stored("v").data, c.stored ? Sz(c.stored) : "<missing>");
  }
}

TEST(RegistryBindingTest, FailuresOfAValidValueKeepTheCache) {
  FlakyStore store;
  store.Put("n", kRegDword, Le(1));
  RegistryDword number(store, "K\\n", 9);
  store.failSets = true;
  number.Set(5);
  EXPECT_EQ(number.Get(), 5u) << "a failed write keeps the new value in memory";
  EXPECT_EQ(store.Stored("n").data, Le(1));
  store.failQueries = true;
  EXPECT_EQ(number.Read(), 9u) << "a failed read gives the default";
  EXPECT_EQ(number.cached(), 5u);
  EXPECT_EQ(number.Get(), 5u);
}

TEST(RegistryBindingTest, WriteEncodesTextWithItsNulAndNumbersAsFourBytes) {
  FlakyStore store;
  RegistryString text(store, "K\\t");
  RegistryDword number(store, "K\\n");
  text.Set("abc");
  number.Set(0x0A0B0C0D);
  EXPECT_EQ(store.Stored("t").type, kRegSz);
  EXPECT_EQ(store.Stored("t").data, Sz("abc"));
  EXPECT_EQ(store.Stored("n").type, kRegDword);
  EXPECT_EQ(store.Stored("n").data, std::string("\x0D\x0C\x0B\x0A", 4));
  EXPECT_TRUE(text.valid());
  EXPECT_TRUE(number.valid());

  // Write stores the cache even when it did not change.
  store.Put("t", kRegSz, Sz("other"));
  text.Write();
  EXPECT_EQ(store.Stored("t").data, Sz("abc"));
}

TEST(RegistryBindingTest, TextIsTheDataUpToTheFirstNulWhateverTheType) {
  struct Case {
    std::uint32_t type;
    std::string data;
    std::string expected;
  };
  const Case cases[] = {{kRegSz, Sz("abc"), "abc"},
                        {kRegSz, Sz(""), ""},
                        {kRegSz, "abc", "abc"},
                        {kRegSz, std::string("ab\0cd\0", 6), "ab"},
                        {kRegSz, "", ""},
                        {kRegDword, std::string("xy\0\0", 4), "xy"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.data));
    FlakyStore store;
    store.Put("v", c.type, c.data);
    RegistryString text(store, "K\\v", "dflt");
    EXPECT_TRUE(text.valid());
    EXPECT_EQ(text.Get(), c.expected);
  }
}

TEST(RegistryBindingTest, NumberIsReadIntoAFourByteBuffer) {
  struct Case {
    std::uint32_t type;
    std::string data;
    bool readable;
    std::uint32_t expected;
  };
  const Case cases[] = {{kRegDword, Le(0x12345678), true, 0x12345678},
                        {kRegDword, Le(0xFFFFFFFF), true, 0xFFFFFFFF},
                        {kRegBinary, "\x05", true, 5},  // short data fill the front
                        {kRegSz, Sz("ab\x01"), true, 0x00016261},
                        {kRegBinary, "12345", false, 99},
                        {11, std::string(8, '\0'), false, 99}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.data));
    FlakyStore store;
    store.Put("n", c.type, c.data);
    RegistryDword number(store, "K\\n", 99);
    EXPECT_EQ(number.valid(), c.readable);
    EXPECT_EQ(number.Get(), c.expected);
  }
}

}  // namespace
}  // namespace auralith

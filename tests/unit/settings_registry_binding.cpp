#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "settings/memory_registry_store.h"
#include "settings/registry_binding.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using testing::LittleEndian;

struct FlakyStore : MemoryRegistryStore {
  bool Query(Hive hive, const std::string& key, const std::string& name, RegValue* value) override {
    ++queries;
    return !failQueries && MemoryRegistryStore::Query(hive, key, name, value);
  }
  bool Set(Hive hive, const std::string& key, const std::string& name, const RegValue& value) override {
    ++sets;
    return !failSets && MemoryRegistryStore::Set(hive, key, name, value);
  }
  void Put(const std::string& name, std::uint32_t type, const std::string& data) {
    MemoryRegistryStore::Set(Hive::CurrentUser, "K", name, RegValue{type, data});
  }
  bool failQueries = false, failSets = false;
  int queries = 0, sets = 0;
};

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

TEST(RegistryBindingTest, AValidValueAnswersFromMemoryAndSetWritesOnlyChanges) {
  FlakyStore store;
  store.Put("v", kRegSz, Sz("a"));
  RegistryString text(store, "K\\v", "dflt");
  text.Set("a");
  // Only the cache is compared and answered from, not the registry's content.
  store.Put("v", kRegSz, Sz("changed elsewhere"));
  text.Set("a");
  EXPECT_EQ(text.Get(), "a");
  EXPECT_EQ(store.queries + store.sets, 1);
  text.Set("A");  // case counts
  EXPECT_EQ(RegistryString(store, "K\\v").Get(), "A");
  // Write stores the cache even when it did not change.
  store.Put("v", kRegSz, Sz("other"));
  text.Write();
  EXPECT_EQ(RegistryString(store, "K\\v").Get(), "A");

  RegistryString missing(store, "K\\absent", "dflt");
  EXPECT_EQ(missing.Get(), "dflt");
  EXPECT_FALSE(missing.valid());
  store.Put("absent", kRegSz, Sz("late"));
  EXPECT_EQ(missing.Get(), "late") << "a missing value is looked for again";
  EXPECT_TRUE(missing.valid());

  RegistryDword number(store, "K\\n");
  number.Set(0x0A0B0C0D);
  EXPECT_EQ(RegistryDword(store, "K\\n").Get(), 0x0A0B0C0Du);
  EXPECT_TRUE(number.valid());

  // Without the cache, every Set writes and every Get reads.
  RegistryString protocol(store, "K\\Url Protocol", "", true);
  const int before = store.sets;
  protocol.Set("");
  protocol.Set("");
  EXPECT_EQ(store.sets, before + 2);
  store.Put("Url Protocol", kRegSz, Sz("edited"));
  EXPECT_EQ(protocol.Get(), "edited");
}

TEST(RegistryBindingTest, FailedWritesKeepTheNewValueInMemory) {
  FlakyStore store;
  store.failQueries = true;  // so construction leaves the binding invalid
  RegistryString text(store, "K\\v", "dflt");
  store.failQueries = false;
  store.failSets = true;
  store.Put("v", kRegSz, Sz("on disk"));
  text.Set("new");
  EXPECT_EQ(text.cached(), "new");
  EXPECT_FALSE(text.valid());
  EXPECT_EQ(text.Get(), "on disk") << "never valid: Get goes back to the registry";
  store.Put("n", kRegDword, LittleEndian(1, 4));
  RegistryDword number(store, "K\\n", 9);
  number.Set(5);
  store.failQueries = true;
  EXPECT_EQ(number.Read(), 9u) << "a failed read gives the default";
  EXPECT_EQ(number.Get(), 5u);
}

TEST(RegistryBindingTest, ReadsTextUpToTheFirstNulAndNumbersFromUpToFourBytes) {
  struct Case {
    std::uint32_t type;
    std::string data, text;
    std::uint32_t number;  // 99: unreadable, the default
  };
  const Case cases[] = {{kRegSz, Sz(""), "", 0},
                        {kRegSz, "abc", "abc", 0x00636261},
                        {kRegSz, std::string("ab\0cd\0", 6), "ab", 99},
                        {kRegDword, LittleEndian(0xFFFFFFFF, 4), "\xFF\xFF\xFF\xFF", 0xFFFFFFFF},
                        {kRegDword, std::string("xy\0\0", 4), "xy", 0x7978},
                        {kRegBinary, "\x05", "\x05", 5},
                        {11, std::string(8, '\0'), "", 99}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.data));
    FlakyStore store;
    store.Put("v", c.type, c.data);
    EXPECT_EQ(RegistryString(store, "K\\v", "dflt").Get(), c.text);
    RegistryDword number(store, "K\\v", 99);
    EXPECT_EQ(number.valid(), c.number != 99);
    EXPECT_EQ(number.Get(), c.number);
  }
}

}  // namespace
}  // namespace auralith

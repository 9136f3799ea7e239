#include <gtest/gtest.h>

#include <string>

#include "settings/memory_registry_store.h"

namespace auralith {
namespace {

RegValue Text(const std::string& text) { return RegValue{kRegSz, text + std::string(1, '\0')}; }

std::string Read(MemoryRegistryStore& store, const std::string& key, const std::string& name,
                 Hive hive = Hive::CurrentUser) {
  RegValue value;
  return store.Query(hive, key, name, &value) ? value.data : "<missing>";
}

TEST(MemoryRegistryStoreTest, NamesCompareWithoutCaseAndKeepTheirFirstSpelling) {
  MemoryRegistryStore store;
  ASSERT_TRUE(store.Set(Hive::CurrentUser, "Software\\Corvale", "Location", Text("a")));
  ASSERT_TRUE(store.Set(Hive::CurrentUser, "SOFTWARE\\corvale", "LOCATION", Text("b")));
  EXPECT_EQ(Read(store, "software\\CORVALE", "location"), Text("b").data);
  const auto& software = store.root(Hive::CurrentUser).subkeys.at("software");
  EXPECT_EQ(software.name, "Software");
  const auto& corvale = software.key->subkeys.at("corvale");
  EXPECT_EQ(corvale.name, "Corvale");
  ASSERT_EQ(corvale.key->values.size(), 1u);
  EXPECT_EQ(corvale.key->values.at("location").name, "Location");
  // The hives are apart, and the default value is a value of its own.
  ASSERT_TRUE(store.Set(Hive::ClassesRoot, "Auralith\\shell", "", Text("cmd")));
  EXPECT_EQ(Read(store, "auralith\\SHELL", "", Hive::ClassesRoot), Text("cmd").data);
  EXPECT_EQ(Read(store, "Auralith\\shell", ""), "<missing>");
  EXPECT_EQ(Read(store, "Auralith", "", Hive::ClassesRoot), "<missing>");
}

TEST(MemoryRegistryStoreTest, DeleteTreeTakesSubkeysAndLeavesSiblingsAndParent) {
  MemoryRegistryStore store;
  store.Set(Hive::CurrentUser, "Software\\Corvale\\Auralith", "v", Text("1"));
  store.Set(Hive::CurrentUser, "Software\\Corvale\\Auralith\\Deep\\Deeper", "w", Text("2"));
  store.Set(Hive::CurrentUser, "Software\\Corvale\\AuralithTest", "t", Text("3"));
  EXPECT_TRUE(store.DeleteTree(Hive::CurrentUser, "software\\corvale\\auralith"));
  EXPECT_EQ(Read(store, "Software\\Corvale\\Auralith\\Deep\\Deeper", "w"), "<missing>");
  EXPECT_EQ(Read(store, "Software\\Corvale\\AuralithTest", "t"), Text("3").data);
  EXPECT_EQ(store.root(Hive::CurrentUser).subkeys.at("software").key->subkeys.count("corvale"), 1u);
  // Missing keys and missing parents are no error; the whole hive and paths
  // with empty components are refused.
  EXPECT_TRUE(store.DeleteTree(Hive::CurrentUser, "No\\Such\\Key"));
  EXPECT_FALSE(store.DeleteTree(Hive::CurrentUser, ""));
  for (const char* key : {"\\A", "A\\", "Software\\\\Corvale"}) {
    EXPECT_FALSE(store.Set(Hive::CurrentUser, key, "v", Text("x"))) << key;
    EXPECT_FALSE(store.DeleteTree(Hive::CurrentUser, key)) << key;
  }
  EXPECT_EQ(Read(store, "Software\\Corvale\\AuralithTest", "t"), Text("3").data);
  EXPECT_EQ(store.root(Hive::CurrentUser).subkeys.size(), 1u);
}

}  // namespace
}  // namespace auralith

#include <gtest/gtest.h>

#include <string>

#include "settings/memory_registry_store.h"

namespace auralith {
namespace {

RegValue Text(const std::string& text) { return RegValue{kRegSz, text + std::string(1, '\0')}; }

std::string Read(MemoryRegistryStore& store, Hive hive, const std::string& key, const std::string& name) {
  RegValue value;
  return store.Query(hive, key, name, &value) ? value.data : "<missing>";
}

TEST(MemoryRegistryStoreTest, NamesCompareWithoutCaseAndKeepTheirFirstSpelling) {
  MemoryRegistryStore store;
  ASSERT_TRUE(store.Set(Hive::CurrentUser, "Software\\Corvale\\Auralith", "Location", Text("a")));
  ASSERT_TRUE(store.Set(Hive::CurrentUser, "SOFTWARE\\corvale\\AURALITH", "LOCATION", Text("b")));
  EXPECT_EQ(Read(store, Hive::CurrentUser, "software\\CORVALE\\auralith", "location"), Text("b").data);
  const auto& software = store.root(Hive::CurrentUser).subkeys.at("software");
  EXPECT_EQ(software.name, "Software");
  const auto& auralith = software.key->subkeys.at("corvale").key->subkeys.at("auralith");
  EXPECT_EQ(auralith.name, "Auralith");
  EXPECT_EQ(auralith.key->values.size(), 1u);
  EXPECT_EQ(auralith.key->values.at("location").name, "Location");
}

TEST(MemoryRegistryStoreTest, HivesAndDefaultValuesAreSeparate) {
  MemoryRegistryStore store;
  store.Set(Hive::ClassesRoot, "Auralith\\shell\\open\\command", "", Text("cmd"));
  store.Set(Hive::ClassesRoot, "Auralith", "Url Protocol", Text(""));
  EXPECT_EQ(Read(store, Hive::ClassesRoot, "auralith\\shell\\open\\command", ""), Text("cmd").data);
  EXPECT_EQ(Read(store, Hive::CurrentUser, "Auralith\\shell\\open\\command", ""), "<missing>");
  EXPECT_EQ(Read(store, Hive::ClassesRoot, "Auralith", ""), "<missing>");
}

TEST(MemoryRegistryStoreTest, PathsWithEmptyComponentsAreRefused) {
  MemoryRegistryStore store;
  for (const char* key : {"\\A", "A\\", "A\\\\B"}) {
    SCOPED_TRACE(key);
    EXPECT_FALSE(store.Set(Hive::CurrentUser, key, "v", Text("x")));
    EXPECT_FALSE(store.DeleteTree(Hive::CurrentUser, key));
  }
  EXPECT_TRUE(store.root(Hive::CurrentUser).subkeys.empty());
  // The whole hive cannot be deleted.
  store.Set(Hive::CurrentUser, "A", "v", Text("x"));
  EXPECT_FALSE(store.DeleteTree(Hive::CurrentUser, ""));
  EXPECT_EQ(Read(store, Hive::CurrentUser, "A", "v"), Text("x").data);
}

TEST(MemoryRegistryStoreTest, DeleteTreeTakesSubkeysAndLeavesSiblingsAndParent) {
  MemoryRegistryStore store;
  store.Set(Hive::CurrentUser, "Software\\Corvale\\Auralith", "v", Text("1"));
  store.Set(Hive::CurrentUser, "Software\\Corvale\\Auralith\\Deep\\Deeper", "w", Text("2"));
  store.Set(Hive::CurrentUser, "Software\\Corvale\\AuralithTest", "t", Text("3"));
  EXPECT_TRUE(store.DeleteTree(Hive::CurrentUser, "software\\corvale\\auralith"));
  EXPECT_EQ(Read(store, Hive::CurrentUser, "Software\\Corvale\\Auralith", "v"), "<missing>");
  EXPECT_EQ(Read(store, Hive::CurrentUser, "Software\\Corvale\\Auralith\\Deep\\Deeper", "w"), "<missing>");
  EXPECT_EQ(Read(store, Hive::CurrentUser, "Software\\Corvale\\AuralithTest", "t"), Text("3").data);
  EXPECT_EQ(store.root(Hive::CurrentUser).subkeys.at("software").key->subkeys.count("corvale"), 1u);
  // Missing keys and missing parents are no error.
  EXPECT_TRUE(store.DeleteTree(Hive::CurrentUser, "Software\\Corvale\\Auralith"));
  EXPECT_TRUE(store.DeleteTree(Hive::CurrentUser, "No\\Such\\Key"));
}

}  // namespace
}  // namespace auralith

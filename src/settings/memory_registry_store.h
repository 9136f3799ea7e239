#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "settings/registry_store.h"

namespace auralith {

// A registry held in memory: the tree that the file-backed store loads and
// saves, and the store of the tests. Names keep the case they were created
// with and compare without regard to ASCII case.
class MemoryRegistryStore : public RegistryStore {
 public:
  struct Key;
  struct NamedValue {
    std::string name;
    RegValue value;
  };
  struct NamedKey {
    std::string name;
    std::unique_ptr<Key> key;
  };
  struct Key {
    std::map<std::string, NamedValue> values;  // by folded name
    std::map<std::string, NamedKey> subkeys;   // by folded name
  };

  bool Query(Hive hive, const std::string& keyPath, const std::string& valueName,
             RegValue* value) override;
  bool Set(Hive hive, const std::string& keyPath, const std::string& valueName,
           const RegValue& value) override;
  bool DeleteTree(Hive hive, const std::string& keyPath) override;

  Key& root(Hive hive) { return hive == Hive::CurrentUser ? currentUser_ : classesRoot_; }
  const Key& root(Hive hive) const {
    return hive == Hive::CurrentUser ? currentUser_ : classesRoot_;
  }
  void Clear();

  // The key's components, or false when the path holds an empty component.
  static bool SplitKeyPath(const std::string& keyPath, std::vector<std::string>* parts);
  static std::string Fold(const std::string& name);

 private:
  Key* Find(Hive hive, const std::string& keyPath);

  Key currentUser_;
  Key classesRoot_;
};

}  // namespace auralith

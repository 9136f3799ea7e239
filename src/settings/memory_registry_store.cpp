#include "settings/memory_registry_store.h"

#include "base/strings.h"

namespace auralith {

std::string MemoryRegistryStore::Fold(const std::string& name) { return AsciiLower(name); }

bool MemoryRegistryStore::SplitKeyPath(const std::string& keyPath, std::vector<std::string>* parts) {
  parts->clear();
  if (keyPath.empty()) return true;
  std::size_t start = 0;
  for (;;) {
    const auto pos = keyPath.find('\\', start);
    const std::string part = keyPath.substr(start, pos == std::string::npos ? std::string::npos : pos - start);
    if (part.empty()) return false;
    parts->push_back(part);
    if (pos == std::string::npos) return true;
    start = pos + 1;
  }
}

MemoryRegistryStore::Key* MemoryRegistryStore::Find(Hive hive, const std::string& keyPath) {
  std::vector<std::string> parts;
  if (!SplitKeyPath(keyPath, &parts)) return nullptr;
  Key* key = &root(hive);
  for (const auto& part : parts) {
    auto it = key->subkeys.find(Fold(part));
    if (it == key->subkeys.end()) return nullptr;
    key = it->second.key.get();
  }
  return key;
}

bool MemoryRegistryStore::Query(Hive hive, const std::string& keyPath, const std::string& valueName,
                                RegValue* value) {
  Key* key = Find(hive, keyPath);
  if (!key) return false;
  auto it = key->values.find(Fold(valueName));
  if (it == key->values.end()) return false;
  *value = it->second.value;
  return true;
}

bool MemoryRegistryStore::Set(Hive hive, const std::string& keyPath, const std::string& valueName,
                              const RegValue& value) {
  std::vector<std::string> parts;
  if (!SplitKeyPath(keyPath, &parts)) return false;
  Key* key = &root(hive);
  for (const auto& part : parts) {
    auto& slot = key->subkeys[Fold(part)];
    if (!slot.key) {
      slot.name = part;
      slot.key = std::make_unique<Key>();
    }
    key = slot.key.get();
  }
  auto& slot = key->values[Fold(valueName)];
  if (slot.name.empty()) slot.name = valueName;
  slot.value = value;
  return true;
}

bool MemoryRegistryStore::DeleteTree(Hive hive, const std::string& keyPath) {
  std::vector<std::string> parts;
  if (!SplitKeyPath(keyPath, &parts) || parts.empty()) return false;
  const std::string last = parts.back();
  parts.pop_back();
  Key* parent = &root(hive);
  for (const auto& part : parts) {
    auto it = parent->subkeys.find(Fold(part));
    if (it == parent->subkeys.end()) return true;
    parent = it->second.key.get();
  }
  parent->subkeys.erase(Fold(last));
  return true;
}

void MemoryRegistryStore::Clear() {
  currentUser_ = Key();
  classesRoot_ = Key();
}

}  // namespace auralith

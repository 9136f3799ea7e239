#pragma once

#include <cstdint>
#include <string>

#include "settings/registry_store.h"

namespace auralith {

// Splits a full registry path into key and value name: leading backslashes go,
// the last backslash splits, the key loses trailing backslashes and the value
// name loses backslashes at both ends. "Auralith\shell\open\command\" names
// the default value of "Auralith\shell\open\command".
void SplitRegistryPath(const std::string& fullPath, std::string* keyPath, std::string* valueName);

// A self-loading binding to one registry value: it reads once when built,
// answers from memory afterwards and writes at the moment it changes. Every
// failure is silent: a failed read yields the default, a failed write keeps
// the new value in memory only.
template <typename T>
class RegistryBinding {
 public:
  RegistryBinding(RegistryStore& store, const std::string& fullPath, T defaultValue = T(),
                  bool noCache = false, Hive hive = Hive::CurrentUser);

  T Get();
  void Set(const T& newValue);
  T Read();
  void Write();

  Hive hive() const { return hive_; }
  const std::string& keyPath() const { return keyPath_; }
  const std::string& valueName() const { return valueName_; }
  bool valid() const { return valid_; }
  bool noCache() const { return noCache_; }
  const T& cached() const { return value_; }

 private:
  RegistryStore* store_;
  Hive hive_;
  std::string valueName_;
  std::string keyPath_;
  T value_{};
  T defaultValue_;
  bool valid_ = false;
  bool noCache_;
};

using RegistryString = RegistryBinding<std::string>;
using RegistryDword = RegistryBinding<std::uint32_t>;

extern template class RegistryBinding<std::string>;
extern template class RegistryBinding<std::uint32_t>;

}  // namespace auralith

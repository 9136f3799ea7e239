#pragma once

#include "settings/registry_store.h"

namespace auralith {

// The real registry through the ANSI calls. Every operation opens the key it
// needs and closes it again; failures are reported only as false.
class Win32RegistryStore : public RegistryStore {
 public:
  bool Query(Hive hive, const std::string& keyPath, const std::string& valueName, RegValue* value) override;
  bool Set(Hive hive, const std::string& keyPath, const std::string& valueName, const RegValue& value) override;
  bool DeleteTree(Hive hive, const std::string& keyPath) override;
};

}  // namespace auralith

#pragma once

#include <cstdint>
#include <string>

namespace auralith {

enum class Hive { CurrentUser, ClassesRoot };

// Registry value types, numbered as the Windows registry numbers them.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;

struct RegValue {
  std::uint32_t type = kRegSz;
  std::string data;  // the stored bytes; REG_SZ data include the terminating NUL
};

// The registry as the core sees it: two hives, backslash-separated key paths,
// named values and the default value (empty name). Key and value names compare
// without regard to case. Every operation opens and closes what it needs.
class RegistryStore {
 public:
  virtual ~RegistryStore() = default;

  // Reads a value. False when the key or the value is missing or cannot be
  // read.
  virtual bool Query(Hive hive, const std::string& keyPath, const std::string& valueName,
                     RegValue* value) = 0;
  // Creates the key (with missing parents) and stores the value.
  virtual bool Set(Hive hive, const std::string& keyPath, const std::string& valueName,
                   const RegValue& value) = 0;
  // Deletes the key with all its subkeys and values. A missing key is not an
  // error.
  virtual bool DeleteTree(Hive hive, const std::string& keyPath) = 0;
};

}  // namespace auralith

// The .reg text of the POSIX registry on any bytes. Whatever parses must be
// written back as text that parses to the same tree, or the next change
// through the store would lose or alter the values read.

#include "fuzz_support.h"
#include "platform/posix/file_registry_store.h"

using namespace auralith;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = fuzz::AsText(data, size);
  for (const Hive hive : {Hive::CurrentUser, Hive::ClassesRoot}) {
    MemoryRegistryStore::Key root;
    if (!FileRegistryStore::ParseHive(hive, text, &root)) {
      if (!root.values.empty() || !root.subkeys.empty()) fuzz::Violation("a refused file left values behind");
      continue;
    }
    const std::string written = FileRegistryStore::FormatHive(hive, root);
    MemoryRegistryStore::Key again;
    if (!FileRegistryStore::ParseHive(hive, written, &again)) fuzz::Violation("the written hive does not parse", written);
    if (FileRegistryStore::FormatHive(hive, again) != written) fuzz::Violation("the hive changed when read back", written);
  }
  return 0;
}

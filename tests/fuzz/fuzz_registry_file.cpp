// The .reg text of the POSIX registry on any bytes. Whatever parses, even from a file with lines that do not, must be
// written back as text that parses whole to the same tree, or the next change through the store would lose or alter the
// values read.

#include "fuzz_support.h"
#include "platform/posix/file_registry_store.h"

using namespace auralith;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (const Hive hive : {Hive::CurrentUser, Hive::ClassesRoot}) {
    MemoryRegistryStore::Key root, again;
    FileRegistryStore::ParseHive(hive, fuzz::AsText(data, size), &root);
    const std::string written = FileRegistryStore::FormatHive(hive, root);
    if (!FileRegistryStore::ParseHive(hive, written, &again) || FileRegistryStore::FormatHive(hive, again) != written)
      fuzz::Violation("the written hive does not parse whole, or reads back otherwise", written);
  }
  return 0;
}

// The tag cache loader, with the archive reader beneath it, on any bytes. What it loads must survive a save and a
// second load unchanged: a cache that loads into records the writer cannot reproduce loses them on the next run.

#include "builder/tag_cache.h"
#include "fuzz_support.h"

using namespace auralith;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::Environment env;
  Settings& settings = env.settings;
  const PathTable table = ParseTagCache(fuzz::AsText(data, size), settings, 16);
  for (const auto& [key, record] : table) {
    if (!record) fuzz::Violation("a key without a record", key);
    if (record->path != key || record->seen != 0) fuzz::Violation("a record that does not fit its key", key);
  }
  if (table.empty()) return 0;

  const std::string file = env.folder + "Auralith.archive";
  if (!SaveTagCache(file, settings, table)) fuzz::Violation("a loaded table cannot be saved");
  const PathTable again = LoadTagCache(file, settings, 0);
  if (again.size() != table.size()) fuzz::Violation("records lost in a save and load");
  for (const auto& [key, record] : table) {
    const auto found = again.find(key);
    if (found == again.end() || !(*found->second == *record))
      fuzz::Violation("a record changed in a save and load", key);
  }
  return 0;
}

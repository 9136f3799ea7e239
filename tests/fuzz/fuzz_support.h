#pragma once

// What the harnesses share: settings in memory, a scratch folder, the command line's alerts and progress (silenced),
// and the way an input that breaks a rule is reported.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "programs/console.h"
#include "settings/memory_registry_store.h"
#include "settings/settings.h"

namespace auralith::fuzz {

// Aborts, so that libFuzzer keeps the input that broke the rule.
[[noreturn]] inline void Violation(const char* rule, std::string_view detail = {}) {
  std::fprintf(stderr, "rule broken: %s\n%.*s\n", rule, static_cast<int>(detail.size()), detail.data());
  std::abort();
}

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Settings as a first run leaves them but for the tag cache header (the seeds are written under it too), and a folder
// of its own in $TMPDIR (which run_harness clears up after a crash) for the life of the process.
struct Environment {
  Environment() : settings(store) {
    folder = (std::filesystem::temp_directory_path() / "auralith-fuzz-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) Violation("no scratch folder", folder);
    folder += "/";
    settings.ResetToDefaults();
    settings._4_organizationnum.Set(3);
    settings._4_format.Set("%3 - %4");
    settings.location.Set(folder);
  }
  ~Environment() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    std::fclose(discard);
  }
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;

  MemoryRegistryStore store;
  Settings settings;
  std::string folder;  // ends in '/'
  std::FILE* discard = std::fopen("/dev/null", "w");
  ConsolePrompter prompter{discard};  // answers Yes to every question
  TerminalProgress progress{discard, false, true, 80};
};

}  // namespace auralith::fuzz

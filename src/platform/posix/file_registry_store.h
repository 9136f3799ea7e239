#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <set>
#include <string>
#include <string_view>

#include "settings/memory_registry_store.h"
#include "settings/registry_store.h"

struct stat;

namespace auralith {

// The registry of systems that have none: one file per hive
// ("HKEY_CURRENT_USER.reg", "HKEY_CLASSES_ROOT.reg") in the .reg export text
// format, UTF-8. Every change is made under an advisory lock on the current
// file content, written to a temporary file and renamed over the old one, so
// neither a crash nor a second process leaves a half-written or clobbered
// file. A line that cannot be parsed costs only itself: the rest is read, and
// the file is copied to "<name>.bak" before it is ever replaced. A file that
// is no hive file at all reads as empty and is never replaced. Failures are
// silent, except those a user must act on, which go to the complaint handler.
class FileRegistryStore : public RegistryStore {
 public:
  explicit FileRegistryStore(std::string folder);

  // $AURALITH_REGISTRY_DIR, else $XDG_CONFIG_HOME/auralith, else
  // ~/.config/auralith; "" when none of them is known.
  static std::string DefaultFolder();
  // The same choice from given values (null or empty meaning unset).
  static std::string ChooseFolder(const char* registryDir, const char* xdgConfigHome, const char* home);

  bool Query(Hive hive, const std::string& keyPath, const std::string& valueName, RegValue* value) override;
  bool Set(Hive hive, const std::string& keyPath, const std::string& valueName, const RegValue& value) override;
  bool DeleteTree(Hive hive, const std::string& keyPath) override;

  // Told, once per cause, when changes cannot be saved (the lock stays taken
  // by another process, the file is no hive file) and when a damaged file
  // was kept aside. The lock is waited for a few seconds at most.
  void SetComplaintHandler(std::function<void(const std::string&)> handler) { complaint_ = std::move(handler); }

  const std::string& folder() const { return folder_; }
  std::string FilePath(Hive hive) const;

  // The text of one hive's file, and back. Parsing never crashes on malformed
  // input: it returns false when any line was not understood, and `root`
  // holds whatever was.
  static std::string FormatHive(Hive hive, const MemoryRegistryStore::Key& root);
  static bool ParseHive(Hive hive, std::string_view text, MemoryRegistryStore::Key* root);

 private:
  // Damaged: some lines were not understood. NotAHive: nothing was.
  enum class FileState { Unknown, Missing, Loaded, Damaged, NotAHive, Unreadable };
  struct Stamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = -1;
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;
    bool operator==(const Stamp&) const = default;
  };
  struct HiveFile {
    FileState state = FileState::Unknown;
    Stamp stamp;
  };

  static Stamp StampOf(const struct stat& st);
  static Stamp StampOfFile(const std::string& path);
  template <typename Change>
  bool Modify(Hive hive, Change change);
  // Re-reads the hive's file when it is not the one last read.
  void Refresh(Hive hive);
  void Load(Hive hive);
  bool BackUpDamaged(Hive hive, std::string* backup);
  void Complain(const std::string& text);
  HiveFile& file(Hive hive) { return hive == Hive::CurrentUser ? currentUser_ : classesRoot_; }

  std::string folder_;
  MemoryRegistryStore tree_;
  HiveFile currentUser_;
  HiveFile classesRoot_;
  bool lockGivenUp_ = false;
  std::function<void(const std::string&)> complaint_;
  std::set<std::string> complained_;
};

}  // namespace auralith

#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace auralith {

struct FileStatus {
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // last write, whole seconds since 1970-01-01 UTC
};

struct DirEntry {
  std::string name;
  bool directory = false;
  bool hidden = false;
  // A file's status, when the listing delivered it for free (or nearly): it
  // then equals what Status() would report for the entry at that moment, and
  // saves a call per file. Unknown for directories and wherever the platform
  // could not tell.
  bool statusKnown = false;
  FileStatus status{};
  // A directory's node, as IdentifyNode() would give it, when the listing
  // delivered it and the entry is no link.
  bool nodeKnown = false;
  std::uint64_t node = 0;
};

// Identity of a directory on disk (device and inode, or volume serial and
// file index on Windows), used to notice a link that leads back into the
// directories being walked.
struct DirectoryId {
  std::uint64_t device = 0;
  std::uint64_t node = 0;
  bool operator==(const DirectoryId&) const = default;
};

// The file system as the core sees it. Paths are byte strings in the ANSI code
// page with the platform's separator.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Lists the entries of a directory ("." and ".." excluded), in the order the
  // platform delivers them, with the status of the files where the platform
  // has it at hand. False when the enumeration cannot be started.
  virtual bool ListDirectory(const std::string& dir, std::vector<DirEntry>* entries) = 0;
  // Identity of a directory (links followed). False when it has none.
  virtual bool Identify(const std::string& dir, DirectoryId* id) = 0;
  // The node part of the identity alone, where a platform has it much more
  // cheaply than the whole (Wine asks another process for every volume
  // serial number). Different nodes mean different directories; equal ones
  // need Identify() to tell.
  virtual bool IdentifyNode(const std::string& dir, std::uint64_t* node) {
    DirectoryId id;
    if (!Identify(dir, &id)) return false;
    *node = id.node;
    return true;
  }
  // Size and last-write time of a file. False when there is no status.
  virtual bool Status(const std::string& path, FileStatus* status) = 0;
  virtual bool Exists(const std::string& path) = 0;
  // The access check with read permission.
  virtual bool Readable(const std::string& path) = 0;
  virtual bool MakeDirectory(const std::string& path) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;
  virtual bool CopyFileTo(const std::string& from, const std::string& to) = 0;
};

}  // namespace auralith

#pragma once

#include "base/file_system.h"

namespace auralith {

// The file system through the ANSI Win32 calls, so paths are byte strings in
// the process's code page. Hidden means FILE_ATTRIBUTE_HIDDEN.
class Win32FileSystem : public FileSystem {
 public:
  bool ListDirectory(const std::string& dir, std::vector<DirEntry>* entries) override;
  bool Identify(const std::string& dir, DirectoryId* id) override;
  bool IdentifyNode(const std::string& dir, std::uint64_t* node) override;
  bool Status(const std::string& path, FileStatus* status) override;
  bool Exists(const std::string& path) override;
  bool Readable(const std::string& path) override;
  bool MakeDirectory(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  bool CopyFileTo(const std::string& from, const std::string& to) override;
};

}  // namespace auralith

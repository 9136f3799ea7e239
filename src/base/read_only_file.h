#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace auralith {

// A file opened for reading at any offset, with nothing between the caller
// and the system: no run-time library's descriptor table and no probing of
// what kind of file it is, and on Windows the position moved only when a read
// does not follow the last. Under Wine each of those is another system call
// per file. Others may read, write, rename or delete the file meanwhile.
class ReadOnlyFile {
 public:
  // `path` in the ANSI code page on Windows, as the system takes it elsewhere.
  explicit ReadOnlyFile(const std::string& path);
  ~ReadOnlyFile();
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  bool IsOpen() const;
  // Up to `count` bytes from `offset` into `into`: how many were read, 0 at
  // the end of the file, -1 on an error.
  long long ReadAt(std::int64_t offset, void* into, std::size_t count);
  // The file's size now, or -1.
  std::int64_t Size();

 private:
#ifdef _WIN32
  void* handle_;
  std::int64_t position_ = 0;
#else
  int fd_;
#endif
};

}  // namespace auralith

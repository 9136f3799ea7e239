#include "base/read_only_file.h"

#include <climits>

#ifdef _WIN32
#include <windows.h>

#include "base/code_page.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace auralith {

#ifdef _WIN32

ReadOnlyFile::ReadOnlyFile(const std::string& path)
    : handle_(CreateFileW(AnsiToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}

ReadOnlyFile::~ReadOnlyFile() {
  if (IsOpen()) CloseHandle(handle_);
}

bool ReadOnlyFile::IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

long long ReadOnlyFile::ReadAt(std::int64_t offset, void* into, std::size_t count) {
  if (!IsOpen() || offset < 0) return -1;
  // Read from the handle's own position, moved only when the caller skips:
  // under Wine a read at an explicit offset costs a call to the server after
  // it, to move that position anyway.
  if (offset != position_) {
    LARGE_INTEGER to;
    to.QuadPart = offset;
    if (!SetFilePointerEx(static_cast<HANDLE>(handle_), to, nullptr, FILE_BEGIN)) return -1;
    position_ = offset;
  }
  DWORD got = 0;
  const DWORD wanted = count > 0x7FFFF000 ? 0x7FFFF000 : static_cast<DWORD>(count);
  if (!::ReadFile(static_cast<HANDLE>(handle_), into, wanted, &got, nullptr)) {
    position_ = -1;  // unknown after a failure
    return -1;
  }
  position_ += got;
  return got;
}

std::int64_t ReadOnlyFile::Size() {
  LARGE_INTEGER size;
  if (!IsOpen() || !GetFileSizeEx(static_cast<HANDLE>(handle_), &size)) return -1;
  return size.QuadPart;
}

#else

ReadOnlyFile::ReadOnlyFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}

ReadOnlyFile::~ReadOnlyFile() {
  if (IsOpen()) ::close(fd_);
}

bool ReadOnlyFile::IsOpen() const { return fd_ >= 0; }

long long ReadOnlyFile::ReadAt(std::int64_t offset, void* into, std::size_t count) {
  if (!IsOpen() || offset < 0) return -1;
  return ::pread(fd_, into, count > SSIZE_MAX ? SSIZE_MAX : count, offset);
}

std::int64_t ReadOnlyFile::Size() {
  struct stat status;
  if (!IsOpen() || ::fstat(fd_, &status) != 0) return -1;
  return status.st_size;
}

#endif

}  // namespace auralith

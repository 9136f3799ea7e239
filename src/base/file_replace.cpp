#include "base/file_replace.h"

#include "base/text_writer.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "base/path.h"
#endif

namespace auralith {

#ifdef _WIN32

static bool WriteAll(HANDLE file, std::string_view bytes) {
  bool ok = true;
  std::size_t done = 0;
  while (ok && done < bytes.size()) {
    const std::size_t left = bytes.size() - done;
    const DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
    DWORD written = 0;
    ok = WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written > 0;
    done += written;
  }
  return ok;
}

bool ReplaceWhole(const std::string& path, std::string_view bytes, Durability durability) {
  const std::string temporary = TemporaryFor(path);
  HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = WriteAll(file, bytes);
  const bool durable = durability == Durability::kDurable;
  ok = ok && (!durable || FlushFileBuffers(file));
  ok = CloseHandle(file) && ok;
  ok = ok && MoveFileExA(temporary.c_str(), path.c_str(),
                         MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0));
  if (!ok) DeleteFileA(temporary.c_str());
  return ok;
}

bool WriteNewFile(const std::string& path, std::string_view bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = WriteAll(file, bytes);
  ok = CloseHandle(file) && ok;
  if (!ok) DeleteFileA(path.c_str());
  return ok;
}

#else

namespace {

bool WriteAll(int fd, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) return false;
    done += static_cast<std::size_t>(written);
  }
  return true;
}

// The rename is only durable once the folder's entry is on the disk as well.
// A folder that cannot be synced (some file systems refuse) still holds the
// new file, so this is not a failure.
void SyncDirectoryOf(const std::string& path) {
  std::string dir = DirectoryPart(path);
  if (dir.empty()) dir = ".";
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool ReplaceWhole(const std::string& path, std::string_view bytes, Durability durability) {
  const std::string temporary = TemporaryFor(path);
  // A temporary file left by a crash is replaced; O_EXCL then makes sure the
  // bytes go into a fresh file of our own and not through a link left there.
  ::unlink(temporary.c_str());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes);
  const bool durable = durability == Durability::kDurable;
  ok = ok && (!durable || ::fsync(fd) == 0);
  ok = ::close(fd) == 0 && ok;
  ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  if (durable) SyncDirectoryOf(path);
  return true;
}

bool WriteNewFile(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes);
  ok = ::close(fd) == 0 && ok;
  if (!ok) ::unlink(path.c_str());
  return ok;
}

#endif

std::string TemporaryFor(const std::string& path) {
  // A name the system allows, 255 bytes at most (on Windows 255 UTF-16 units,
  // never fewer than its UTF-8 bytes), may have no room for ".tmp": its stem is
  // then cut, before a character, so that the file it names can still be
  // replaced, and the temporary still ends in the name's own extension.
  constexpr std::size_t kMostNameBytes = 255;
  constexpr std::string_view kSuffix = ".tmp";
#ifdef _WIN32
  const std::size_t nameStart = path.find_last_of("/\\") + 1;
#else
  const std::size_t nameStart = path.find_last_of('/') + 1;
#endif
  const std::size_t nameBytes = path.size() - nameStart;
  if (nameBytes + kSuffix.size() <= kMostNameBytes) return path + std::string(kSuffix);
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart || path.size() - dot > kMostNameBytes / 2) dot = path.size();
  std::size_t stemEnd = nameStart + (kMostNameBytes - kSuffix.size() - (path.size() - dot));
  while (stemEnd > nameStart && (static_cast<unsigned char>(path[stemEnd]) & 0xC0) == 0x80) --stemEnd;
  return path.substr(0, stemEnd) + path.substr(dot) + std::string(kSuffix);
}

void RemoveTemporaryOf(const std::string& path) {
  const std::string temporary = TemporaryFor(path);
#ifdef _WIN32
  DeleteFileA(temporary.c_str());
#else
  ::unlink(temporary.c_str());
#endif
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, Durability durability,
                         Leftovers leftovers) {
  // A run over an unchanged library would otherwise rewrite and sync the
  // same megabytes every time.
  if (FileHolds(path, bytes)) {
    // A run stopped while it wrote this file left its temporary behind; a
    // later run that finds the content already right still owes its removal.
    if (leftovers == Leftovers::kRemove) RemoveTemporaryOf(path);
    return true;
  }
  return ReplaceWhole(path, bytes, durability);
}

}  // namespace auralith

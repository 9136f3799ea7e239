#include "platform/posix/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace auralith {

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool PosixFileSystem::ListDirectory(const std::string& dir, std::vector<DirEntry>* entries) {
  entries->clear();
  std::unique_ptr<DIR, DirCloser> handle(opendir(dir.empty() ? "." : dir.c_str()));
  if (!handle) return false;
  // Statting by name relative to the open directory spares the kernel the
  // walk down the whole path for every file.
  const int fd = dirfd(handle.get());
  while (const dirent* entry = readdir(handle.get())) {
    const char* name = entry->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    DirEntry item;
    item.name = name;
    item.hidden = name[0] == '.';
    // Links are followed: a link to a directory is listed as one, a link to
    // a file with the status of its target, as Status() reports it. A
    // visible directory is looked at too, for its node: relative to the
    // open directory that costs the walk less than its whole path would.
    item.directory = entry->d_type == DT_DIR;
    struct stat st;
    if ((!item.hidden || entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) && fstatat(fd, name, &st, 0) == 0) {
      item.directory = S_ISDIR(st.st_mode);
      if (item.directory) {
        item.nodeKnown = true;
        item.node = static_cast<std::uint64_t>(st.st_ino);
      } else {
        item.statusKnown = true;
        item.status.size = static_cast<std::uint64_t>(st.st_size);
        item.status.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec);
      }
    }
    entries->push_back(std::move(item));
  }
  return true;
}

bool PosixFileSystem::Identify(const std::string& dir, DirectoryId* id) {
  struct stat st;
  if (stat(dir.empty() ? "." : dir.c_str(), &st) != 0) return false;
  id->device = static_cast<std::uint64_t>(st.st_dev);
  id->node = static_cast<std::uint64_t>(st.st_ino);
  return true;
}

bool PosixFileSystem::Status(const std::string& path, FileStatus* status) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  status->size = static_cast<std::uint64_t>(st.st_size);
  status->modified = static_cast<std::int64_t>(st.st_mtim.tv_sec);
  return true;
}

bool PosixFileSystem::Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool PosixFileSystem::Readable(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

bool PosixFileSystem::MakeDirectory(const std::string& path) {
  return mkdir(path.c_str(), 0777) == 0;
}

bool PosixFileSystem::RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool PosixFileSystem::CopyFileTo(const std::string& from, const std::string& to) {
  const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (out < 0) {
    close(in);
    return false;
  }
  bool ok = true;
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = read(in, buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    if (!WriteAll(out, buffer, static_cast<std::size_t>(n))) {
      ok = false;
      break;
    }
  }
  close(in);
  if (close(out) != 0) ok = false;
  return ok;
}

}  // namespace auralith

#include "platform/posix/file_registry_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "base/strings.h"

namespace auralith {

namespace {

using Key = MemoryRegistryStore::Key;

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// The registry itself nests keys at most 512 deep; deeper paths come only from
// damaged or hostile files, and would make the recursive key tree overflow the
// stack.
constexpr std::size_t kMaxKeyDepth = 512;
// This program's hives stay small; a far larger file is not one of them and is
// kept aside untouched rather than read into memory.
constexpr std::int64_t kMaxFileSize = std::int64_t{64} << 20;
// A change waits this long for another process's change to the same hive,
// which takes milliseconds.
constexpr std::chrono::milliseconds kLockPatience(5000);

const char* HiveName(Hive hive) { return hive == Hive::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_CLASSES_ROOT"; }

// ------------------------------------------------------------------ writing

bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::size_t extra = 0;
    char32_t cp = 0;
    if (b < 0x80) {
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      extra = 1, cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2, cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      extra = 3, cp = b & 0x07;
    } else {
      return false;
    }
    if (i + extra >= text.size()) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    // Overlong forms, surrogates and code points beyond Unicode.
    if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += extra + 1;
  }
  return true;
}

// REG_SZ data are written as "text" only when they come back byte for byte:
// exactly one terminating NUL, no control characters (a line break would end
// the line) and valid UTF-8. Everything else is written as hex(1).
bool HasTextForm(const RegValue& value) {
  if (value.type != kRegSz || value.data.empty() || value.data.back() != '\0') return false;
  const std::string_view text(value.data.data(), value.data.size() - 1);
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) return false;
  }
  return IsUtf8(text);
}

void AppendQuoted(std::string_view text, std::string* out) {
  out->push_back('"');
  for (char c : text) {
    if (c == '\\' || c == '"') out->push_back('\\');
    out->push_back(c);
  }
  out->push_back('"');
}

void AppendValue(const MemoryRegistryStore::NamedValue& named, std::string* out) {
  if (named.name.empty()) {
    out->push_back('@');
  } else {
    AppendQuoted(named.name, out);
  }
  out->push_back('=');
  const RegValue& value = named.value;
  char buffer[32];
  if (HasTextForm(value)) {
    AppendQuoted(std::string_view(value.data.data(), value.data.size() - 1), out);
  } else if (value.type == kRegDword && value.data.size() == 4) {
    const auto* b = reinterpret_cast<const unsigned char*>(value.data.data());
    const std::uint32_t number =
        std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 | std::uint32_t{b[3]} << 24;
    std::snprintf(buffer, sizeof(buffer), "dword:%08x", static_cast<unsigned>(number));
    out->append(buffer);
  } else {
    if (value.type == kRegBinary) {
      out->append("hex:");
    } else {
      std::snprintf(buffer, sizeof(buffer), "hex(%x):", static_cast<unsigned>(value.type));
      out->append(buffer);
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < value.data.size(); ++i) {
      const auto b = static_cast<unsigned char>(value.data[i]);
      if (i) out->push_back(',');
      out->push_back(kDigits[b >> 4]);
      out->push_back(kDigits[b & 15]);
    }
  }
  out->append("\r\n");
}

void AppendKey(const std::string& path, const Key& key, bool withSection, std::string* out) {
  if (withSection) {
    out->append("\r\n[");
    out->append(path);
    out->append("]\r\n");
    for (const auto& entry : key.values) AppendValue(entry.second, out);
  }
  for (const auto& entry : key.subkeys) {
    if (entry.second.key) AppendKey(path + "\\" + entry.second.name, *entry.second.key, true, out);
  }
}

// ------------------------------------------------------------------ reading

class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}
  // The next line without its line end and trailing blanks.
  bool Next(std::string_view* line) {
    if (pos_ >= text_.size()) return false;
    auto end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    std::string_view found = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    while (!found.empty() && (found.back() == '\r' || found.back() == ' ' || found.back() == '\t'))
      found.remove_suffix(1);
    *line = found;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

// A quoted text starting at text[0]: \\ and \" are the only escapes. `used`
// receives the number of bytes taken, closing quote included.
bool ParseQuoted(std::string_view text, std::string* out, std::size_t* used) {
  if (text.empty() || text[0] != '"') return false;
  out->clear();
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      *used = i + 1;
      return true;
    }
    if (c == '\\') {
      if (i + 1 >= text.size() || (text[i + 1] != '\\' && text[i + 1] != '"')) return false;
      out->push_back(text[++i]);
      continue;
    }
    out->push_back(c);
  }
  return false;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseHexNumber(std::string_view text, std::uint32_t* number) {
  if (text.empty() || text.size() > 8) return false;
  std::uint32_t n = 0;
  for (char c : text) {
    const int d = HexDigit(c);
    if (d < 0) return false;
    n = n << 4 | static_cast<std::uint32_t>(d);
  }
  *number = n;
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// "01,ab,ff" (blanks allowed around the bytes); an empty list is no bytes.
bool ParseHexBytes(std::string_view list, std::string* bytes) {
  bytes->clear();
  if (TrimBlanks(list).empty()) return true;
  std::size_t start = 0;
  for (;;) {
    const auto comma = list.find(',', start);
    const std::string_view item =
        TrimBlanks(list.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    std::uint32_t b = 0;
    if (item.size() > 2 || !ParseHexNumber(item, &b)) return false;
    bytes->push_back(static_cast<char>(b));
    if (comma == std::string_view::npos) return true;
    start = comma + 1;
  }
}

bool ValidName(std::string_view name) {
  return name.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos;
}

// Walks to the key, creating what is missing; null for a path with an empty
// component or one nested too deep.
Key* CreateKey(Key* root, std::string_view keyPath) {
  std::vector<std::string> parts;
  if (!MemoryRegistryStore::SplitKeyPath(std::string(keyPath), &parts) || parts.size() > kMaxKeyDepth) return nullptr;
  Key* key = root;
  for (const auto& part : parts) {
    auto& slot = key->subkeys[MemoryRegistryStore::Fold(part)];
    if (!slot.key) {
      slot.name = part;
      slot.key = std::make_unique<Key>();
    }
    key = slot.key.get();
  }
  return key;
}

bool KeyExists(const Key& root, const std::string& keyPath) {
  std::vector<std::string> parts;
  if (!MemoryRegistryStore::SplitKeyPath(keyPath, &parts)) return false;
  const Key* key = &root;
  for (const auto& part : parts) {
    auto it = key->subkeys.find(MemoryRegistryStore::Fold(part));
    if (it == key->subkeys.end() || !it->second.key) return false;
    key = it->second.key.get();
  }
  return true;
}

bool ParseValueData(std::string_view data, LineReader* lines, RegValue* value) {
  if (!data.empty() && data[0] == '"') {
    std::string text;
    std::size_t used = 0;
    if (!ParseQuoted(data, &text, &used) || used != data.size()) return false;
    value->type = kRegSz;
    value->data = std::move(text);
    value->data.push_back('\0');
    return true;
  }
  if (StartsWith(data, "dword:")) {
    std::uint32_t number = 0;
    if (!ParseHexNumber(data.substr(6), &number)) return false;
    value->type = kRegDword;
    value->data.clear();
    for (int shift = 0; shift < 32; shift += 8) value->data.push_back(static_cast<char>(number >> shift & 0xFF));
    return true;
  }
  std::string_view list;
  if (StartsWith(data, "hex:")) {
    value->type = kRegBinary;
    list = data.substr(4);
  } else if (StartsWith(data, "hex(")) {
    const auto close = data.find("):");
    if (close == std::string_view::npos || !ParseHexNumber(data.substr(4, close - 4), &value->type)) return false;
    list = data.substr(close + 2);
  } else {
    return false;
  }
  // Long byte lists go on over lines that end in a backslash.
  std::string joined(list);
  while (!joined.empty() && joined.back() == '\\') {
    joined.pop_back();
    std::string_view next;
    if (!lines->Next(&next)) return false;
    joined.append(TrimBlanks(next));
  }
  return ParseHexBytes(joined, &value->data);
}

enum class Parsed { kClean, kSomeLinesBad, kNotAHive };

// A line that cannot be understood costs only itself (a bad section header
// also the values under it, which belong to no known key): everything
// readable is kept. Only a file without the header is no hive at all.
Parsed ParseInto(Hive hive, std::string_view text, Key* root) {
  if (StartsWith(text, kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
  LineReader lines(text);
  std::string_view line;
  if (!lines.Next(&line) || line != kHeader) return Parsed::kNotAHive;
  bool bad = false;
  Key* current = nullptr;
  while (lines.Next(&line)) {
    if (TrimBlanks(line).empty() || line[0] == ';') continue;
    // Our writer never puts a NUL in a line; one there is damage.
    if (line.find('\0') != std::string_view::npos) {
      bad = true;
      continue;
    }
    if (line[0] == '[') {
      current = nullptr;
      if (line.back() != ']' || line.size() < 2) {
        bad = true;
        continue;
      }
      const std::string_view path = line.substr(1, line.size() - 2);
      const auto separator = path.find('\\');
      if (!EqualsIgnoreAsciiCase(path.substr(0, separator), HiveName(hive))) {
        bad = true;
        continue;
      }
      current = separator == std::string_view::npos ? root : CreateKey(root, path.substr(separator + 1));
      if (!current) bad = true;
      continue;
    }
    std::string name;
    std::size_t used = 1;
    RegValue value;
    const bool named = line[0] == '@' || ParseQuoted(line, &name, &used);
    // The data are parsed even without a key, so that their continuation
    // lines are not taken for lines of their own.
    if (!named || used >= line.size() || line[used] != '=' ||
        !ParseValueData(line.substr(used + 1), &lines, &value) || !current) {
      bad = true;
      continue;
    }
    auto& slot = current->values[MemoryRegistryStore::Fold(name)];
    if (slot.name.empty()) slot.name = name;
    slot.value = std::move(value);
  }
  return bad ? Parsed::kSomeLinesBad : Parsed::kClean;
}

// ------------------------------------------------------------------ files

// Waits for the lock while its holders get on: a process that holds it for
// `patience` while nothing changes is stuck, and waiting on would hang this
// one with it. Busy writers, whose turns come in any order, are no reason to
// give up.
class FileLock {
 public:
  template <typename Progressed>
  FileLock(const std::string& path, std::chrono::milliseconds patience, Progressed progressed)
      : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (fd_ < 0) return;
    auto deadline = std::chrono::steady_clock::now() + patience;
    auto pause = std::chrono::microseconds(100);
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      const bool busy = errno == EWOULDBLOCK;
      if (busy && std::chrono::steady_clock::now() >= deadline && progressed())
        deadline = std::chrono::steady_clock::now() + patience;
      if (!busy || std::chrono::steady_clock::now() >= deadline) {
        timedOut_ = busy;
        ::close(fd_);
        fd_ = -1;
        return;
      }
      std::this_thread::sleep_for(pause);
      pause = std::min(pause * 2, std::chrono::microseconds(5000));
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing lets the lock go
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool held() const { return fd_ >= 0; }
  bool timedOut() const { return timedOut_; }

 private:
  int fd_;
  bool timedOut_ = false;
};

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool MakeFolders(const std::string& folder) {
  struct stat st;
  if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  for (std::size_t pos = folder.find('/', 1);; pos = folder.find('/', pos + 1)) {
    const std::string part = folder.substr(0, pos);
    if (!part.empty() && part.back() != '/' && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (pos == std::string::npos) break;
  }
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool Later(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

// Other store objects recognise a new file by its identity, size and
// modification time. Two quick writes can reuse the old inode number and size
// within one clock tick, so each file's time is kept later than the one it
// replaces.
void KeepTimeMovingForward(int fd, const std::string& replaced) {
  struct stat old;
  struct stat now;
  if (::stat(replaced.c_str(), &old) != 0 || ::fstat(fd, &now) != 0) return;
  if (Later(now.st_mtim, old.st_mtim)) return;
  struct timespec times[2] = {{0, UTIME_OMIT}, old.st_mtim};
  if (++times[1].tv_nsec >= 1000000000) times[1].tv_sec += 1, times[1].tv_nsec = 0;
  ::futimens(fd, times);
  // File systems with coarse times round the nanosecond away.
  if (::fstat(fd, &now) == 0 && !Later(now.st_mtim, old.st_mtim)) {
    times[1] = old.st_mtim;
    times[1].tv_sec += 1;
    ::futimens(fd, times);
  }
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

// ------------------------------------------------------------------ the store

FileRegistryStore::FileRegistryStore(std::string folder) : folder_(std::move(folder)) {}

FileRegistryStore::Stamp FileRegistryStore::StampOf(const struct stat& st) {
  return Stamp{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
               static_cast<std::int64_t>(st.st_size), static_cast<std::int64_t>(st.st_mtim.tv_sec),
               static_cast<std::int64_t>(st.st_mtim.tv_nsec)};
}

FileRegistryStore::Stamp FileRegistryStore::StampOfFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? StampOf(st) : Stamp();
}

std::string FileRegistryStore::ChooseFolder(const char* registryDir, const char* xdgConfigHome, const char* home) {
  auto set = [](const char* value) { return value != nullptr && *value != '\0'; };
  if (set(registryDir)) return registryDir;
  // A relative XDG_CONFIG_HOME is invalid and ignored, as the XDG rules say.
  if (set(xdgConfigHome) && xdgConfigHome[0] == '/') return JoinPath(xdgConfigHome, "auralith");
  if (set(home)) return JoinPath(home, ".config/auralith");
  return std::string();
}

std::string FileRegistryStore::DefaultFolder() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') {
    const struct passwd* user = ::getpwuid(::getuid());
    home = user ? user->pw_dir : nullptr;
  }
  return ChooseFolder(std::getenv("AURALITH_REGISTRY_DIR"), std::getenv("XDG_CONFIG_HOME"), home);
}

std::string FileRegistryStore::FilePath(Hive hive) const {
  return JoinPath(folder_, std::string(HiveName(hive)) + ".reg");
}

std::string FileRegistryStore::FormatHive(Hive hive, const MemoryRegistryStore::Key& root) {
  std::string out(kHeader);
  out.append("\r\n");
  AppendKey(HiveName(hive), root, !root.values.empty(), &out);
  out.append("\r\n");
  return out;
}

bool FileRegistryStore::ParseHive(Hive hive, std::string_view text, MemoryRegistryStore::Key* root) {
  *root = Key();
  return ParseInto(hive, text, root) == Parsed::kClean;
}

void FileRegistryStore::Complain(const std::string& text) {
  if (complaint_ && complained_.insert(text).second) complaint_(text);
}

void FileRegistryStore::Load(Hive hive) {
  HiveFile& hiveFile = file(hive);
  tree_.root(hive) = Key();
  hiveFile.stamp = Stamp();
  const Descriptor fd(::open(FilePath(hive).c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    hiveFile.state = errno == ENOENT ? FileState::Missing : FileState::Unreadable;
    return;
  }
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    hiveFile.state = FileState::Unreadable;
    return;
  }
  const Stamp stamp = StampOf(st);
  if (st.st_size > kMaxFileSize) {
    hiveFile.state = FileState::NotAHive;
    hiveFile.stamp = stamp;
    return;
  }
  std::string text;
  text.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      hiveFile.state = FileState::Unreadable;
      return;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    if (static_cast<std::int64_t>(text.size()) > kMaxFileSize) break;
  }
  hiveFile.stamp = stamp;
  // An empty file holds nothing that could be lost.
  if (text.empty()) {
    hiveFile.state = FileState::Loaded;
    return;
  }
  switch (ParseInto(hive, text, &tree_.root(hive))) {
    case Parsed::kClean:
      hiveFile.state = FileState::Loaded;
      break;
    case Parsed::kSomeLinesBad:
      hiveFile.state = FileState::Damaged;
      break;
    case Parsed::kNotAHive:
      tree_.root(hive) = Key();
      hiveFile.state = FileState::NotAHive;
      break;
  }
}

void FileRegistryStore::Refresh(Hive hive) {
  HiveFile& hiveFile = file(hive);
  struct stat st;
  if (::stat(FilePath(hive).c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      if (hiveFile.state != FileState::Missing) {
        tree_.root(hive) = Key();
        hiveFile = HiveFile{FileState::Missing, Stamp()};
      }
    } else {
      tree_.root(hive) = Key();
      hiveFile = HiveFile{FileState::Unreadable, Stamp()};
    }
    return;
  }
  const Stamp stamp = StampOf(st);
  if ((hiveFile.state == FileState::Loaded || hiveFile.state == FileState::Damaged ||
       hiveFile.state == FileState::NotAHive) &&
      hiveFile.stamp == stamp)
    return;
  Load(hive);
}

bool FileRegistryStore::BackUpDamaged(Hive hive, std::string* backup) {
  const std::string path = FilePath(hive);
  const Descriptor source(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (source.get() < 0) return false;
  // An older backup is never replaced: each damaged file gets a name of its own.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string name = path + ".bak" + (attempt ? "." + std::to_string(attempt) : std::string());
    Descriptor target(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (target.get() < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    bool ok = true;
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::read(source.get(), buffer, sizeof(buffer));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok = n == 0;
        break;
      }
      if (!WriteAll(target.get(), std::string_view(buffer, static_cast<std::size_t>(n)))) {
        ok = false;
        break;
      }
    }
    ok = ok && ::fsync(target.get()) == 0;
    ok = target.Close() && ok;
    if (!ok) ::unlink(name.c_str());
    *backup = name;
    return ok;
  }
  return false;
}

template <typename Change>
bool FileRegistryStore::Modify(Hive hive, Change change) {
  if (folder_.empty() || !MakeFolders(folder_)) return false;
  const std::string path = FilePath(hive);
  // Once the lock has been waited for in vain, later changes only try it:
  // a stuck process must not make every setting cost the whole wait.
  Stamp seen = StampOfFile(path);
  const FileLock lock(path + ".lock", lockGivenUp_ ? std::chrono::milliseconds(0) : kLockPatience, [&] {
    const Stamp now = StampOfFile(path);
    const bool changed = !(now == seen);
    seen = now;
    return changed;
  });
  if (!lock.held()) {
    if (lock.timedOut()) {
      lockGivenUp_ = true;
      Complain("The settings file \"" + path + "\" is locked by another process; settings are not saved.");
    }
    return false;
  }
  lockGivenUp_ = false;
  // Under the lock the file on disk is the truth: what another process wrote
  // since the last look is read first, so its changes are kept.
  Refresh(hive);
  HiveFile& hiveFile = file(hive);
  if (hiveFile.state == FileState::Unreadable || hiveFile.state == FileState::Unknown) return false;
  // Whatever is in the file was not understood, so it may be all the user
  // has: it is never written over.
  if (hiveFile.state == FileState::NotAHive) {
    Complain("The settings file \"" + path + "\" cannot be read; settings are not saved until it is moved away.");
    return false;
  }
  const std::string before = FormatHive(hive, tree_.root(hive));
  const bool changed = change();
  const std::string after = FormatHive(hive, tree_.root(hive));
  auto forget = [&] {
    // What is in memory is no longer what is on disk; the next look reads it.
    tree_.root(hive) = Key();
    hiveFile = HiveFile();
  };
  if (!changed) {
    if (after != before) forget();
    return false;
  }
  if (after == before) return true;
  if (hiveFile.state == FileState::Damaged) {
    std::string backup;
    if (!BackUpDamaged(hive, &backup)) {
      forget();
      return false;
    }
    Complain("The settings file \"" + path + "\" had lines that could not be read; they are kept in \"" + backup +
             "\".");
  }

  const std::string temporary = path + ".tmp";
  Descriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
  bool ok = fd.get() >= 0 && WriteAll(fd.get(), after);
  struct stat st {};
  if (ok) {
    KeepTimeMovingForward(fd.get(), path);
    ok = ::fsync(fd.get()) == 0 && ::fstat(fd.get(), &st) == 0;
  }
  if (fd.get() >= 0) ok = fd.Close() && ok;
  ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    forget();
    return false;
  }
  SyncFolder(FolderOf(path));
  hiveFile.state = FileState::Loaded;
  hiveFile.stamp = StampOf(st);
  return true;
}

bool FileRegistryStore::Query(Hive hive, const std::string& keyPath, const std::string& valueName, RegValue* value) {
  if (folder_.empty()) return false;
  Refresh(hive);
  return tree_.Query(hive, keyPath, valueName, value);
}

bool FileRegistryStore::Set(Hive hive, const std::string& keyPath, const std::string& valueName,
                            const RegValue& value) {
  // Names that the file cannot hold are refused before anything changes.
  if (!ValidName(keyPath) || !ValidName(valueName)) return false;
  std::vector<std::string> parts;
  if (!MemoryRegistryStore::SplitKeyPath(keyPath, &parts) || parts.size() > kMaxKeyDepth) return false;
  return Modify(hive, [&] { return tree_.Set(hive, keyPath, valueName, value); });
}

bool FileRegistryStore::DeleteTree(Hive hive, const std::string& keyPath) {
  if (folder_.empty()) return false;
  std::vector<std::string> parts;
  if (!MemoryRegistryStore::SplitKeyPath(keyPath, &parts) || parts.empty()) return false;
  // A key that the current file does not hold is already gone; nothing needs
  // the lock or a new file.
  Refresh(hive);
  if (file(hive).state == FileState::Unreadable) return false;
  if (!KeyExists(tree_.root(hive), keyPath)) return true;
  return Modify(hive, [&] { return tree_.DeleteTree(hive, keyPath); });
}

}  // namespace auralith

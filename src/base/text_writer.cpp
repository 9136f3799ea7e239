#include "base/text_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "base/file_replace.h"
#include "base/read_only_file.h"

namespace auralith {

namespace {

// Whether an open stream holds exactly `bytes`, read from its start.
bool StreamHolds(std::FILE* file, std::string_view bytes) {
  bool same = std::fseek(file, 0, SEEK_END) == 0 && std::ftell(file) == static_cast<long>(bytes.size()) &&
              std::fseek(file, 0, SEEK_SET) == 0;
  char chunk[64 * 1024];
  std::size_t done = 0;
  while (same && done < bytes.size()) {
    const std::size_t want = std::min(sizeof(chunk), bytes.size() - done);
    same = std::fread(chunk, 1, want, file) == want && std::memcmp(chunk, bytes.data() + done, want) == 0;
    done += want;
  }
  return same;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::uint64_t most, std::string* bytes) {
  ReadOnlyFile file(path);
  const std::int64_t size = file.Size();
  if (size < 0 || static_cast<std::uint64_t>(size) > most) return false;
  bytes->resize(static_cast<std::size_t>(size));
  std::size_t got = 0;
  for (long long n = 0; got < bytes->size(); got += static_cast<std::size_t>(n))
    if ((n = file.ReadAt(static_cast<std::int64_t>(got), bytes->data() + got, bytes->size() - got)) <= 0) return false;
  return true;
}

bool FileHolds(const std::string& path, std::string_view bytes) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  const bool same = StreamHolds(file, bytes);
  std::fclose(file);
  return same;
}

TextWriter::~TextWriter() {
  if (existing_) std::fclose(existing_);
}

bool TextWriter::Open(const std::string& path, Leftovers leftovers) {
  OpenDeferred(path, leftovers);
  Look();
  return open_;
}

void TextWriter::OpenDeferred(const std::string& path, Leftovers leftovers) {
  buffer_.clear();
  path_ = path;
  leftovers_ = leftovers;
  if (existing_) std::fclose(existing_);
  existing_ = nullptr;
  open_ = true;
  failed_ = false;
  deferred_ = true;
}

void TextWriter::Look() {
  deferred_ = false;
  // The file is only looked at here: it is replaced whole by Close(), so a
  // run that is stopped, or a disk that fills up, leaves the old content.
  // Opening for update without creating proves an existing file writable,
  // and the same stream then serves to compare it: under Wine every open
  // is a round trip to the server.
  existing_ = std::fopen(path_.c_str(), "r+b");
  if (existing_ == nullptr && errno != ENOENT) failed_ = true;
  open_ = !failed_;
}

void TextWriter::Write(std::string_view text) {
  if (!open_) {
    failed_ = true;
    return;
  }
  std::size_t start = 0;
  for (;;) {
    const auto pos = text.find('\n', start);
    if (pos == std::string_view::npos) break;
    buffer_.append(text.substr(start, pos - start));
    buffer_.append("\r\n");
    start = pos + 1;
  }
  buffer_.append(text.substr(start));
}

void TextWriter::WriteStored(std::string text) {
  if (!open_) {
    failed_ = true;
  } else if (buffer_.empty()) {
    buffer_ = std::move(text);
  } else {
    buffer_ += text;
  }
}

void TextWriter::Line(std::string_view text) {
  Write(text);
  Write("\n");
}

void TextWriter::Cancel() {
  if (existing_) std::fclose(existing_);
  existing_ = nullptr;
  open_ = false;
  wrote_ = false;
}

bool TextWriter::Close() {
  wrote_ = false;
  if (!open_) return false;
  if (deferred_) Look();
  open_ = false;
  const bool found = existing_ != nullptr;
  bool same = false;
  if (found) {
    same = StreamHolds(existing_, buffer_);
    std::fclose(existing_);
    existing_ = nullptr;
  }
  if (failed_) return false;
  if (!same) {
    wrote_ = (!found && WriteNewFile(path_, buffer_)) || ReplaceWhole(path_, buffer_, Durability::kWhole);
    return wrote_;
  }
  if (leftovers_ == Leftovers::kRemove) RemoveTemporaryOf(path_);
  return true;
}

}  // namespace auralith

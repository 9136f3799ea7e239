#include "base/text_writer.h"

#include <algorithm>
#include <cstring>

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

bool FileHolds(const std::string& path, std::string_view bytes) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  const bool same = StreamHolds(file, bytes);
  std::fclose(file);
  return same;
}

TextWriter::~TextWriter() {
  if (file_) std::fclose(file_);
}

bool TextWriter::Open(const std::string& path) {
  if (file_) std::fclose(file_);
  buffer_.clear();
  failed_ = false;
  path_ = path;
  // Appending creates a missing file but keeps an existing one as it is
  // until Close() knows whether it needs new content; the same stream reads
  // the old content back for the comparison.
  file_ = std::fopen(path.c_str(), "a+b");
  if (!file_) failed_ = true;
  return file_ != nullptr;
}

void TextWriter::Write(std::string_view text) {
  if (!file_) {
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

void TextWriter::Line(std::string_view text) {
  Write(text);
  Write("\n");
}

bool TextWriter::Close() {
  if (!file_) return false;
  std::FILE* file = file_;
  file_ = nullptr;
  if (failed_) {
    std::fclose(file);
    return false;
  }
  const bool same = StreamHolds(file, buffer_);
  std::fclose(file);
  if (same) return true;
  std::FILE* out = std::fopen(path_.c_str(), "wb");
  if (!out) return false;
  bool ok = std::fwrite(buffer_.data(), 1, buffer_.size(), out) == buffer_.size();
  if (std::fflush(out) != 0) ok = false;
  if (std::fclose(out) != 0) ok = false;
  return ok;
}

}  // namespace auralith

#include "base/text_writer.h"

namespace auralith {

bool ReadWholeFile(const std::string& path, std::string* bytes, std::size_t limit) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  bytes->clear();
  char chunk[64 * 1024];
  bool ok = true;
  for (;;) {
    const std::size_t n = std::fread(chunk, 1, sizeof(chunk), file);
    if (bytes->size() + n > limit) {
      ok = false;
      break;
    }
    bytes->append(chunk, n);
    if (n < sizeof(chunk)) {
      ok = !std::ferror(file);
      break;
    }
  }
  std::fclose(file);
  return ok;
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
  // until Close() knows whether it needs new content.
  file_ = std::fopen(path.c_str(), "ab");
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
  std::fclose(file_);
  file_ = nullptr;
  if (failed_) return false;
  std::string existing;
  if (ReadWholeFile(path_, &existing, buffer_.size()) && existing == buffer_) return true;
  std::FILE* out = std::fopen(path_.c_str(), "wb");
  if (!out) return false;
  bool ok = std::fwrite(buffer_.data(), 1, buffer_.size(), out) == buffer_.size();
  if (std::fflush(out) != 0) ok = false;
  if (std::fclose(out) != 0) ok = false;
  return ok;
}

}  // namespace auralith

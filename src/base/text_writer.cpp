#include "base/text_writer.h"

namespace auralith {

namespace {
// Large enough that most playlists go out in one write.
constexpr std::size_t kFlushThreshold = 64 * 1024;
}  // namespace

TextWriter::~TextWriter() {
  if (file_) std::fclose(file_);
}

bool TextWriter::Open(const std::string& path) {
  if (file_) std::fclose(file_);
  buffer_.clear();
  failed_ = false;
  file_ = std::fopen(path.c_str(), "wb");
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
  if (buffer_.size() >= kFlushThreshold) Flush();
}

void TextWriter::Line(std::string_view text) {
  Write(text);
  Write("\n");
}

void TextWriter::Flush() {
  if (!file_ || buffer_.empty()) return;
  if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) failed_ = true;
  buffer_.clear();
}

bool TextWriter::Close() {
  if (!file_) return false;
  Flush();
  if (std::fflush(file_) != 0) failed_ = true;
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  return !failed_;
}

}  // namespace auralith

#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace auralith {

// Writes a generated text file from scratch. Every '\n' handed to it is stored
// as CR LF, as a Windows text-mode stream would, so the output is
// byte-identical on every platform. Failure of any step is remembered and
// reported by Close().
class TextWriter {
 public:
  TextWriter() = default;
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;
  ~TextWriter();

  // Creates or truncates the file. False when it cannot be created.
  bool Open(const std::string& path);

  // Appends text; each '\n' becomes "\r\n".
  void Write(std::string_view text);
  // Appends text followed by a line end.
  void Line(std::string_view text);

  // Writes out everything and closes the file. False when the file could not
  // be opened, or any byte could not be written.
  bool Close();

  bool is_open() const { return file_ != nullptr; }

 private:
  void Flush();

  std::FILE* file_ = nullptr;
  std::string buffer_;
  bool failed_ = false;
};

}  // namespace auralith

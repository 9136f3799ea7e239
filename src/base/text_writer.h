#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "base/file_replace.h"

namespace auralith {

// True when the file exists and holds exactly `bytes`. Reads only as far as
// the first difference, and not at all when the size differs.
bool FileHolds(const std::string& path, std::string_view bytes);

// Reads a file whole, in one read. False when it cannot be read, or holds
// more than `most` bytes (a file that large is none of ours).
bool ReadWholeFile(const std::string& path, std::uint64_t most, std::string* bytes);

// Writes a generated text file whole. Every '\n' handed to it is stored as
// CR LF, as a Windows text-mode stream would, so the output is byte-identical
// on every platform. The text is gathered in memory and put in place by
// Close() through WriteFileAtomically: a file that already holds exactly these
// bytes is left alone, and a failed or interrupted write leaves the old file.
// Failure of any step is remembered and reported by Close().
class TextWriter {
 public:
  TextWriter() = default;
  ~TextWriter();
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;

  // False when an existing file cannot be written (or the path cannot be
  // looked at); nothing is created yet. `leftovers` as for
  // WriteFileAtomically.
  bool Open(const std::string& path, Leftovers leftovers = Leftovers::kRemove);
  // As Open(), but the file is first looked at by Close(), so that Cancel()
  // leaves it untouched.
  void OpenDeferred(const std::string& path, Leftovers leftovers);

  // Appends text; each '\n' becomes "\r\n".
  void Write(std::string_view text);
  // Appends text whose line ends are CR LF already, taking it over whole
  // when nothing was written before: a large text is then not copied.
  void WriteStored(std::string text);
  // Appends text followed by a line end.
  void Line(std::string_view text);

  // Puts the text in the file unless it is there already. False when the
  // file could not be opened, or any byte could not be written.
  bool Close();
  // Ends the writing and leaves the file as it is, unopened after
  // OpenDeferred(): for a caller that knows it holds the text already.
  void Cancel();

  bool is_open() const { return open_; }
  // The text gathered so far, line ends as stored.
  std::string_view text() const { return buffer_; }
  // Whether the last Close() had to write the file.
  bool wrote() const { return wrote_; }

 private:
  std::string path_;
  std::string buffer_;
  // The file as Open() found it, kept open to be compared by Close().
  std::FILE* existing_ = nullptr;
  Leftovers leftovers_ = Leftovers::kRemove;
  bool open_ = false;
  bool failed_ = false;
  bool deferred_ = false;
  bool wrote_ = false;

  void Look();
};

}  // namespace auralith

#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace auralith {

// A serialisation archive in the encoding of the MFC archive (persistent
// object data format): little-endian numbers, length-prefixed texts, counts,
// and objects introduced by their class (name and schema with the first object
// of a class, a back-reference afterwards) or referred to by index once
// stored. Index 0 is the null object; every new class and every new object
// takes the next index, in the order they appear.

// A class as the archive names it. The reader accepts a class only when the
// caller names it, and only with this schema.
struct ArchiveClass {
  std::string_view name;
  std::uint16_t schema = 0;
};

// Builds an archive in memory.
class ArchiveWriter {
 public:
  void WriteByte(std::uint8_t value);
  void WriteWord(std::uint16_t value);
  void WriteDword(std::uint32_t value);
  void WriteInt32(std::int32_t value);
  void WriteUint64(std::uint64_t value);
  void WriteInt64(std::int64_t value);
  // A time value: seconds since 1970-01-01 UTC, 64 bits.
  void WriteTime(std::int64_t seconds);
  // A text with its length prefix; the bytes are stored as they are.
  void WriteText(std::string_view text);
  // An element count (WORD, or 0xFFFF followed by a wider form).
  void WriteCount(std::uint64_t count);
  // Raw bytes, without any prefix.
  void WriteBytes(std::string_view bytes);

  void WriteNullObject();
  // Stores a reference to `object` (not null) of class `cls`. True on its first
  // appearance: the class tag has been written and the caller writes the
  // object's body next. False when it was stored before: a back-reference has
  // been written and nothing follows.
  bool BeginObject(const ArchiveClass& cls, const void* object);

  // Room for `bytes` in all, so a large archive is not copied as it grows.
  void Reserve(std::size_t bytes) { out_.reserve(bytes); }

  const std::string& bytes() const { return out_; }
  std::string Take() { return std::move(out_); }

 private:
  void WriteIndexTag(std::uint32_t index, bool isClass);
  std::uint32_t NextIndex();

  std::string out_;
  std::uint32_t mapCount_ = 1;  // index 0 is the null object
  // A program stores objects of a handful of classes: a list beats a map.
  std::vector<std::pair<std::string, std::uint32_t>> classes_;
  std::unordered_map<const void*, std::uint32_t> objects_;
};

// Hands over an archive's bytes in order: how many it put at `into` (at most
// `count`), 0 at the end, -1 on an error.
using ArchiveSource = std::function<long long(char* into, std::size_t count)>;

// Reads an archive from a bounded span of bytes, which must outlive the
// reader, or from a source of known size. Every read checks its length against
// the bytes left before anything is allocated; the first failure sticks, and
// every later read then fails too without touching its output.
class ArchiveReader {
 public:
  explicit ArchiveReader(std::string_view bytes) : data_(bytes) {}
  // Holds only a window of the source's `size` bytes at a time, so that a
  // large archive is not kept whole in memory while its objects are built.
  // A source that ends early or fails makes the read that needed it fail.
  ArchiveReader(ArchiveSource source, std::uint64_t size) : source_(std::move(source)), unread_(size) {}

  bool ReadByte(std::uint8_t* value);
  bool ReadWord(std::uint16_t* value);
  bool ReadDword(std::uint32_t* value);
  bool ReadInt32(std::int32_t* value);
  bool ReadUint64(std::uint64_t* value);
  bool ReadInt64(std::int64_t* value);
  bool ReadTime(std::int64_t* seconds);
  // A text in any of the archive's forms; texts stored as UTF-16 come back
  // in the ANSI code page.
  bool ReadText(std::string* text);
  // An element count. Each element takes at least `minElementBytes`; a count
  // whose elements could not fit in the bytes left is refused here, before
  // the caller reserves anything for it.
  bool ReadCount(std::uint64_t* count, std::uint64_t minElementBytes);

  struct ObjectRef {
    enum class Kind { Null, New, Existing };
    Kind kind = Kind::Null;
    // For New and Existing: position of the object's class in `known`.
    std::size_t knownClass = 0;
    // For New and Existing: the object's index in the archive.
    std::uint32_t index = 0;
  };
  // Reads an object reference. A new object's class must be one of `known`
  // (by name, with its schema); so must the class of an object referred to
  // again. A new object is entered in the index before its body, which the
  // caller reads next.
  bool ReadObject(std::span<const ArchiveClass> known, ObjectRef* ref);

  bool failed() const { return failed_; }
  std::uint64_t remaining() const { return data_.size() - pos_ + unread_; }
  // Marks the archive as unreadable; always false, for `return reader.Fail();`.
  bool Fail() {
    failed_ = true;
    return false;
  }

 private:
  // One entry per archive index: kNullEntry, a class (kClassEntry | its slot
  // in classNames_) or an object (the index of its class entry). Four bytes
  // each, since a hostile file may hold millions of tiny objects.
  static constexpr std::uint32_t kNullEntry = 0xFFFFFFFF;
  static constexpr std::uint32_t kClassEntry = 0x80000000;

  bool Take(std::size_t count, const char** bytes);
  bool Refill(std::size_t count);
  bool ReadLength(std::uint64_t* length, bool* wide);
  bool FindKnown(std::span<const ArchiveClass> known, std::string_view name, std::size_t* position) const;
  bool AddEntry(std::uint32_t entry);

  std::string_view data_;
  std::size_t pos_ = 0;
  bool failed_ = false;
  ArchiveSource source_;
  std::uint64_t unread_ = 0;  // source bytes not yet in the window
  std::string window_;
  std::vector<std::uint32_t> entries_{kNullEntry};  // index 0: the null object
  std::vector<std::string> classNames_;
};

}  // namespace auralith

#include "base/archive.h"

#include <algorithm>
#include <cstring>

#include "base/code_page.h"

namespace auralith {

namespace {

// Tags of the object stream, as the MFC archive writes them.
constexpr std::uint16_t kNewClassTag = 0xFFFF;
constexpr std::uint16_t kClassTag = 0x8000;
constexpr std::uint16_t kBigObjectTag = 0x7FFF;
constexpr std::uint32_t kBigClassTag = 0x80000000;
// The archive's own ceiling on indices; beyond it the DWORD form would run
// into the class bit.
constexpr std::uint32_t kMaxMapCount = 0x3FFFFFFE;

// Little-endian by construction, whatever the host's byte order.
template <typename T>
void PutLittleEndian(std::string* out, T value) {
  char bytes[sizeof(T)];
  for (std::size_t i = 0; i < sizeof(T); ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  out->append(bytes, sizeof(T));
}

template <typename T>
T GetLittleEndian(const char* bytes) {
  T value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i)
    value |= static_cast<T>(static_cast<T>(static_cast<unsigned char>(bytes[i])) << (8 * i));
  return value;
}

// UTF-16LE code units as they lie in the file.
std::u16string Utf16Le(const char* bytes, std::size_t units) {
  std::u16string text(units, u'\0');
  for (std::size_t i = 0; i < units; ++i) text[i] = GetLittleEndian<std::uint16_t>(bytes + 2 * i);
  return text;
}

}  // namespace

// ---------------------------------------------------------------- writing

void ArchiveWriter::WriteByte(std::uint8_t value) { out_.push_back(static_cast<char>(value)); }
void ArchiveWriter::WriteWord(std::uint16_t value) { PutLittleEndian(&out_, value); }
void ArchiveWriter::WriteDword(std::uint32_t value) { PutLittleEndian(&out_, value); }
void ArchiveWriter::WriteInt32(std::int32_t value) { PutLittleEndian(&out_, static_cast<std::uint32_t>(value)); }
void ArchiveWriter::WriteUint64(std::uint64_t value) { PutLittleEndian(&out_, value); }
void ArchiveWriter::WriteInt64(std::int64_t value) { PutLittleEndian(&out_, static_cast<std::uint64_t>(value)); }
void ArchiveWriter::WriteTime(std::int64_t seconds) { WriteInt64(seconds); }
void ArchiveWriter::WriteBytes(std::string_view bytes) { out_.append(bytes); }

void ArchiveWriter::WriteText(std::string_view text) {
  const std::uint64_t length = text.size();
  if (length < 0xFF) {
    WriteByte(static_cast<std::uint8_t>(length));
  } else {
    WriteByte(0xFF);
    if (length < 0xFFFE) {
      WriteWord(static_cast<std::uint16_t>(length));
    } else {
      WriteWord(0xFFFF);
      if (length < 0xFFFFFFFF) {
        WriteDword(static_cast<std::uint32_t>(length));
      } else {
        WriteDword(0xFFFFFFFF);
        WriteUint64(length);
      }
    }
  }
  WriteBytes(text);
}

void ArchiveWriter::WriteCount(std::uint64_t count) {
  if (count < 0xFFFF) {
    WriteWord(static_cast<std::uint16_t>(count));
    return;
  }
  WriteWord(0xFFFF);
  if (count < 0xFFFFFFFF) {
    WriteDword(static_cast<std::uint32_t>(count));
  } else {
    WriteDword(0xFFFFFFFF);
    WriteUint64(count);
  }
}

void ArchiveWriter::WriteNullObject() { WriteWord(0); }

void ArchiveWriter::WriteIndexTag(std::uint32_t index, bool isClass) {
  // 0x7FFF itself cannot be a short tag: it announces the DWORD form, and
  // 0x8000 | 0x7FFF would read as a new class.
  if (index < kBigObjectTag) {
    WriteWord(static_cast<std::uint16_t>(isClass ? (kClassTag | index) : index));
  } else {
    WriteWord(kBigObjectTag);
    WriteDword(isClass ? (kBigClassTag | index) : index);
  }
}

std::uint32_t ArchiveWriter::NextIndex() {
  // Unreachable in practice (a billion objects); the index only saturates so
  // that it never runs into the class bit.
  const std::uint32_t index = mapCount_;
  if (mapCount_ < kMaxMapCount) ++mapCount_;
  return index;
}

bool ArchiveWriter::BeginObject(const ArchiveClass& cls, const void* object) {
  if (const auto found = objects_.find(object); found != objects_.end()) {
    WriteIndexTag(found->second, false);
    return false;
  }
  const auto known = std::find_if(classes_.begin(), classes_.end(),
                                  [&](const auto& entry) { return entry.first == cls.name; });
  if (known != classes_.end()) {
    WriteIndexTag(known->second, true);
  } else {
    WriteWord(kNewClassTag);
    WriteWord(cls.schema);
    WriteWord(static_cast<std::uint16_t>(cls.name.size()));
    WriteBytes(cls.name);
    classes_.emplace_back(std::string(cls.name), NextIndex());
  }
  objects_.emplace(object, NextIndex());
  return true;
}

// ---------------------------------------------------------------- reading

bool ArchiveReader::Take(std::size_t count, const char** bytes) {
  if (failed_) return false;
  if (count > data_.size() - pos_ && !Refill(count)) return Fail();
  *bytes = data_.data() + pos_;
  pos_ += count;
  return true;
}

bool ArchiveReader::Refill(std::size_t count) {
  if (!source_ || count > remaining()) return false;
  constexpr std::size_t kWindow = 64 * 1024;
  const std::size_t kept = data_.size() - pos_;
  const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(std::max(count, kWindow), kept + unread_));
  // What is left of the window moves to its front; the source fills the rest.
  if (window_.size() < size) {
    std::string larger(size, '\0');
    if (kept > 0) std::memcpy(larger.data(), data_.data() + pos_, kept);
    window_.swap(larger);
  } else if (kept > 0) {
    std::memmove(window_.data(), data_.data() + pos_, kept);
  }
  std::size_t filled = kept;
  while (filled < size) {
    const long long got = source_(window_.data() + filled, size - filled);
    if (got <= 0) return false;
    filled += static_cast<std::size_t>(got);
  }
  unread_ -= filled - kept;
  data_ = std::string_view(window_.data(), filled);
  pos_ = 0;
  return true;
}

bool ArchiveReader::ReadByte(std::uint8_t* value) {
  const char* bytes = nullptr;
  if (!Take(1, &bytes)) return false;
  *value = static_cast<std::uint8_t>(*bytes);
  return true;
}

bool ArchiveReader::ReadWord(std::uint16_t* value) {
  const char* bytes = nullptr;
  if (!Take(2, &bytes)) return false;
  *value = GetLittleEndian<std::uint16_t>(bytes);
  return true;
}

bool ArchiveReader::ReadDword(std::uint32_t* value) {
  const char* bytes = nullptr;
  if (!Take(4, &bytes)) return false;
  *value = GetLittleEndian<std::uint32_t>(bytes);
  return true;
}

bool ArchiveReader::ReadInt32(std::int32_t* value) {
  std::uint32_t raw = 0;
  if (!ReadDword(&raw)) return false;
  *value = static_cast<std::int32_t>(raw);
  return true;
}

bool ArchiveReader::ReadUint64(std::uint64_t* value) {
  const char* bytes = nullptr;
  if (!Take(8, &bytes)) return false;
  *value = GetLittleEndian<std::uint64_t>(bytes);
  return true;
}

bool ArchiveReader::ReadInt64(std::int64_t* value) {
  std::uint64_t raw = 0;
  if (!ReadUint64(&raw)) return false;
  *value = static_cast<std::int64_t>(raw);
  return true;
}

bool ArchiveReader::ReadTime(std::int64_t* seconds) { return ReadInt64(seconds); }

// The length prefix in the order the framework tries its forms: byte, WORD,
// DWORD, QWORD, with the wide-text marker 0xFF 0xFFFE starting over once.
bool ArchiveReader::ReadLength(std::uint64_t* length, bool* wide) {
  *wide = false;
  std::uint8_t byteLength = 0;
  if (!ReadByte(&byteLength)) return false;
  if (byteLength < 0xFF) {
    *length = byteLength;
    return true;
  }
  std::uint16_t wordLength = 0;
  if (!ReadWord(&wordLength)) return false;
  if (wordLength == 0xFFFE) {
    *wide = true;
    if (!ReadByte(&byteLength)) return false;
    if (byteLength < 0xFF) {
      *length = byteLength;
      return true;
    }
    if (!ReadWord(&wordLength)) return false;
  }
  if (wordLength < 0xFFFE) {
    *length = wordLength;
    return true;
  }
  std::uint32_t dwordLength = 0;
  if (!ReadDword(&dwordLength)) return false;
  if (dwordLength < 0xFFFFFFFF) {
    *length = dwordLength;
    return true;
  }
  return ReadUint64(length);
}

bool ArchiveReader::ReadText(std::string* text) {
  std::uint64_t length = 0;
  bool wide = false;
  if (!ReadLength(&length, &wide)) return false;
  const std::uint64_t unit = wide ? 2 : 1;
  if (length > remaining() / unit) return Fail();
  const char* bytes = nullptr;
  if (!Take(static_cast<std::size_t>(length * unit), &bytes)) return false;
  if (wide)
    *text = Utf8ToAnsi(Utf16ToUtf8(Utf16Le(bytes, static_cast<std::size_t>(length))));
  else
    text->assign(bytes, static_cast<std::size_t>(length));
  return true;
}

bool ArchiveReader::ReadCount(std::uint64_t* count, std::uint64_t minElementBytes) {
  std::uint64_t value = 0;
  std::uint16_t wordCount = 0;
  std::uint32_t dwordCount = 0;
  if (!ReadWord(&wordCount)) return false;
  if (wordCount != 0xFFFF) {
    value = wordCount;
  } else if (!ReadDword(&dwordCount)) {
    return false;
  } else if (dwordCount != 0xFFFFFFFF) {
    value = dwordCount;
  } else if (!ReadUint64(&value)) {
    return false;
  }
  if (minElementBytes != 0 && value > remaining() / minElementBytes) return Fail();
  *count = value;
  return true;
}

bool ArchiveReader::AddEntry(std::uint32_t entry) {
  if (entries_.size() >= kMaxMapCount) return Fail();
  entries_.push_back(entry);
  return true;
}

bool ArchiveReader::FindKnown(std::span<const ArchiveClass> known, std::string_view name,
                              std::size_t* position) const {
  for (std::size_t i = 0; i < known.size(); ++i) {
    if (known[i].name == name) {
      *position = i;
      return true;
    }
  }
  return false;
}

bool ArchiveReader::ReadObject(std::span<const ArchiveClass> known, ObjectRef* ref) {
  std::uint16_t wordTag = 0;
  if (!ReadWord(&wordTag)) return false;
  std::uint32_t tag = 0;
  if (wordTag == kBigObjectTag) {
    if (!ReadDword(&tag)) return false;
  } else {
    tag = (static_cast<std::uint32_t>(wordTag & kClassTag) << 16) | (wordTag & ~kClassTag & 0xFFFF);
  }

  if ((tag & kBigClassTag) == 0) {
    // A reference to an object read before (or to index 0, the null object).
    if (tag >= entries_.size()) return Fail();
    const std::uint32_t entry = entries_[tag];
    if (entry == kNullEntry) {
      *ref = ObjectRef{};
      return true;
    }
    if ((entry & kClassEntry) != 0) return Fail();
    std::size_t position = 0;
    if (!FindKnown(known, classNames_[entries_[entry] & ~kClassEntry], &position)) return Fail();
    *ref = ObjectRef{ObjectRef::Kind::Existing, position, tag};
    return true;
  }

  std::uint32_t classEntry = 0;
  std::size_t position = 0;
  if (wordTag == kNewClassTag) {
    std::uint16_t schema = 0;
    std::uint16_t nameLength = 0;
    const char* name = nullptr;
    if (!ReadWord(&schema) || !ReadWord(&nameLength)) return false;
    if (!Take(nameLength, &name)) return false;
    const std::string_view className(name, nameLength);
    if (!FindKnown(known, className, &position) || known[position].schema != schema) return Fail();
    classEntry = static_cast<std::uint32_t>(entries_.size());
    if (!AddEntry(kClassEntry | static_cast<std::uint32_t>(classNames_.size()))) return false;
    classNames_.emplace_back(className);
  } else {
    classEntry = tag & ~kBigClassTag;
    if (classEntry >= entries_.size()) return Fail();
    const std::uint32_t entry = entries_[classEntry];
    if (entry == kNullEntry || (entry & kClassEntry) == 0) return Fail();
    if (!FindKnown(known, classNames_[entry & ~kClassEntry], &position)) return Fail();
  }

  const auto index = static_cast<std::uint32_t>(entries_.size());
  if (!AddEntry(classEntry)) return false;
  *ref = ObjectRef{ObjectRef::Kind::New, position, index};
  return true;
}

}  // namespace auralith

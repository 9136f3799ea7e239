#include "builder/file_info.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>

#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/mpegproperties.h>
#include <taglib/tiostream.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisfile.h>

#include "base/code_page.h"
#include "base/path.h"
#include "base/read_only_file.h"
#include "base/strings.h"

namespace auralith {

std::string StripLeadingNumbers(std::string_view name) {
  std::size_t i = 0;
  while (i < name.size() && name[i] >= '0' && name[i] <= '9') ++i;
  while (i < name.size() && (name[i] == ' ' || name[i] == '\t' || name[i] == '_' || name[i] == '-')) ++i;
  return std::string(name.substr(i));
}

namespace {

constexpr std::int32_t kLongest = std::numeric_limits<std::int32_t>::max();

// What one file's tags say. Artist and album only fill what the folders and
// the file-name pattern left empty; a tag's track and title win over theirs.
struct TagTexts {
  std::string artist;
  std::string album;
  std::string title;
  std::string track;
};

void ApplyTagTexts(const TagTexts& tag, AFileInfo& record) {
  if (record.artist.empty()) record.artist = tag.artist;
  if (record.album.empty()) record.album = tag.album;
  if (!tag.track.empty()) record.track = tag.track;
  if (!tag.title.empty()) record.title = tag.title;
}

// A music file read through a few large reads. TagLib and libvorbisfile ask
// for many small pieces at scattered places (the tag at the front, frames
// after it, ID3v1 and the last page at the end), and each piece read from
// the file itself is a system call: two dozen a file, and under Wine each
// costs several times what it costs natively. Aligned blocks of 64 KiB are
// kept, the least recently used one making way.
class BlockFile {
 public:
  // `knownSize` is the size the scan found, or -1: a file of that size needs
  // no call to learn it, nor a read that finds its end.
  BlockFile(const std::string& file, std::int64_t knownSize, ReadBuffers& buffers)
      : file_(file), buffers_(buffers), size_(knownSize) {}

  bool IsOpen() const { return file_.IsOpen(); }

  // Most music files of a small collection fit in the first block, whose
  // short read tells their size; only a longer file asks the system.
  std::int64_t Size() {
    if (size_ < 0 && IsOpen()) Load(0);
    if (size_ < 0 && IsOpen()) size_ = file_.Size();
    return std::max<std::int64_t>(size_, 0);
  }

  // Copies up to `count` bytes from `offset`; fewer at the end of the file
  // or where it cannot be read.
  std::size_t Read(std::int64_t offset, void* into, std::size_t count) {
    char* out = static_cast<char*>(into);
    std::size_t done = 0;
    while (done < count && offset >= 0) {
      const Block* block = Load(offset - offset % kBlockSize);
      const std::size_t at = static_cast<std::size_t>(offset % kBlockSize);
      if (block == nullptr || at >= block->size) break;
      const std::size_t piece = std::min(count - done, block->size - at);
      std::memcpy(out + done, block->bytes + at, piece);
      done += piece;
      offset += static_cast<std::int64_t>(piece);
    }
    return done;
  }

 private:
  static constexpr std::int64_t kBlockSize = 64 * 1024;
  static constexpr std::size_t kBlocks = std::tuple_size_v<decltype(ReadBuffers::blocks)>;
  struct Block {
    std::int64_t offset = -1;
    std::size_t size = 0;
    std::uint64_t used = 0;
    char* bytes = nullptr;
  };

  const Block* Load(std::int64_t offset) {
    if (!IsOpen() || (size_ >= 0 && offset >= size_)) return nullptr;
    Block* oldest = &blocks_[0];
    for (Block& block : blocks_) {
      if (block.offset == offset) {
        block.used = ++clock_;
        return &block;
      }
      if (block.used < oldest->used) oldest = &block;
    }
    if (oldest->bytes == nullptr) {
      std::unique_ptr<char[]>& buffer = buffers_.blocks[static_cast<std::size_t>(oldest - blocks_.data())];
      if (!buffer) buffer.reset(new char[kBlockSize]);
      oldest->bytes = buffer.get();
    }
    oldest->offset = -1;
    const std::size_t wanted = static_cast<std::size_t>(size_ < 0 ? kBlockSize : std::min(kBlockSize, size_ - offset));
    std::size_t got = 0;
    long long n = 0;
    while (got < wanted &&
           (n = file_.ReadAt(offset + static_cast<std::int64_t>(got), oldest->bytes + got, wanted - got)) > 0)
      got += static_cast<std::size_t>(n);
    // Ending early without an error is the end of the file, which has
    // shrunk since the scan if its size was known.
    if (got < wanted && n == 0) size_ = offset + static_cast<std::int64_t>(got);
    if (got == 0) return nullptr;
    oldest->offset = offset;
    oldest->size = got;
    oldest->used = ++clock_;
    return oldest;
  }

  ReadOnlyFile file_;
  ReadBuffers& buffers_;
  std::int64_t size_;  // -1: not yet known
  std::uint64_t clock_ = 0;
  std::array<Block, kBlocks> blocks_{};
};

// TagLib's view of a BlockFile: read-only, positions as TagLib 1.13 has
// them (a long, beyond which it cannot see).
class BlockStream final : public TagLib::IOStream {
 public:
  BlockStream(BlockFile& file, const std::string& name) : file_(file), name_(name) {}
  TagLib::FileName name() const override { return name_.c_str(); }
  TagLib::ByteVector readBlock(unsigned long length) override {
    const long long left = length_() - position_;
    if (left <= 0) return {};
    const auto count = static_cast<unsigned int>(std::min<long long>(left, std::min<unsigned long>(length, UINT32_MAX)));
    TagLib::ByteVector bytes(count, '\0');
    const std::size_t got = file_.Read(position_, bytes.data(), count);
    bytes.resize(static_cast<unsigned int>(got));
    position_ += static_cast<long>(got);
    return bytes;
  }
  void writeBlock(const TagLib::ByteVector&) override {}
  void insert(const TagLib::ByteVector&, unsigned long, unsigned long) override {}
  void removeBlock(unsigned long, unsigned long) override {}
  bool readOnly() const override { return true; }
  bool isOpen() const override { return file_.IsOpen(); }
  // Like a file: anywhere from its start on, past its end too.
  void seek(long offset, Position from) override {
    const long long base = from == Beginning ? 0 : from == Current ? position_ : length_();
    const long long target = base + offset;
    if (target >= 0 && target <= std::numeric_limits<long>::max()) position_ = static_cast<long>(target);
  }
  long tell() const override { return position_; }
  long length() override { return length_(); }
  void truncate(long) override {}

 private:
  long length_() { return static_cast<long>(std::min<std::int64_t>(file_.Size(), std::numeric_limits<long>::max())); }

  BlockFile& file_;
  std::string name_;
  long position_ = 0;
};

// The size the scan found; a record with none (0 may be an empty file too)
// has its file asked.
std::int64_t KnownSize(const AFileInfo& record) {
  return record.size > 0 && record.size <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
             ? static_cast<std::int64_t>(record.size)
             : -1;
}

// ------------------------------------------------------------------ MP3

std::string ToAnsi(const TagLib::String& text) { return Utf8ToAnsi(text.to8Bit(true)); }

// The first non-empty text among the frames of one ID, or "".
std::string FrameText(const TagLib::ID3v2::Tag* tag, const char* id) {
  if (tag == nullptr) return {};
  const TagLib::ID3v2::FrameListMap& frames = tag->frameListMap();
  const auto found = frames.find(TagLib::ByteVector(id));
  if (found == frames.end()) return {};
  for (const TagLib::ID3v2::Frame* frame : found->second) {
    const TagLib::String text = frame->toString();
    if (!text.isEmpty()) return ToAnsi(text);
  }
  return {};
}

// ID3v2 first; the older ID3v1 tag only for what ID3v2 does not give.
TagTexts Id3Texts(TagLib::MPEG::File& mpeg) {
  const TagLib::ID3v2::Tag* v2 = mpeg.hasID3v2Tag() ? mpeg.ID3v2Tag() : nullptr;
  const TagLib::ID3v1::Tag* v1 = mpeg.hasID3v1Tag() ? mpeg.ID3v1Tag() : nullptr;
  TagTexts texts;
  // The lead performer, else the band, the conductor, the composer.
  for (const char* id : {"TPE1", "TPE2", "TPE3", "TCOM"}) {
    texts.artist = FrameText(v2, id);
    if (!texts.artist.empty()) break;
  }
  texts.album = FrameText(v2, "TALB");
  texts.title = FrameText(v2, "TIT2");
  texts.track = FrameText(v2, "TRCK");  // as written: "5/12" stays "5/12"
  if (v1 != nullptr) {
    if (texts.artist.empty()) texts.artist = ToAnsi(v1->artist());
    if (texts.album.empty()) texts.album = ToAnsi(v1->album());
    if (texts.title.empty()) texts.title = ToAnsi(v1->title());
    if (texts.track.empty() && v1->track() != 0) texts.track = ToDecimal(v1->track());
  }
  return texts;
}

// False when the file cannot be opened or holds no MPEG audio frame. Tag
// texts taken before that is known stay in the record.
bool ReadMp3(const std::string& file, bool readTags, AFileInfo& record, ReadBuffers& buffers) {
  BlockFile blocks(file, KnownSize(record), buffers);
  if (!blocks.IsOpen()) return false;
  BlockStream stream(blocks, file);
  // The average style reads the first frame and, for VBR streams, its Xing
  // or VBRI header: exact without a walk over the whole file. (TagLib 1.13
  // reads MPEG the same way in every style.)
  TagLib::MPEG::File mpeg(&stream, TagLib::ID3v2::FrameFactory::instance(), true,
                          TagLib::AudioProperties::Average);
  if (!mpeg.isValid()) return false;
  if (readTags) ApplyTagTexts(Id3Texts(mpeg), record);
  // TagLib keeps its properties object even when it finds no frame; it then
  // reports no sample rate and no bit rate. The length of a real stream is
  // known from both.
  const TagLib::MPEG::Properties* audio = mpeg.audioProperties();
  if (audio == nullptr || audio->sampleRate() <= 0 || audio->bitrate() <= 0) return false;
  const int milliseconds = audio->lengthInMilliseconds();
  record.length = milliseconds > 0 ? milliseconds / 1000 : 0;
  return true;
}

// ------------------------------------------------------------------ Ogg

std::string FirstComment(vorbis_comment* comments, const char* field) {
  const char* value = vorbis_comment_query(comments, field, 0);
  return value == nullptr ? std::string() : Utf8ToAnsi(value);
}

// libvorbisfile's reader: its calls on a BlockFile and a position.
struct OggSource {
  BlockFile& file;
  std::int64_t position = 0;

  static std::size_t Read(void* into, std::size_t size, std::size_t count, void* source) {
    auto& self = *static_cast<OggSource*>(source);
    if (size == 0) return 0;
    const std::size_t got = self.file.Read(self.position, into, size * std::min(count, SIZE_MAX / size));
    self.position += static_cast<std::int64_t>(got);
    return got / size;
  }
  static int Seek(void* source, ogg_int64_t offset, int whence) {
    auto& self = *static_cast<OggSource*>(source);
    const std::int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? self.position : self.file.Size();
    if (offset < -base || offset > std::numeric_limits<std::int64_t>::max() - base) return -1;
    self.position = base + offset;
    return 0;
  }
  static long Tell(void* source) { return static_cast<long>(static_cast<OggSource*>(source)->position); }
};

// A file that cannot be opened or is no Ogg Vorbis stream keeps its length
// unknown without an alert.
void ReadOgg(const std::string& file, bool readTags, AFileInfo& record, ReadBuffers& buffers) {
  BlockFile blocks(file, KnownSize(record), buffers);
  if (!blocks.IsOpen()) return;
  OggSource source{blocks};
  OggVorbis_File vf;
  if (ov_open_callbacks(&source, &vf, nullptr, 0, {&OggSource::Read, &OggSource::Seek, nullptr, &OggSource::Tell}) < 0)
    return;
  struct Clear {
    OggVorbis_File* vf;
    ~Clear() { ov_clear(vf); }
  } clear{&vf};

  if (readTags) {
    if (vorbis_comment* comments = ov_comment(&vf, -1)) {
      TagTexts texts;
      texts.artist = FirstComment(comments, "ARTIST");
      texts.album = FirstComment(comments, "ALBUM");
      texts.title = FirstComment(comments, "TITLE");
      texts.track = FirstComment(comments, "TRACKNUMBER");
      ApplyTagTexts(texts, record);
    }
  }
  // A damaged stream can claim any granule position: a time that is no
  // number of seconds a record can hold stays unknown.
  const double seconds = ov_time_total(&vf, -1);
  if (std::isfinite(seconds) && seconds >= 0 && seconds < static_cast<double>(kLongest) + 1)
    record.length = static_cast<std::int32_t>(seconds);
}

// ------------------------------------------------------------------ WAV

std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The length follows from the RIFF chunk size and the average byte rate of
// the format chunk; only the first letters of the three chunk tags are
// checked.
void ReadWav(const std::string& file, AFileInfo& record, ReadBuffers& buffers) {
  BlockFile blocks(file, KnownSize(record), buffers);
  unsigned char header[36];
  if (!blocks.IsOpen() || blocks.Read(0, header, sizeof header) != sizeof header) return;
  if (header[0] != 'R' || header[8] != 'W' || header[12] != 'f') return;
  const std::uint32_t chunkSize = Le32(header + 4);
  std::uint32_t bytesPerSecond = Le32(header + 28);
  if (bytesPerSecond == 0) bytesPerSecond = 1;
  // A chunk smaller than the header it must contain would wrap around to
  // hours of playing time; such a header tells nothing.
  if (chunkSize < 28) return;
  const std::uint32_t seconds = (chunkSize - 28) / bytesPerSecond;
  if (seconds > static_cast<std::uint32_t>(kLongest)) return;
  record.length = static_cast<std::int32_t>(seconds);
}

// ------------------------------------------------------------------ failure

void ReportReadingError(AFileInfo& record, Settings& settings, Prompter& prompter) {
  // Fresh from the registry: another run may have switched the alert off.
  if (settings._4_ignorefileinfo.Read() == 0) {
    const std::string text = "Error reading information from file \"" + record.path +
                             "\"\n\nDo you want to be alerted if this type of error occurs again?";
    if (prompter.Message(text, "Error", MessageButtons::YesNo, MessageIcon::Error) == MessageAnswer::No)
      settings._4_ignorefileinfo.Set(1);
  }
  record.length = -1;
}

void ApplyTitleFallback(AFileInfo& record, Settings& settings) {
  if (!record.title.empty()) return;
  std::string title = FileNamePart(record.path);
  const auto dot = title.rfind('.');
  if (dot != std::string::npos) title.erase(dot);
  if (settings._4_prefix.Get() != 0) title = StripLeadingNumbers(title);
  record.title = std::move(title);
}

}  // namespace

TagReadOptions TagReadOptionsFrom(Settings& settings) {
  return {WithTrailingSeparator(settings._4_music.Get()), settings._4_id3.Get() != 0};
}

bool ReadTags(AFileInfo& record, const TagReadOptions& options, ReadBuffers& buffers) {
  if (record.path.size() < 4) return true;
  const std::string ending = AsciiLower(std::string_view(record.path).substr(record.path.size() - 4));
  const bool mp3 = ending == ".mp3";
  if (!mp3 && ending != ".ogg" && ending != ".wav") return true;
  try {
    const std::string file = options.root + record.path;
    if (mp3) return ReadMp3(file, options.readTags, record, buffers);
    if (ending == ".ogg") {
      ReadOgg(file, options.readTags, record, buffers);
    } else {
      ReadWav(file, record, buffers);
    }
    return true;
  } catch (...) {
    // Out of memory on a huge tag, or a library refusing its input: the
    // file is skipped like any unreadable one; the run goes on.
    return false;
  }
}

bool ReadTags(AFileInfo& record, const TagReadOptions& options) {
  ReadBuffers buffers;
  return ReadTags(record, options, buffers);
}

void FinishFileInfo(AFileInfo& record, bool readOk, Settings& settings, Prompter& prompter) {
  if (!readOk) ReportReadingError(record, settings, prompter);
  ApplyTitleFallback(record, settings);
}

void ReadFileInfo(AFileInfo& record, Settings& settings, Prompter& prompter) {
  FinishFileInfo(record, ReadTags(record, TagReadOptionsFrom(settings)), settings, prompter);
}

}  // namespace auralith

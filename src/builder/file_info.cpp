#include "builder/file_info.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <new>
#include <string>

#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/mpegproperties.h>
#include <taglib/tfilestream.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisfile.h>

#include "base/code_page.h"
#include "base/path.h"
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

// Texts are kept in the process's code page; a path is handed to the system
// as UTF-16 on Windows, so names the ANSI file API cannot spell still open.
#ifdef _WIN32
std::wstring WidePath(const std::string& file) {
  const std::u16string wide = AnsiToUtf16(file);
  return std::wstring(wide.begin(), wide.end());
}
std::FILE* OpenForReading(const std::string& file) { return _wfopen(WidePath(file).c_str(), L"rb"); }
#else
std::FILE* OpenForReading(const std::string& file) { return std::fopen(file.c_str(), "rb"); }
#endif

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

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
bool ReadMp3(const std::string& file, bool readTags, AFileInfo& record) {
#ifdef _WIN32
  const std::wstring wide = WidePath(file);
  TagLib::FileStream stream(wide.c_str(), /*openReadOnly=*/true);
#else
  TagLib::FileStream stream(file.c_str(), /*openReadOnly=*/true);
#endif
  if (!stream.isOpen()) return false;
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

// A file that cannot be opened or is no Ogg Vorbis stream keeps its length
// unknown without an alert.
void ReadOgg(const std::string& file, bool readTags, AFileInfo& record) {
  std::FILE* f = OpenForReading(file);
  if (f == nullptr) return;
  OggVorbis_File vf;
  if (ov_open(f, &vf, nullptr, 0) < 0) {
    std::fclose(f);  // a failed open leaves the file to its caller
    return;
  }
  struct Clear {
    OggVorbis_File* vf;
    ~Clear() { ov_clear(vf); }  // closes the file as well
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
void ReadWav(const std::string& file, AFileInfo& record) {
  const FilePtr f(OpenForReading(file));
  if (!f) return;
  unsigned char header[36];
  if (std::fread(header, 1, sizeof header, f.get()) != sizeof header) return;
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

bool ReadTags(AFileInfo& record, const TagReadOptions& options) {
  if (record.path.size() < 4) return true;
  const std::string ending = AsciiLower(std::string_view(record.path).substr(record.path.size() - 4));
  const bool mp3 = ending == ".mp3";
  if (!mp3 && ending != ".ogg" && ending != ".wav") return true;
  try {
    const std::string file = options.root + record.path;
    if (mp3) return ReadMp3(file, options.readTags, record);
    if (ending == ".ogg") {
      ReadOgg(file, options.readTags, record);
    } else {
      ReadWav(file, record);
    }
    return true;
  } catch (...) {
    // Out of memory on a huge tag, or a library refusing its input: the
    // file is skipped like any unreadable one; the run goes on.
    return false;
  }
}

void FinishFileInfo(AFileInfo& record, bool readOk, Settings& settings, Prompter& prompter) {
  if (!readOk) ReportReadingError(record, settings, prompter);
  ApplyTitleFallback(record, settings);
}

void ReadFileInfo(AFileInfo& record, Settings& settings, Prompter& prompter) {
  FinishFileInfo(record, ReadTags(record, TagReadOptionsFrom(settings)), settings, prompter);
}

}  // namespace auralith

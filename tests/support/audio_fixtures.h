#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Real audio files made at run time, so no binary sample lives in the tree: each function returns the file's bytes,
// deterministically and cheaply enough for the benchmark's corpus generator (Ogg audio is encoded once per process and
// every stream is laid out from those packets).
namespace auralith::testing {

enum class MpegVersion { Mpeg1, Mpeg2 };  // Layer III at 44.1 kHz / 22.05 kHz

// ID3v1 (128 bytes at the end: artist, album, title, track number); ID3v2.3
// text frames in ISO-8859-1 or UTF-16 with BOM; ID3v2.4 in UTF-8.
enum class TagKind { Id3v1, Id3v23Latin1, Id3v23Utf16, Id3v24Utf8 };

// Texts are UTF-8; an empty text writes no frame (no field for ID3v1, whose track is a number: "" or "0" writes none).
// Every member has a default, so designated initializers may name only the fields a case needs.
struct TagShape {
  TagKind kind = TagKind::Id3v24Utf8;
  std::string artist{};  // TPE1
  std::string album{};   // TALB
  std::string title{};   // TIT2
  std::string track{};   // TRCK as written, e.g. "5/12"
  std::string band{};       // TPE2, ID3v2 only
  std::string conductor{};  // TPE3, ID3v2 only
  std::string composer{};   // TCOM, ID3v2 only
};

struct Mp3Shape {
  MpegVersion version = MpegVersion::Mpeg1;
  double seconds = 1.0;  // rounded to whole frames (26.12 ms each)
  // kbit/s of the version's Layer III table; several values make a
  // variable-bit-rate stream, the frames taking them in turn.
  std::vector<int> kbps = {128};
  // A Xing frame (frame and byte counts) in front, as VBR encoders write.
  bool xing = false;
  // ID3v2 tags go in front of the audio, ID3v1 behind it.
  std::vector<TagShape> tags{};
};

// Silent MPEG audio frames with their tags.
std::string MakeMp3(const Mp3Shape& shape);

// A rendered ID3v2 or ID3v1 tag on its own: as a file, tags but no audio.
std::string MakeId3Tag(const TagShape& tag);

// Field name and value, both as stored (UTF-8; the name's case is kept).
using VorbisComment = std::pair<std::string, std::string>;

// A mono 8 kHz Ogg Vorbis stream (a quiet tone) of exactly `seconds`, rounded
// to whole samples, carrying the comments in the given order.
std::string MakeOgg(double seconds, const std::vector<VorbisComment>& comments = {});

// A silent 16-bit PCM RIFF/WAVE file with the plain 44-byte header.
std::string MakeWav(double seconds, int sampleRate = 44100, int channels = 2);

// Forges a 32-bit little-endian field at `offset`, growing `bytes` if needed.
void PutLe32(std::string& bytes, std::size_t offset, std::uint32_t value);

// Text without any audio signature or frame sync, as a misnamed file holds.
std::string MakeGarbage(std::size_t size);

}  // namespace auralith::testing

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Real audio files made at run time, so no binary sample lives in the tree.
// Every function returns the file's bytes; write them with WriteFile(). The
// output is deterministic, and all of it is cheap enough for the benchmark's
// corpus generator: MP3 and WAV are built by hand; Ogg audio is encoded once
// per process (a few milliseconds) and every stream is laid out from those
// packets, so a file of any length costs microseconds.
namespace auralith::testing {

// ------------------------------------------------------------------ MP3

enum class MpegVersion { Mpeg1, Mpeg2 };  // Layer III at 44.1 kHz / 22.05 kHz

enum class TagKind {
  Id3v1,          // 128 bytes at the end: artist, album, title, track number
  Id3v23Latin1,   // ID3v2.3, ISO-8859-1 text frames
  Id3v23Utf16,    // ID3v2.3, UTF-16 with BOM
  Id3v24Utf8,     // ID3v2.4, UTF-8
};

// Texts are UTF-8; an empty text writes no frame (no field for ID3v1, whose
// track is a number: "" or "0" writes none). Every member has a default, so
// designated initializers may name only the fields a case needs.
struct TagSpec {
  TagKind kind = TagKind::Id3v24Utf8;
  std::string artist{};  // TPE1
  std::string album{};   // TALB
  std::string title{};   // TIT2
  std::string track{};   // TRCK as written, e.g. "5/12"
  std::string band{};       // TPE2, ID3v2 only
  std::string conductor{};  // TPE3, ID3v2 only
  std::string composer{};   // TCOM, ID3v2 only
};

struct Mp3Spec {
  MpegVersion version = MpegVersion::Mpeg1;
  double seconds = 1.0;  // rounded to whole frames (26.12 ms each)
  // One value: constant bit rate. Several: the frames take them in turn,
  // which makes a variable-bit-rate stream. Values in kbit/s, from the
  // version's Layer III table.
  std::vector<int> kbps = {128};
  // A Xing header frame (frame count and byte count) in front of the audio,
  // as encoders write for VBR streams.
  bool xing = false;
  // ID3v2 tags go in front of the audio, ID3v1 behind it.
  std::vector<TagSpec> tags{};
};

// Silent MPEG audio frames with their tags.
std::string MakeMp3(const Mp3Spec& shape);

// The audio frames of `shape` alone (no Xing frame counted) and their
// playing time in milliseconds.
int Mp3FrameCount(const Mp3Spec& shape);
double Mp3Milliseconds(const Mp3Spec& shape);

// A rendered ID3v2 tag (ID3v2 kinds) or ID3v1 tag, on its own: an MP3 file
// made of nothing else has tags but no MPEG audio.
std::string MakeId3Tag(const TagSpec& tag);

// ------------------------------------------------------------------ Ogg

// Field name and value, both as stored (UTF-8; the name's case is kept).
using VorbisComment = std::pair<std::string, std::string>;

// A mono 8 kHz Ogg Vorbis stream (a quiet tone) of exactly `seconds`, rounded
// to whole samples, carrying the comments in the given order.
std::string MakeOgg(double seconds, const std::vector<VorbisComment>& comments = {});

// ------------------------------------------------------------------ WAV

// A silent 16-bit PCM RIFF/WAVE file with a 44-byte header: RIFF chunk size
// 36 + data bytes, average bytes per second sampleRate * channels * 2.
std::string MakeWav(double seconds, int sampleRate = 44100, int channels = 2);

// ------------------------------------------------------------------ damage

// Stores a 32-bit little-endian value at `offset`, growing `bytes` if needed
// (to forge a header field such as a WAV chunk size).
void PutLe32(std::string& bytes, std::size_t offset, std::uint32_t value);

// Deterministic bytes that hold no MPEG frame sync, no RIFF, Ogg or ID3
// signature: what a misnamed text or a damaged download looks like.
std::string MakeGarbage(std::size_t size);

}  // namespace auralith::testing

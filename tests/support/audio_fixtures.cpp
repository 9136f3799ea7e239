#include "support/audio_fixtures.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <ogg/ogg.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisenc.h>

#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/textidentificationframe.h>

namespace auralith::testing {

namespace {

std::string ToStd(const TagLib::ByteVector& data) { return std::string(data.data(), data.size()); }

void AppendLe16(std::string& out, std::uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void AppendLe32(std::string& out, std::uint32_t v) {
  AppendLe16(out, v & 0xFFFF);
  AppendLe16(out, v >> 16);
}

void AppendBe32(std::string& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

// ------------------------------------------------------------------ MPEG

struct MpegLayout {
  int sampleRate;
  int samplesPerFrame;
  int slotCoefficient;  // frame bytes = coefficient * kbit/s / sample rate
  int sideInfoBytes;    // stereo
  unsigned char versionBits;  // second header byte: sync, version, Layer III, no CRC
  std::vector<int> bitrates;  // index 1..14
};

const MpegLayout& Layout(MpegVersion version) {
  static const MpegLayout mpeg1{44100, 1152, 144000, 32, 0xFB,
                                {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}};
  static const MpegLayout mpeg2{22050, 576, 72000, 17, 0xF3,
                                {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
  return version == MpegVersion::Mpeg1 ? mpeg1 : mpeg2;
}

int BitrateIndex(const MpegLayout& layout, int kbps) {
  const auto it = std::find(layout.bitrates.begin(), layout.bitrates.end(), kbps);
  if (it == layout.bitrates.end()) throw std::invalid_argument("no such Layer III bit rate: " + std::to_string(kbps));
  return static_cast<int>(it - layout.bitrates.begin()) + 1;
}

// Hands out frame sizes the way an encoder pads: the fractional bytes of
// every frame add up, and a frame takes one padding byte whenever they reach
// a whole one, so the stream's length matches its bit rate exactly.
class FrameWriter {
 public:
  explicit FrameWriter(const MpegLayout& layout) : layout_(layout) {}

  // Appends a silent frame (zeroed side information and main data) and
  // returns the offset of its first byte.
  std::size_t Append(std::string& out, int kbps) {
    const long long numerator = static_cast<long long>(layout_.slotCoefficient) * kbps;
    std::size_t size = static_cast<std::size_t>(numerator / layout_.sampleRate);
    remainder_ += numerator % layout_.sampleRate;
    bool padding = false;
    if (remainder_ >= layout_.sampleRate) {
      remainder_ -= layout_.sampleRate;
      padding = true;
      ++size;
    }
    const std::size_t start = out.size();
    out.push_back(static_cast<char>(0xFF));
    out.push_back(static_cast<char>(layout_.versionBits));
    // Bit rate index, sample rate index 0, padding bit.
    out.push_back(static_cast<char>((BitrateIndex(layout_, kbps) << 4) | (padding ? 0x02 : 0x00)));
    out.push_back(static_cast<char>(0x04));  // stereo, original
    out.append(size - 4, '\0');
    return start;
  }

 private:
  const MpegLayout& layout_;
  long long remainder_ = 0;
};


int FrameCount(const Mp3Spec& shape) {
  const MpegLayout& layout = Layout(shape.version);
  return static_cast<int>(std::llround(shape.seconds * layout.sampleRate / layout.samplesPerFrame));
}

// The Xing frame must hold the side information and the 16 bytes of the
// header ("Xing", flags, frames, bytes); the smallest MPEG-2 frames do not.
int XingFrameKbps(const Mp3Spec& shape) {
  return std::max(32, *std::max_element(shape.kbps.begin(), shape.kbps.end()));
}

std::string MakeAudioFrames(const Mp3Spec& shape) {
  if (shape.kbps.empty()) throw std::invalid_argument("Mp3Spec needs at least one bit rate");
  const MpegLayout& layout = Layout(shape.version);
  const int frames = FrameCount(shape);
  FrameWriter writer(layout);
  std::string out;
  out.reserve(static_cast<std::size_t>(frames + 1) * 1500);
  std::size_t xingFrame = 0;
  if (shape.xing) xingFrame = writer.Append(out, XingFrameKbps(shape));
  for (int i = 0; i < frames; ++i) writer.Append(out, shape.kbps[static_cast<std::size_t>(i) % shape.kbps.size()]);
  if (shape.xing) {
    std::string header = "Xing";
    AppendBe32(header, 0x03);  // frame and byte counts present
    AppendBe32(header, static_cast<std::uint32_t>(frames));
    AppendBe32(header, static_cast<std::uint32_t>(out.size()));
    out.replace(xingFrame + 4 + static_cast<std::size_t>(layout.sideInfoBytes), header.size(), header);
  }
  return out;
}

TagLib::String Utf8(const std::string& text) { return TagLib::String(text, TagLib::String::UTF8); }

std::string RenderId3v2(const TagSpec& shape) {
  TagLib::String::Type encoding = TagLib::String::UTF8;
  if (shape.kind == TagKind::Id3v23Latin1) encoding = TagLib::String::Latin1;
  if (shape.kind == TagKind::Id3v23Utf16) encoding = TagLib::String::UTF16;
  TagLib::ID3v2::Tag tag;
  const std::pair<const char*, const std::string*> frames[] = {
      {"TPE1", &shape.artist}, {"TPE2", &shape.band},  {"TPE3", &shape.conductor}, {"TCOM", &shape.composer},
      {"TALB", &shape.album},  {"TIT2", &shape.title}, {"TRCK", &shape.track},
  };
  for (const auto& [id, text] : frames) {
    if (text->empty()) continue;
    auto* frame = new TagLib::ID3v2::TextIdentificationFrame(TagLib::ByteVector(id), encoding);
    frame->setText(Utf8(*text));
    tag.addFrame(frame);  // the tag owns it
  }
  return ToStd(tag.render(shape.kind == TagKind::Id3v24Utf8 ? TagLib::ID3v2::v4 : TagLib::ID3v2::v3));
}

std::string RenderId3v1(const TagSpec& shape) {
  TagLib::ID3v1::Tag tag;
  tag.setArtist(Utf8(shape.artist));
  tag.setAlbum(Utf8(shape.album));
  tag.setTitle(Utf8(shape.title));
  unsigned track = 0;
  for (char c : shape.track) {
    if (c < '0' || c > '9') break;
    track = track * 10 + static_cast<unsigned>(c - '0');
  }
  tag.setTrack(std::min(track, 255u));
  return ToStd(tag.render());
}

}  // namespace

int Mp3FrameCount(const Mp3Spec& shape) { return FrameCount(shape); }

double Mp3Milliseconds(const Mp3Spec& shape) {
  const MpegLayout& layout = Layout(shape.version);
  return FrameCount(shape) * 1000.0 * layout.samplesPerFrame / layout.sampleRate;
}

std::string MakeId3Tag(const TagSpec& tag) {
  return tag.kind == TagKind::Id3v1 ? RenderId3v1(tag) : RenderId3v2(tag);
}

std::string MakeMp3(const Mp3Spec& shape) {
  std::string front;
  std::string back;
  for (const TagSpec& tag : shape.tags) (tag.kind == TagKind::Id3v1 ? back : front) += MakeId3Tag(tag);
  return front + MakeAudioFrames(shape) + back;
}

// ------------------------------------------------------------------ Ogg

namespace {

// Mono 8 kHz at quality 0 uses one block size (512), so every audio packet
// but the first adds exactly 256 samples. That lets a stream of any length
// be laid out from the packets of one short encoding: the encoder runs once
// per process, and each file costs only its paging.
constexpr long kOggRate = 8000;
constexpr long kSamplesPerPacket = 256;
// A 500 Hz tone repeats every 16 samples, so the packets of the steady part
// can follow each other in any number without a seam.
constexpr double kToneHz = 500.0;
constexpr std::size_t kSteadyFirst = 8;   // past the encoder's start-up
constexpr std::size_t kSteadyCount = 32;  // 8,192 samples, a whole number of periods

struct VorbisTemplate {
  std::string identification;
  std::string codebooks;
  std::vector<std::string> audio;  // packet i ends at sample 256 * i
};

std::string PacketBytes(const ogg_packet& op) {
  return std::string(reinterpret_cast<const char*>(op.packet), static_cast<std::size_t>(op.bytes));
}

VorbisTemplate Encode() {
  VorbisTemplate out;
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, 1, kOggRate, 0.0f) != 0 || vorbis_info_blocksize(&vi, 0) != 2 * kSamplesPerPacket ||
      vorbis_info_blocksize(&vi, 1) != 2 * kSamplesPerPacket) {
    vorbis_info_clear(&vi);
    throw std::runtime_error("libvorbisenc does not give the single-block-size 8 kHz setup");
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);

  ogg_packet identification, comments, codebooks;
  vorbis_analysis_headerout(&vd, &vc, &identification, &comments, &codebooks);
  out.identification = PacketBytes(identification);
  out.codebooks = PacketBytes(codebooks);

  auto drain = [&] {
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet op;
      while (vorbis_bitrate_flushpacket(&vd, &op) == 1) out.audio.push_back(PacketBytes(op));
    }
  };
  constexpr long kSamples = 2 * kOggRate;
  float** buffer = vorbis_analysis_buffer(&vd, static_cast<int>(kSamples));
  for (long i = 0; i < kSamples; ++i)
    buffer[0][i] = 0.1f * static_cast<float>(std::sin(2.0 * 3.14159265358979 * kToneHz * static_cast<double>(i) / kOggRate));
  vorbis_analysis_wrote(&vd, static_cast<int>(kSamples));
  drain();
  vorbis_analysis_wrote(&vd, 0);
  drain();

  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  if (out.audio.size() < kSteadyFirst + kSteadyCount) throw std::runtime_error("too few Vorbis packets");
  return out;
}

const VorbisTemplate& Template() {
  static const VorbisTemplate encoded = Encode();  // thread-safe once
  return encoded;
}

class OggWriter {
 public:
  OggWriter() { ogg_stream_init(&os_, 0x41524c54); }
  ~OggWriter() { ogg_stream_clear(&os_); }
  OggWriter(const OggWriter&) = delete;
  OggWriter& operator=(const OggWriter&) = delete;

  void Add(const std::string& data, ogg_int64_t granule, bool last) {
    ogg_packet op{};
    op.packet = reinterpret_cast<unsigned char*>(const_cast<char*>(data.data()));
    op.bytes = static_cast<long>(data.size());
    op.b_o_s = packetNo_ == 0 ? 1 : 0;
    op.e_o_s = last ? 1 : 0;
    op.granulepos = granule;
    op.packetno = packetNo_++;
    ogg_stream_packetin(&os_, &op);  // copies the data
    ogg_page page;
    while (ogg_stream_pageout(&os_, &page) != 0) Append(page);
  }
  // Ends the current page; the audio must begin on a page of its own.
  void Flush() {
    ogg_page page;
    while (ogg_stream_flush(&os_, &page) != 0) Append(page);
  }
  std::string Take() {
    Flush();
    return std::move(out_);
  }

 private:
  void Append(const ogg_page& page) {
    out_.append(reinterpret_cast<const char*>(page.header), static_cast<std::size_t>(page.header_len));
    out_.append(reinterpret_cast<const char*>(page.body), static_cast<std::size_t>(page.body_len));
  }
  ogg_stream_state os_;
  ogg_int64_t packetNo_ = 0;
  std::string out_;
};

}  // namespace

std::string MakeOgg(double seconds, const std::vector<VorbisComment>& comments) {
  const VorbisTemplate& encoded = Template();
  const long long samples = std::max(0LL, std::llround(seconds * kOggRate));

  vorbis_comment vc;
  vorbis_comment_init(&vc);
  for (const auto& [name, value] : comments) vorbis_comment_add_tag(&vc, name.c_str(), value.c_str());
  ogg_packet commentPacket;
  vorbis_commentheader_out(&vc, &commentPacket);
  const std::string commentBytes = PacketBytes(commentPacket);
  ogg_packet_clear(&commentPacket);
  vorbis_comment_clear(&vc);

  OggWriter writer;
  writer.Add(encoded.identification, 0, false);
  writer.Add(commentBytes, 0, false);
  writer.Add(encoded.codebooks, 0, false);
  writer.Flush();
  // The first packet only primes the decoder; the last one's granule
  // position trims the stream to the exact sample count.
  const long long packets = 1 + (samples + kSamplesPerPacket - 1) / kSamplesPerPacket;
  for (long long i = 0; i < packets; ++i) {
    const auto index = static_cast<std::size_t>(i);
    const std::string& data =
        index < kSteadyFirst ? encoded.audio[index]
                             : encoded.audio[kSteadyFirst + (index - kSteadyFirst) % kSteadyCount];
    const bool last = i + 1 == packets;
    writer.Add(data, last ? samples : i * kSamplesPerPacket, last);
  }
  return writer.Take();
}

// ------------------------------------------------------------------ WAV

std::string MakeWav(double seconds, int sampleRate, int channels) {
  const auto blockAlign = static_cast<std::uint32_t>(channels * 2);
  const auto frames = static_cast<std::uint32_t>(std::llround(seconds * sampleRate));
  const std::uint32_t dataBytes = frames * blockAlign;
  std::string out;
  out.reserve(44 + dataBytes);
  out += "RIFF";
  AppendLe32(out, 36 + dataBytes);
  out += "WAVEfmt ";
  AppendLe32(out, 16);
  AppendLe16(out, 1);  // PCM
  AppendLe16(out, static_cast<std::uint32_t>(channels));
  AppendLe32(out, static_cast<std::uint32_t>(sampleRate));
  AppendLe32(out, static_cast<std::uint32_t>(sampleRate) * blockAlign);
  AppendLe16(out, blockAlign);
  AppendLe16(out, 16);
  out += "data";
  AppendLe32(out, dataBytes);
  out.append(dataBytes, '\0');
  return out;
}

// ------------------------------------------------------------------ damage

void PutLe32(std::string& bytes, std::size_t offset, std::uint32_t value) {
  if (bytes.size() < offset + 4) bytes.resize(offset + 4, '\0');
  for (int i = 0; i < 4; ++i) bytes[offset + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string MakeGarbage(std::size_t size) {
  static const std::string kText = "This is not audio, only some text in a file with a music name.\n";
  std::string out;
  out.reserve(size);
  while (out.size() < size) out.append(kText, 0, std::min(kText.size(), size - out.size()));
  return out;
}

}  // namespace auralith::testing

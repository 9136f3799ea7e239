#include "support/audio_fixtures.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
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

// `value` as `bytes` bytes, the least significant first unless `bigEndian`.
std::string Bytes(std::uint64_t value, int bytes, bool bigEndian = false) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * (bigEndian ? bytes - 1 - i : i))));
  return out;
}

struct MpegLayout {
  int sampleRate;
  int samplesPerFrame;
  int slotCoefficient;        // frame bytes = coefficient * kbit/s / sample rate
  int sideInfoBytes;          // stereo
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

std::string MakeAudioFrames(const Mp3Shape& shape) {
  if (shape.kbps.empty()) throw std::invalid_argument("Mp3Shape needs at least one bit rate");
  const MpegLayout& layout = Layout(shape.version);
  const auto frames = static_cast<int>(std::llround(shape.seconds * layout.sampleRate / layout.samplesPerFrame));
  std::string out;
  long long remainder = 0;
  // A silent frame (zeroed side information and main data), padded the way an encoder pads: the fractional bytes of
  // every frame add up, and a frame takes one padding byte whenever they reach a whole one, so the stream's length
  // matches its bit rate exactly.
  auto append = [&](int kbps) {
    const auto rate = std::find(layout.bitrates.begin(), layout.bitrates.end(), kbps);
    if (rate == layout.bitrates.end())
      throw std::invalid_argument("no such Layer III bit rate: " + std::to_string(kbps));
    const long long numerator = static_cast<long long>(layout.slotCoefficient) * kbps;
    remainder += numerator % layout.sampleRate;
    const bool padding = remainder >= layout.sampleRate;
    if (padding) remainder -= layout.sampleRate;
    const auto size = static_cast<std::size_t>(numerator / layout.sampleRate + (padding ? 1 : 0));
    // Sync and version; bit rate index, sample rate index 0, padding bit; stereo, original.
    const auto index = static_cast<std::uint32_t>(rate - layout.bitrates.begin() + 1);
    out += Bytes(0xFF000004u | layout.versionBits << 16 | index << 12 | (padding ? 0x200u : 0u), 4, true);
    out.append(size - 4, '\0');
  };
  // The Xing frame must hold the side information and the 16 bytes of the
  // header ("Xing", flags, frames, bytes); the smallest MPEG-2 frames do not.
  if (shape.xing) append(std::max(32, *std::max_element(shape.kbps.begin(), shape.kbps.end())));
  for (int i = 0; i < frames; ++i) append(shape.kbps[static_cast<std::size_t>(i) % shape.kbps.size()]);
  if (shape.xing) {
    // The flags say frame and byte counts are present.
    const std::string header = "Xing" + Bytes(0x03, 4, true) + Bytes(frames, 4, true) + Bytes(out.size(), 4, true);
    out.replace(4 + static_cast<std::size_t>(layout.sideInfoBytes), header.size(), header);
  }
  return out;
}

TagLib::String Utf8(const std::string& text) { return TagLib::String(text, TagLib::String::UTF8); }

std::string RenderId3v2(const TagShape& shape) {
  const TagLib::String::Type encoding = shape.kind == TagKind::Id3v23Latin1  ? TagLib::String::Latin1
                                        : shape.kind == TagKind::Id3v23Utf16 ? TagLib::String::UTF16
                                                                             : TagLib::String::UTF8;
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

std::string RenderId3v1(const TagShape& shape) {
  TagLib::ID3v1::Tag tag;
  tag.setArtist(Utf8(shape.artist));
  tag.setAlbum(Utf8(shape.album));
  tag.setTitle(Utf8(shape.title));
  tag.setTrack(static_cast<unsigned>(std::min(std::strtoul(shape.track.c_str(), nullptr, 10), 255ul)));
  return ToStd(tag.render());
}

// Mono 8 kHz at quality 0 uses one block size (512), so every audio packet but the first adds exactly 256 samples. That
// lets a stream of any length be laid out from the packets of one short encoding: the encoder runs once per process,
// and each file costs only its paging.
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

  constexpr long kSamples = 2 * kOggRate;
  float** buffer = vorbis_analysis_buffer(&vd, static_cast<int>(kSamples));
  for (long i = 0; i < kSamples; ++i)
    buffer[0][i] = 0.1f * static_cast<float>(std::sin(2.0 * 3.14159265358979 * kToneHz * i / kOggRate));
  for (const long written : {kSamples, 0L}) {  // the tone, then the end of the stream
    vorbis_analysis_wrote(&vd, static_cast<int>(written));
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet op;
      while (vorbis_bitrate_flushpacket(&vd, &op) == 1) out.audio.push_back(PacketBytes(op));
    }
  }
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  if (out.audio.size() < kSteadyFirst + kSteadyCount) throw std::runtime_error("too few Vorbis packets");
  return out;
}

}  // namespace

std::string MakeId3Tag(const TagShape& tag) {
  return tag.kind == TagKind::Id3v1 ? RenderId3v1(tag) : RenderId3v2(tag);
}

std::string MakeMp3(const Mp3Shape& shape) {
  std::string front, back;
  for (const TagShape& tag : shape.tags) (tag.kind == TagKind::Id3v1 ? back : front) += MakeId3Tag(tag);
  return front + MakeAudioFrames(shape) + back;
}

std::string MakeOgg(double seconds, const std::vector<VorbisComment>& comments) {
  static const VorbisTemplate encoded = Encode();  // thread-safe once
  const long long samples = std::max(0LL, std::llround(seconds * kOggRate));

  vorbis_comment vc;
  vorbis_comment_init(&vc);
  for (const auto& [name, value] : comments) vorbis_comment_add_tag(&vc, name.c_str(), value.c_str());
  ogg_packet commentPacket;
  vorbis_commentheader_out(&vc, &commentPacket);
  const std::string commentBytes = PacketBytes(commentPacket);
  ogg_packet_clear(&commentPacket);
  vorbis_comment_clear(&vc);

  std::string out;
  ogg_stream_state os;
  ogg_stream_init(&os, 0x41524c54);
  ogg_int64_t packetNo = 0;
  auto pages = [&](int (*next)(ogg_stream_state*, ogg_page*)) {
    for (ogg_page page; next(&os, &page) != 0;) {
      out.append(reinterpret_cast<const char*>(page.header), static_cast<std::size_t>(page.header_len));
      out.append(reinterpret_cast<const char*>(page.body), static_cast<std::size_t>(page.body_len));
    }
  };
  // Pages as they fill; with `flush`, the current page ended too.
  auto add = [&](const std::string& data, ogg_int64_t granule, bool last, bool flush) {
    ogg_packet op{.packet = reinterpret_cast<unsigned char*>(const_cast<char*>(data.data())),
                  .bytes = static_cast<long>(data.size()),
                  .b_o_s = packetNo == 0,
                  .e_o_s = last,
                  .granulepos = granule,
                  .packetno = packetNo++};
    ogg_stream_packetin(&os, &op);  // copies the data
    pages(ogg_stream_pageout);
    if (flush) pages(ogg_stream_flush);
  };
  add(encoded.identification, 0, false, false);
  add(commentBytes, 0, false, false);
  add(encoded.codebooks, 0, false, true);  // the audio begins on a page of its own
  // The first packet only primes the decoder; the last one's granule
  // position trims the stream to the exact sample count.
  const long long packets = 1 + (samples + kSamplesPerPacket - 1) / kSamplesPerPacket;
  for (long long i = 0; i < packets; ++i) {
    const auto index = static_cast<std::size_t>(i);
    const std::size_t packet = index < kSteadyFirst ? index : kSteadyFirst + (index - kSteadyFirst) % kSteadyCount;
    const std::string& data = encoded.audio[packet];
    const bool last = i + 1 == packets;
    add(data, last ? samples : i * kSamplesPerPacket, last, last);
  }
  ogg_stream_clear(&os);
  return out;
}

std::string MakeWav(double seconds, int sampleRate, int channels) {
  const auto blockAlign = static_cast<std::uint32_t>(channels * 2);
  const std::uint32_t dataBytes = static_cast<std::uint32_t>(std::llround(seconds * sampleRate)) * blockAlign;
  // The format: PCM, channels, sample rate, bytes per second, block size, bits per sample.
  const std::string format = Bytes(1, 2) + Bytes(channels, 2) + Bytes(sampleRate, 4) +
                             Bytes(sampleRate * blockAlign, 4) + Bytes(blockAlign, 2) + Bytes(16, 2);
  return "RIFF" + Bytes(36 + dataBytes, 4) + "WAVEfmt " + Bytes(format.size(), 4) + format + "data" +
         Bytes(dataBytes, 4) + std::string(dataBytes, '\0');
}

void PutLe32(std::string& bytes, std::size_t offset, std::uint32_t value) {
  if (bytes.size() < offset + 4) bytes.resize(offset + 4, '\0');
  bytes.replace(offset, 4, Bytes(value, 4));
}

std::string MakeGarbage(std::size_t size) {
  static const std::string kText = "This is not audio, only some text in a file with a music name.\n";
  std::string out;
  while (out.size() < size) out.append(kText, 0, size - out.size());
  return out;
}

}  // namespace auralith::testing

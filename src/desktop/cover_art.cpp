#include "desktop/cover_art.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4coverart.h>
#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tfilestream.h>
#include <taglib/xiphcomment.h>

#include "base/code_page.h"
#include "base/file_replace.h"
#include "base/path.h"
#include "base/strings.h"
#include "base/text_writer.h"

namespace auralith {

namespace {

constexpr std::string_view kCopyPrefix = "Auralith.cover.";
// Every name a copy can have: a copy under another name than the current
// one is a cover of the past.
constexpr std::string_view kImageExtensions[] = {"jpg", "png", "gif", "bmp", "webp"};

// The picture kind by its signature; "" for bytes that are no image a page
// can show.
std::string ExtensionFromSignature(std::string_view bytes) {
  if (StartsWith(bytes, "\xFF\xD8\xFF")) return "jpg";
  if (StartsWith(bytes, "\x89PNG\r\n\x1A\n")) return "png";
  if (StartsWith(bytes, "GIF87a") || StartsWith(bytes, "GIF89a")) return "gif";
  if (StartsWith(bytes, "BM")) return "bmp";
  if (bytes.size() >= 12 && StartsWith(bytes, "RIFF") && bytes.substr(8, 4) == "WEBP") return "webp";
  return "";
}

// Taggers label pictures loosely ("image/jpg", upper case); the label only
// decides for bytes whose signature is not one of those above.
std::string ExtensionFromMime(std::string_view mime) {
  const std::string lower = AsciiLower(mime);
  if (lower == "image/jpeg" || lower == "image/jpg" || lower == "image/pjpeg") return "jpg";
  for (std::string_view kind : {"png", "gif", "bmp", "webp"})
    if (lower == "image/" + std::string(kind)) return std::string(kind);
  return "";
}

// ------------------------------------------------------------------ beside the file

constexpr std::string_view kNamedCovers[] = {"folder", "cover", "front"};
constexpr std::string_view kNamedEndings[] = {".jpg", ".jpeg", ".png"};
constexpr int kAlbumArtRank = 100;

// Position among the fixed names (folder.jpg first), or -1.
int NamedRank(std::string_view lower) {
  int rank = 0;
  for (std::string_view name : kNamedCovers) {
    for (std::string_view ending : kNamedEndings) {
      if (lower.size() == name.size() + ending.size() && StartsWith(lower, name) && EndsWith(lower, ending))
        return rank;
      ++rank;
    }
  }
  return -1;
}

#ifdef _WIN32
std::FILE* OpenForReading(const std::string& file) {
  return _wfopen(AnsiToWide(file).c_str(), L"rb");
}
#else
std::FILE* OpenForReading(const std::string& file) { return std::fopen(file.c_str(), "rb"); }
#endif

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// False when the file cannot be read whole or is larger than any cover.
bool ReadImageFile(const std::string& path, std::string* bytes) {
  const std::unique_ptr<std::FILE, FileCloser> file(OpenForReading(path));
  if (!file) return false;
  bytes->clear();
  char chunk[64 * 1024];
  for (;;) {
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
    bytes->append(chunk, got);
    if (bytes->size() > kLargestCover) return false;
    if (got < sizeof chunk) return std::ferror(file.get()) == 0;
  }
}

bool CoverBeside(FileSystem& fs, const std::string& musicFile, CoverImage* cover) {
  const std::string dir = DirectoryPart(musicFile);
  std::vector<DirEntry> entries;
  if (dir.empty() || !fs.ListDirectory(dir, &entries)) return false;
  struct Candidate {
    int rank;
    std::uint64_t size;
    std::string name;
  };
  std::vector<Candidate> candidates;
  for (const DirEntry& entry : entries) {
    // Hidden files count: the system's own player writes its pictures hidden.
    if (entry.directory) continue;
    const std::string lower = AsciiLower(entry.name);
    Candidate candidate{NamedRank(lower), 0, entry.name};
    if (candidate.rank < 0) {
      if (!StartsWith(lower, "albumart") || !EndsWith(lower, ".jpg")) continue;
      // AlbumArt_{id}_Large.jpg beside AlbumArtSmall.jpg: the larger file is
      // the better picture.
      candidate.rank = kAlbumArtRank;
      FileStatus status;
      if (fs.Status(dir + entry.name, &status)) candidate.size = status.size;
    }
    candidates.push_back(std::move(candidate));
  }
  std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
    if (a.rank != b.rank) return a.rank < b.rank;
    if (a.size != b.size) return a.size > b.size;
    return a.name < b.name;  // the same name in two letter cases, on POSIX
  });
  // An empty or damaged picture (a download cut short) gives way to the next.
  for (const Candidate& candidate : candidates) {
    std::string bytes;
    if (!ReadImageFile(dir + candidate.name, &bytes)) continue;
    const std::string extension = ExtensionFromSignature(bytes);
    if (extension.empty()) continue;
    cover->bytes = std::move(bytes);
    cover->extension = extension;
    return true;
  }
  return false;
}

// ------------------------------------------------------------------ in the tags

struct TagPicture {
  bool front;
  std::string mime;
  TagLib::ByteVector data;  // shared with the tag, not copied
};

void Id3Pictures(TagLib::ID3v2::Tag* tag, std::vector<TagPicture>* out) {
  if (tag == nullptr) return;
  // TagLib presents ID3v2.2 "PIC" frames as "APIC" too.
  for (TagLib::ID3v2::Frame* frame : tag->frameList("APIC")) {
    const auto* picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame);
    if (picture == nullptr) continue;
    out->push_back({picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover,
                    picture->mimeType().to8Bit(), picture->picture()});
  }
}

void FlacPictures(const TagLib::List<TagLib::FLAC::Picture*>& pictures, std::vector<TagPicture>* out) {
  for (const TagLib::FLAC::Picture* picture : pictures)
    out->push_back({picture->type() == TagLib::FLAC::Picture::FrontCover, picture->mimeType().to8Bit(),
                    picture->data()});
}

void Mp4Pictures(TagLib::MP4::Tag* tag, std::vector<TagPicture>* out) {
  if (tag == nullptr || !tag->contains("covr")) return;
  // "covr" has no picture types: the first one is the cover by convention.
  for (const TagLib::MP4::CoverArt& art : tag->item("covr").toCoverArtList()) {
    std::string mime;
    switch (art.format()) {
      case TagLib::MP4::CoverArt::JPEG: mime = "image/jpeg"; break;
      case TagLib::MP4::CoverArt::PNG: mime = "image/png"; break;
      case TagLib::MP4::CoverArt::GIF: mime = "image/gif"; break;
      case TagLib::MP4::CoverArt::BMP: mime = "image/bmp"; break;
      default: break;
    }
    out->push_back({false, mime, art.data()});
  }
}

// The front cover, else the first picture; pictures that are no image (an
// ID3v2 link has the MIME type "-->" and a URL for data) are passed over.
bool ChoosePicture(const std::vector<TagPicture>& pictures, CoverImage* cover) {
  const TagPicture* chosen = nullptr;
  std::string chosenExtension;
  for (const TagPicture& picture : pictures) {
    if (picture.data.isEmpty() || picture.data.size() > kLargestCover) continue;
    const std::string_view bytes(picture.data.data(), picture.data.size());
    std::string extension = ExtensionFromSignature(bytes);
    if (extension.empty()) extension = ExtensionFromMime(picture.mime);
    if (extension.empty()) continue;
    if (chosen == nullptr || (picture.front && !chosen->front)) {
      chosen = &picture;
      chosenExtension = std::move(extension);
      if (picture.front) break;
    }
  }
  if (chosen == nullptr) return false;
  cover->bytes.assign(chosen->data.data(), chosen->data.size());
  cover->extension = chosenExtension;
  return true;
}

bool CoverInTags(const std::string& musicFile, CoverImage* cover) {
#ifdef _WIN32
  const std::wstring wide = AnsiToWide(musicFile);
  TagLib::FileStream stream(wide.c_str(), /*openReadOnly=*/true);
#else
  TagLib::FileStream stream(musicFile.c_str(), /*openReadOnly=*/true);
#endif
  if (!stream.isOpen()) return false;
  // By extension first, then by content; the playing time is not needed.
  const TagLib::FileRef ref(&stream, /*readAudioProperties=*/false);
  TagLib::File* file = ref.file();
  if (file == nullptr || !file->isValid()) return false;
  std::vector<TagPicture> pictures;
  if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
    if (mpeg->hasID3v2Tag()) Id3Pictures(mpeg->ID3v2Tag(), &pictures);
  } else if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
    FlacPictures(flac->pictureList(), &pictures);
  } else if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
    Mp4Pictures(mp4->tag(), &pictures);
  } else if (auto* xiph = dynamic_cast<TagLib::Ogg::XiphComment*>(file->tag())) {
    // Vorbis, Opus, Speex and Ogg FLAC all carry their pictures here.
    FlacPictures(xiph->pictureList(), &pictures);
  }
  return ChoosePicture(pictures, cover);
}

// ------------------------------------------------------------------ publishing

// Changes with every byte of the picture, so a new cover gets a new address
// while the same cover (the next track of the album) keeps the script as it is.
std::string ContentStamp(std::string_view bytes) {
  std::uint64_t hash = 0xcbf29ce484222325u;  // FNV-1a
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3u;
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(16, '0');
  for (int i = 15; i >= 0; --i, hash >>= 4) text[static_cast<std::size_t>(i)] = kDigits[hash & 0xF];
  return text;
}

// The value is our own ASCII file name and hex digits: nothing in it needs
// an escape inside the quotes.
std::string CoverScript(std::string_view value) {
  std::string text = "// Auralith Cover File\r\n\r\n";
  std::string key = "cover_image";
  key.resize(22, ' ');  // the key column of the other generated files
  text += key + "= \"" + std::string(value) + "\";\r\n";
  return text;
}

bool Replace(const std::string& path, std::string_view bytes, bool* changed) {
  if (FileHolds(path, bytes)) return true;
  *changed = true;
  return WriteFileAtomically(path, bytes);
}

}  // namespace

bool FindCover(FileSystem& fs, const std::string& musicFile, CoverImage* cover) {
  try {
    return CoverBeside(fs, musicFile, cover) || CoverInTags(musicFile, cover);
  } catch (...) {
    // Out of memory on a huge tag: this file has no cover we can give.
    return false;
  }
}

CoverPublished PublishCover(FileSystem& fs, const std::string& location, const CoverImage* cover) {
  // Without a program folder the files would land in the player's working folder.
  if (location.empty()) return CoverPublished::Failed;
  bool changed = false;
  std::string copyName;
  std::string value;
  // The picture goes first: the script must never name a copy that is not there.
  if (cover != nullptr) {
    copyName = std::string(kCopyPrefix) + cover->extension;
    if (!Replace(location + copyName, cover->bytes, &changed)) return CoverPublished::Failed;
    value = copyName + "?" + ContentStamp(cover->bytes);
  }
  if (!Replace(location + kCoverScriptName, CoverScript(value), &changed)) return CoverPublished::Failed;
  for (std::string_view extension : kImageExtensions) {
    const std::string stale = std::string(kCopyPrefix) + std::string(extension);
    if (stale != copyName && fs.Exists(location + stale)) fs.RemoveFile(location + stale);
  }
  return changed ? CoverPublished::Changed : CoverPublished::Unchanged;
}

}  // namespace auralith

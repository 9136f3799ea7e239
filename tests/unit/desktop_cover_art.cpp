#include "desktop/cover_art.h"

#include <regex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <taglib/attachedpictureframe.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>

#include "base/path.h"
#include "platform/native.h"
#include "support/audio_fixtures.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using testing::ReadFile;
using Apic = TagLib::ID3v2::AttachedPictureFrame;

// Pictures are told apart by what follows their signature.
std::string Jpeg(const std::string& marker) { return "\xFF\xD8\xFF\xE0" + marker; }
std::string Png(const std::string& marker) { return "\x89PNG\r\n\x1A\n" + marker; }
TagLib::ByteVector Bytes(const std::string& s) { return TagLib::ByteVector(s.data(), static_cast<unsigned>(s.size())); }

// Each picture's type, MIME type and bytes.
std::string Mp3With(const std::vector<std::tuple<Apic::Type, const char*, std::string>>& pictures) {
  TagLib::ID3v2::Tag tag;
  for (const auto& [type, mime, bytes] : pictures) {
    auto* frame = new Apic;  // the tag owns it
    frame->setType(type);
    frame->setMimeType(mime);
    frame->setPicture(Bytes(bytes));
    tag.addFrame(frame);
  }
  const TagLib::ByteVector rendered = tag.render();
  return std::string(rendered.data(), rendered.size()) + testing::MakeMp3({});
}

std::string OggWith(const std::string& bytes) {
  TagLib::FLAC::Picture picture;
  picture.setType(TagLib::FLAC::Picture::FrontCover);
  picture.setData(Bytes(bytes));
  const TagLib::ByteVector block = picture.render().toBase64();
  return testing::MakeOgg(0.2, {{"METADATA_BLOCK_PICTURE", std::string(block.data(), block.size())}});
}

TEST(CoverArtTest, FindsTheCoverBesideTheFileElseInItsTags) {
  const std::string tagged = Mp3With({{Apic::FrontCover, "image/jpeg", Jpeg("tag")}});
  const std::string large = Jpeg(std::string(4000, 'L'));
  const auto jpg = [](const std::string& bytes) { return "jpg:" + bytes; };
  const auto png = [](const std::string& bytes) { return "png:" + bytes; };
  // The files beside the music file (name, bytes); the music file, a.mp3 or,
  // when it begins with "OggS", a.ogg; the cover found as extension:bytes.
  const std::tuple<const char*, std::vector<std::pair<std::string, std::string>>, std::string, std::string> cases[] = {
      {"names in order", {{"front.jpg", Jpeg("f")}, {"cover.jpg", Jpeg("c")}, {"folder.jpg", Jpeg("d")}}, tagged,
       jpg(Jpeg("d"))},
      {"letter case", {{"Front.JPG", Jpeg("f")}, {"COVER.Jpg", Jpeg("c")}}, tagged, jpg(Jpeg("c"))},
      {"folder.png before cover.jpg", {{"cover.jpg", Jpeg("c")}, {"Folder.png", Png("d")}}, tagged, png(Png("d"))},
      {"signature over name", {{"folder.jpg", Png("really")}}, tagged, png(Png("really"))},
      {"largest AlbumArt", {{"AlbumArtSmall.jpg", Jpeg("s")}, {"AlbumArt_{7}_Large.jpg", large}}, tagged, jpg(large)},
      {"names before AlbumArt", {{"AlbumArt_{1}_Large.jpg", large}, {"front.jpg", Jpeg("f")}}, tagged, jpg(Jpeg("f"))},
      {"unusable files give way", {{"folder.jpg", ""}, {"cover.jpg", "<html>404</html>"}}, tagged, jpg(Jpeg("tag"))},
      {"near names", {{"folder.jpg.bak", Jpeg("1")}, {"myfolder.jpg", Jpeg("2")}, {"AlbumArt.png", Png("3")}},
       Mp3With({}), ""},
      {"front cover first", {}, Mp3With({{Apic::Other, "image/jpeg", Jpeg("o")}, {Apic::FrontCover, "", Png("f")}}),
       png(Png("f"))},
      {"else the first", {}, Mp3With({{Apic::Artist, "image/jpeg", Jpeg("a")}, {Apic::BackCover, "", Jpeg("b")}}),
       jpg(Jpeg("a"))},
      {"a link is no picture", {}, Mp3With({{Apic::FrontCover, "-->", "http://example.com/c.jpg"}}), ""},
      {"Ogg picture block", {}, OggWith(Png("ogg")), png(Png("ogg"))},
      {"damaged music file", {}, testing::MakeGarbage(5000), ""},
  };
  NativeFileSystem fs;
  for (const auto& [name, beside, bytes, found] : cases) {
    testing::TempDir dir;
    for (const auto& [file, content] : beside) testing::WriteFile(dir / file, content);
    const std::string music = dir / (bytes.rfind("OggS", 0) == 0 ? "a.ogg" : "a.mp3");
    testing::WriteFile(music, bytes);
    CoverImage cover;
    EXPECT_EQ(FindCover(fs, music, &cover) ? cover.extension + ":" + cover.bytes : "", found) << name;
  }
}

// What the script gives the page: "" or the copy's name with a stamp.
std::string ScriptValue(const std::string& script) {
  static const std::regex form(
      "// Auralith Cover File\r\n\r\ncover_image {11}= \"((Auralith\\.cover\\.[a-z]+\\?[0-9a-f]{16})?)\";\r\n");
  std::smatch match;
  return std::regex_match(script, match, form) ? match[1].str() : "<not the script's form>";
}

TEST(CoverArtTest, PublishesForThePageAndWritesOnlyWhatChanged) {
  NativeFileSystem fs;
  testing::TempDir place;
  const std::string& location = place.path();
  const std::string script = place / "Auralith.cover", jpg = place / "Auralith.cover.jpg";
  const CoverImage first{Jpeg("one"), "jpg"}, second{Jpeg("two"), "jpg"}, png{Png("png"), "png"};

  EXPECT_EQ(PublishCover(fs, location, &first), CoverPublished::Changed);
  EXPECT_EQ(ReadFile(jpg), first.bytes);
  const std::string firstValue = ScriptValue(ReadFile(script));
  EXPECT_EQ(firstValue.substr(0, 19), "Auralith.cover.jpg?");

  // The next track of the same album touches nothing.
  for (const std::string& path : {jpg, script}) testing::SetModified(path, 1000000000);
  EXPECT_EQ(PublishCover(fs, location, &first), CoverPublished::Unchanged);
  for (const std::string& path : {jpg, script}) {
    FileStatus status;
    EXPECT_TRUE(fs.Status(path, &status) && status.modified == 1000000000) << path;
  }

  // Another picture under the same name gets another address.
  EXPECT_EQ(PublishCover(fs, location, &second), CoverPublished::Changed);
  EXPECT_NE(ScriptValue(ReadFile(script)), firstValue);

  // Another kind leaves no stale copy behind; "no cover" leaves none at all.
  EXPECT_EQ(PublishCover(fs, location, &png), CoverPublished::Changed);
  EXPECT_EQ(testing::ListNames(location), (std::vector<std::string>{"Auralith.cover", "Auralith.cover.png"}));
  EXPECT_EQ(PublishCover(fs, location, nullptr), CoverPublished::Changed);
  EXPECT_EQ(ScriptValue(ReadFile(script)), "");
  EXPECT_EQ(testing::ListNames(location), std::vector<std::string>{"Auralith.cover"});
  EXPECT_EQ(PublishCover(fs, location, nullptr), CoverPublished::Unchanged);

  EXPECT_EQ(PublishCover(fs, place / "missing" + kPathSeparator, &first), CoverPublished::Failed);
  EXPECT_EQ(PublishCover(fs, "", &first), CoverPublished::Failed);
}

}  // namespace
}  // namespace auralith

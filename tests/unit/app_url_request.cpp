#include "app/url_request.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/native.h"
#include "settings/memory_registry_store.h"
#include "settings/settings.h"
#include "support/test_support.h"

namespace auralith {
namespace {

TEST(UrlRequestTest, AcceptsThePlayLinksPagesAndShellsHandOverAndNothingElse) {
  const struct {
    const char* url;
    UrlRefusal refusal;
    const char* name;
  } kCases[] = {
      {"Auralith:play/artist.m3u", UrlRefusal::kNone, "artist.m3u"},
      {"auralith:play/artist_album.m3u", UrlRefusal::kNone, "artist_album.m3u"},
      {"AURALITH:play/.m3u", UrlRefusal::kNone, ".m3u"},
      {"auralith://play/_.m3u", UrlRefusal::kNone, "_.m3u"},
      {"auralith://PLAY/0a_9.m3u/", UrlRefusal::kNone, "0a_9.m3u"},
      {"Auralith:play/artist.m3u/", UrlRefusal::kNone, "artist.m3u"},
      {"", UrlRefusal::kNotPlayLink, ""},
      {"http://play/a.m3u", UrlRefusal::kNotPlayLink, ""},
      {"auralithx:play/a.m3u", UrlRefusal::kNotPlayLink, ""},
      {"auralith:/play/a.m3u", UrlRefusal::kNotPlayLink, ""},
      {"auralith:///play/a.m3u", UrlRefusal::kNotPlayLink, ""},
      {"auralith:open/a.m3u", UrlRefusal::kNotPlayLink, ""},
      {"auralith:play/", UrlRefusal::kNoName, ""},
      {"auralith://play//", UrlRefusal::kNoName, ""},
  };
  for (const auto& c : kCases) {
    const PlaylistRequest request = ParsePlaylistUrl(c.url);
    EXPECT_EQ(request.refusal, c.refusal) << c.url;
    EXPECT_EQ(request.name, c.name) << c.url;
  }
  // The fuzzer holds every accepted name to the plain form; these are the near misses.
  const char* const kBadNames[] = {
      "a.m3u//",    "../a.m3u", "..\\a.m3u", "sub/a.m3u", "c:a.m3u", "\\\\server\\a.m3u", "%2e%2e%5ca.m3u",
      "Artist.m3u", "a.M3U",    "a.m3u.exe", "..m3u",     " a.m3u",  "a\xc3\xa9.m3u"};
  for (const char* name : kBadNames) {
    const PlaylistRequest request = ParsePlaylistUrl(std::string("auralith:play/") + name);
    EXPECT_EQ(request.refusal, UrlRefusal::kBadName) << name;
    EXPECT_EQ(request.name, "") << name;
  }
}

TEST(UrlRequestTest, TheFileMustBeInThePlaylistsFolder) {
  testing::TempDir dir;
  for (const char* name : {"playlists/a.m3u", "b.m3u"}) testing::WriteFile(dir / name, "");
  NativeFileSystem fs;
  EXPECT_EQ(CheckPlaylistUrl("auralith:play/a.m3u", dir.path(), fs).path, dir / "playlists/a.m3u");
  // A location edited by hand may lack its separator.
  const std::string bare = dir.path().substr(0, dir.path().size() - 1);
  EXPECT_EQ(CheckPlaylistUrl("auralith:play/a.m3u", bare, fs).path, dir / "playlists/a.m3u");
  EXPECT_EQ(CheckPlaylistUrl("auralith:play/b.m3u", dir.path(), fs).refusal, UrlRefusal::kNoSuchPlaylist);
  EXPECT_EQ(CheckPlaylistUrl("auralith:play/a.m3u", "", fs).refusal, UrlRefusal::kNoLocation);
}

TEST(UrlRequestTest, TheMessageShowsTheLinkWithoutLinesOrLengthOfItsOwn) {
  const std::string tail(300, 'x');
  const std::string message = RefusalMessage(ParsePlaylistUrl("auralith:play/a\r\nOK\x7f" + tail));
  EXPECT_NE(message.find("\"auralith:play/a??OK?xxx"), std::string::npos) << message;
  EXPECT_NE(message.find("x...\""), std::string::npos) << message;
  EXPECT_EQ(message.find(tail), std::string::npos);
}

TEST(UrlRequestTest, ReadsTheSettingsWithoutWritingAny) {
  MemoryRegistryStore registry;
  EXPECT_EQ(ReadUrlHandlerSettings(registry).location, "");
  EXPECT_TRUE(registry.root(Hive::CurrentUser).subkeys.empty());
  Settings(registry).winamp.Set("W");
  EXPECT_EQ(ReadUrlHandlerSettings(registry).winamp, "W");
}

}  // namespace
}  // namespace auralith

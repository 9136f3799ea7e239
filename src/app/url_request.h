#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/file_system.h"
#include "settings/registry_store.h"

namespace auralith {

// Why a start of the link handler plays nothing.
enum class UrlRefusal {
  kNone,
  kNoLink,          // started without an argument
  kExtraArguments,  // more than the one argument the shell passes
  kNotPlayLink,     // not "Auralith:play/..."
  kNoName,          // nothing after "play/"
  kBadName,         // not a playlist file name
  kNoLocation,      // Auralith has never recorded its folder
  kNoSuchPlaylist,  // no such file in the playlists folder
};

struct PlaylistRequest {
  UrlRefusal refusal = UrlRefusal::kNone;
  std::string link;  // what was asked, as given
  std::string name;  // the playlist's file name, "artist_album.m3u"
  std::string path;  // its full path, once it has been found in the folder
  bool accepted() const { return refusal == UrlRefusal::kNone; }
};

// The playlist file name a link of the desktop page names, from the link's
// text alone. Accepted: "Auralith:play/<name>", the scheme in any letter case
// and optionally followed by "//", with at most one trailing "/"; <name>
// matches [a-z0-9_]*\.m3u, exactly what the page builds, so no link reaches a
// file outside the playlists folder.
PlaylistRequest ParsePlaylistUrl(std::string_view url);

// ParsePlaylistUrl, then the file must exist in `location`'s playlists folder.
PlaylistRequest CheckPlaylistUrl(std::string_view url, const std::string& location, FileSystem& fs);

// The handler's whole argument list after the program path: exactly one link.
PlaylistRequest CheckPlaylistArguments(const std::vector<std::string>& args, const std::string& location,
                                       FileSystem& fs);

// What the user is told about a refused link, for a message box.
std::string RefusalMessage(const PlaylistRequest& request);

// The two settings the handler needs. Read without the load defaults that
// `Settings` writes: a link clicked after an uninstall must not bring the
// settings key back.
struct UrlHandlerSettings {
  std::string location;
  std::string winamp;
};
UrlHandlerSettings ReadUrlHandlerSettings(RegistryStore& registry);

// What plays a playlist: Winamp when its folder is known and holds
// "winamp.exe", given the playlist as its one argument; else (empty
// `program`) whatever the system opens .m3u files with.
struct PlayerStart {
  std::string program;
  std::string playlist;
};
PlayerStart ChoosePlayer(const std::string& winamp, const std::string& playlistPath, FileSystem& fs);

}  // namespace auralith

#include "app/url_request.h"

#include "base/path.h"
#include "base/strings.h"
#include "settings/registry_binding.h"
#include "settings/settings.h"

namespace auralith {

namespace {

constexpr std::string_view kScheme = "auralith:";
constexpr std::string_view kVerb = "play/";
constexpr std::string_view kExtension = ".m3u";
constexpr const char* kExample = "\"Auralith:play/artist.m3u\"";
// A link is shown to the user only up to this many bytes: a page could hand
// over a text long enough to push the explanation off the screen.
constexpr std::size_t kShownLinkBytes = 200;

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreAsciiCase(text.substr(0, prefix.size()), prefix);
}

// The builder names playlists after sort keys, which hold only a-z and 0-9
// ("_" when empty), joined by "_". Upper case is refused as well: the page
// never writes it, and on a case-sensitive file system it would name another
// file. No "%" either: a real name never needs encoding, and a text that is
// decoded and then checked invites decoding twice.
bool IsPlaylistName(std::string_view name) {
  if (!EndsWith(name, kExtension)) return false;
  name.remove_suffix(kExtension.size());
  for (char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
  return true;
}

PlaylistRequest Refused(PlaylistRequest request, UrlRefusal refusal) {
  request.refusal = refusal;
  return request;
}

// The link as a message box may show it: control characters could fake
// lines of the message, so they become '?'; a long text is cut at a
// character boundary.
std::string Shown(const std::string& link) {
  std::string shown;
  for (char c : link) {
    const auto byte = static_cast<unsigned char>(c);
    shown.push_back(byte < 0x20 || byte == 0x7F ? '?' : c);
  }
  if (shown.size() > kShownLinkBytes) {
    std::size_t cut = kShownLinkBytes;
    while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) --cut;
    shown.resize(cut);
    shown += "...";
  }
  return shown;
}

}  // namespace

PlaylistRequest ParsePlaylistUrl(std::string_view url) {
  PlaylistRequest request;
  request.link = std::string(url);
  std::string_view rest = url;
  // Browsers lower-case the scheme; the page writes "Auralith".
  if (!StartsWithIgnoreCase(rest, kScheme)) return Refused(request, UrlRefusal::kNotPlayLink);
  rest.remove_prefix(kScheme.size());
  // Some shells hand the link over as "auralith://play/...", where "play"
  // reads as a host name, which is compared without case as well.
  if (StartsWith(rest, "//")) rest.remove_prefix(2);
  if (!StartsWithIgnoreCase(rest, kVerb)) return Refused(request, UrlRefusal::kNotPlayLink);
  rest.remove_prefix(kVerb.size());
  // Some browsers append one "/" to a link they think names a folder.
  if (EndsWith(rest, "/")) rest.remove_suffix(1);
  if (rest.empty()) return Refused(request, UrlRefusal::kNoName);
  if (!IsPlaylistName(rest)) return Refused(request, UrlRefusal::kBadName);
  request.name = std::string(rest);
  return request;
}

PlaylistRequest CheckPlaylistUrl(std::string_view url, const std::string& location, FileSystem& fs) {
  PlaylistRequest request = ParsePlaylistUrl(url);
  if (!request.accepted()) return request;
  // Without a location the folder would be taken relative to wherever the
  // shell started the handler.
  if (location.empty()) return Refused(request, UrlRefusal::kNoLocation);
  request.path = WithTrailingSeparator(location) + "playlists" + kPathSeparator + request.name;
  if (!fs.Exists(request.path)) return Refused(request, UrlRefusal::kNoSuchPlaylist);
  return request;
}

PlaylistRequest CheckPlaylistArguments(const std::vector<std::string>& args, const std::string& location,
                                       FileSystem& fs) {
  if (args.empty()) return Refused(PlaylistRequest{}, UrlRefusal::kNoLink);
  if (args.size() > 1) {
    // The registered command quotes the link, so a second argument means a
    // link that broke out of its quotes, or a start by hand.
    PlaylistRequest request;
    for (const std::string& arg : args) request.link += (request.link.empty() ? "" : " ") + arg;
    return Refused(request, UrlRefusal::kExtraArguments);
  }
  return CheckPlaylistUrl(args[0], location, fs);
}

std::string RefusalMessage(const PlaylistRequest& request) {
  const std::string notPlaylist =
      "This link does not name a playlist of Auralith: \"" + Shown(request.link) + "\"\n\n";
  switch (request.refusal) {
    case UrlRefusal::kNone:
      break;
    case UrlRefusal::kNoLink:
      return std::string("AuralithURL.exe plays the playlists of the Auralith desktop page when one of its links, "
                         "such as ") +
             kExample + ", is clicked. It was started without a link, so it plays nothing.";
    case UrlRefusal::kExtraArguments:
      return std::string("AuralithURL.exe takes exactly one link, such as ") + kExample +
             ", and plays nothing when given more: \"" + Shown(request.link) + "\"";
    case UrlRefusal::kNotPlayLink:
      return notPlaylist + "Auralith's links have the form \"Auralith:play/<playlist name>\".";
    case UrlRefusal::kNoName:
      return notPlaylist + "The playlist name after \"play/\" is missing.";
    case UrlRefusal::kBadName:
      return notPlaylist +
             "A playlist name holds only the lower-case letters a to z, the digits 0 to 9 and \"_\", and ends "
             "in \".m3u\". Anything else, such as a folder, a drive or an encoded character, is refused, so "
             "that a link cannot open a file outside Auralith's playlists folder.";
    case UrlRefusal::kNoLocation:
      return "Auralith cannot play \"" + request.name +
             "\" because it does not know its own folder yet. Start Auralith.exe once, then try the link "
             "again.";
    case UrlRefusal::kNoSuchPlaylist:
      return "Auralith has no playlist \"" + request.name + "\" in its playlists folder:\n" +
             DirectoryPart(request.path) +
             "\n\nGenerate the playlists again in Auralith and reload the desktop, then try the link again.";
  }
  return std::string();
}

UrlHandlerSettings ReadUrlHandlerSettings(RegistryStore& registry) {
  const std::string key = std::string(kSettingsKey) + "\\";
  RegistryString location(registry, key + "location");
  RegistryString winamp(registry, key + "winamp");
  return {location.Get(), winamp.Get()};
}

PlayerStart ChoosePlayer(const std::string& winamp, const std::string& playlistPath, FileSystem& fs) {
  PlayerStart start{std::string(), playlistPath};
  if (!winamp.empty()) {
    const std::string program = WithTrailingSeparator(winamp) + "winamp.exe";
    if (fs.Exists(program)) start.program = program;
  }
  return start;
}

}  // namespace auralith

// The links the desktop page (or any other page) hands to AuralithURL.exe. An accepted link must name a plain playlist
// file of the playlists folder; a refused one is shown in one short line without control characters.

#include "app/url_request.h"
#include "fuzz_support.h"

using namespace auralith;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const PlaylistRequest request = ParsePlaylistUrl(fuzz::AsText(data, size));
  if (request.accepted()) {
    const std::string_view name = request.name;
    if (!name.ends_with(".m3u") ||
        name.substr(0, name.size() - 4).find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") !=
            std::string_view::npos)
      fuzz::Violation("a link accepted for a name that is no playlist", name);
    return 0;
  }
  const std::string message = RefusalMessage(request);
  const std::string_view first = std::string_view(message).substr(0, message.find('\n'));
  if (first.size() > 300) fuzz::Violation("a refused link shown at full length", first);
  for (const char c : first)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) fuzz::Violation("a control character shown", first);
  return 0;
}

#include "app/winamp.h"

#include <string>

#include "base/code_page.h"
#include "base/path.h"

namespace auralith {

namespace {

constexpr const char* kAssociation = "Winamp.File\\shell\\open\\command\\";
constexpr const char* kPlayerFile = "winamp.exe";
constexpr const char* kPluginFile = "gen_auralith.dll";
std::string PluginIn(const std::string& playerFolder) {
  return playerFolder + "plugins" + kPathSeparator + kPluginFile;
}
constexpr const char* kBrowseFilter = "Winamp (winamp.exe)|winamp.exe||";
constexpr int kDeleteAttempts = 5;
constexpr int kDeletePauseMs = 1000;

// The folder a file-association command names the player in: after the
// first double quote when there is one, up to and including the backslash
// of "\winamp.exe"; "" when it names none.
std::string FolderFromAssociation(const std::string& command) {
  std::string text = AnsiLowerMultibyte(command);
  const std::size_t quote = text.find('"');
  if (quote != std::string::npos) text.erase(0, quote + 1);
  const std::size_t program = text.find("\\winamp.exe");
  return program == std::string::npos ? std::string() : text.substr(0, program + 1);
}

// Deletes the plug-in once the player has had time to let go of it.
void DeletePlugin(FileSystem& fs, const std::string& path, PlayerControl& player) {
  for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
    player.Pause(kDeletePauseMs);
    if (fs.RemoveFile(path)) return;
  }
}

}  // namespace

bool LocateWinamp(Settings& settings, RegistryStore& registry, FileSystem& fs, Prompter& prompter) {
  std::string folder = settings.winamp.Get();
  bool found = !folder.empty() && fs.Exists(folder + kPlayerFile);
  if (!found) {
    RegistryString association(registry, kAssociation, "", false, Hive::ClassesRoot);
    const std::string command = association.Get();
    folder = command.empty() ? std::string() : FolderFromAssociation(command);
    found = !folder.empty() && fs.Exists(folder + kPlayerFile);
  }
  if (!found) {
    prompter.Message("Auralith requires Winamp to work. Please browse to the location of Winamp.", "Locate Winamp",
                     MessageButtons::Ok, MessageIcon::None);
    for (;;) {
      std::string chosen = kPlayerFile;
      if (!prompter.ChooseFile(nullptr, kBrowseFilter, &chosen)) break;
      folder = DirectoryPart(chosen);
      if (fs.Exists(folder + kPlayerFile)) {
        found = true;
        break;
      }
    }
  }
  if (!found) {
    prompter.Message(
        "Could not locate Winamp. Auralith will not be able to\n"
        "launch playlists correctly until Winamp is installed/located.",
        "Error", MessageButtons::Ok, MessageIcon::None);
    return false;
  }
  settings.winamp.Set(folder);
  return true;
}

std::optional<FileStatus> ShippedPlugin(Settings& settings, FileSystem& fs) {
  FileStatus status;
  if (!fs.Status(settings.location.Get() + kPluginFile, &status)) return std::nullopt;
  return status;
}

void InstallPlugin(Settings& settings, FileSystem& fs, Prompter& prompter, PlayerControl& player,
                   const std::optional<FileStatus>& shipped) {
  // Without the shipped copy there is nothing to compare or copy, and an
  // installed plug-in is better left working than deleted.
  if (!shipped) return;
  const std::string folder = settings.winamp.Get();
  const std::string target = PluginIn(folder);
  FileStatus installed;
  bool closed = false;
  if (fs.Status(target, &installed)) {
    if (installed.size == shipped->size && installed.modified == shipped->modified) return;
    if (player.IsRunning()) {
      closed = true;
      player.Close();
    }
    DeletePlugin(fs, target, player);
  }
  const bool copied = fs.CopyFileTo(settings.location.Get() + kPluginFile, target);
  if (closed) {
    player.Start(folder + kPlayerFile);
  } else if (copied && player.IsRunning()) {
    if (prompter.Message("The Auralith plugin was installed.\nDo you want to restart Winamp now?", "Restart Winamp?",
                         MessageButtons::YesNo, MessageIcon::None) == MessageAnswer::Yes)
      player.Restart();
  }
}

void RemovePlugin(Settings& settings, FileSystem& fs, PlayerControl& player) {
  const std::string folder = settings.winamp.Get();
  const std::string target = PluginIn(folder);
  if (folder.empty() || !fs.Exists(target)) return;
  const bool running = player.IsRunning();
  if (running) player.Close();
  DeletePlugin(fs, target, player);
  if (running) player.Start(folder + kPlayerFile);
}

}  // namespace auralith

#pragma once

#include <optional>

#include "app/player_control.h"
#include "base/file_system.h"
#include "base/prompter.h"
#include "settings/registry_store.h"
#include "settings/settings.h"

namespace auralith {

// Makes sure `winamp` names the player's folder: the stored folder, else the
// one its file association names, else one the user browses to. False, after
// telling the user, when none is found; `winamp` is then left as it was.
bool LocateWinamp(Settings& settings, RegistryStore& registry, FileSystem& fs, Prompter& prompter);

// The plug-in as shipped beside the program, taken before the player is
// located; nullopt when it is not there.
std::optional<FileStatus> ShippedPlugin(Settings& settings, FileSystem& fs);

// Copies the shipped plug-in into the player's plug-in folder when it is
// missing there or differs, closing and restarting a running player to
// replace it, or offering a restart when it was newly added. Nothing at all
// happens without a shipped plug-in.
void InstallPlugin(Settings& settings, FileSystem& fs, Prompter& prompter, PlayerControl& player,
                   const std::optional<FileStatus>& shipped);

// Takes the plug-in out of the player's plug-in folder, closing a running
// player for it and starting it again afterwards. Silent.
void RemovePlugin(Settings& settings, FileSystem& fs, PlayerControl& player);

}  // namespace auralith

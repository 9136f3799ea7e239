#include "app/startup.h"

#include <optional>

#include "app/url_protocol.h"
#include "app/winamp.h"
#include "base/code_page.h"
#include "base/path.h"
#include "settings/settings.h"

namespace auralith {

namespace {
constexpr const char* kMoveQuestion =
    "It seems like you have run this application from another location before.\n"
    "Do you want to make this location the default one?";
}  // namespace

StartMode ParseStartMode(const std::vector<std::string>& args) {
  if (args.size() < 2) return StartMode::Normal;
  if (args[1] == "-uninstall") return StartMode::Uninstall;
  if (args[1] == "-install") return StartMode::Install;
  return StartMode::Normal;
}

std::string ProgramDirectory(const std::vector<std::string>& args) {
  return args.empty() ? std::string() : DirectoryPart(args[0]);
}

void CheckLocation(Settings& settings, const std::string& programDirectory, Prompter& prompter) {
  const std::string location = settings.location.Get();
  if (location.empty()) {
    // The location marks a finished first start, so it goes in after the
    // defaults: a start stopped half-way is done again, not taken as done.
    settings.ResetToDefaults();
    settings.location.Set(programDirectory);
    return;
  }
  if (AnsiLowerMultibyte(location) == AnsiLowerMultibyte(programDirectory)) return;
  if (prompter.Message(kMoveQuestion, "Question", MessageButtons::YesNo, MessageIcon::Question) == MessageAnswer::Yes)
    settings.location.Set(programDirectory);
}

void Uninstall(Settings& settings, const StartupServices& services) {
  RemovePlugin(settings, services.fs, services.player);
  settings.RemoveAll();
  settings.HideIcons.Set(0);
  services.windows.ApplyForUninstall(settings);
}

int RunStartup(const std::vector<std::string>& args, const StartupServices& services) {
  const StartMode mode = ParseStartMode(args);
  Settings settings(services.registry);
  if (mode == StartMode::Uninstall) {
    Uninstall(settings, services);
    return 0;
  }
  CheckLocation(settings, ProgramDirectory(args), services.prompter);
  RegisterUrlProtocol(settings, services.registry);
  const std::optional<FileStatus> shipped = ShippedPlugin(settings, services.fs);
  if (LocateWinamp(settings, services.registry, services.fs, services.prompter))
    InstallPlugin(settings, services.fs, services.prompter, services.player, shipped);
  services.windows.ShowConfiguration(settings, mode == StartMode::Install);
  return 0;
}

}  // namespace auralith

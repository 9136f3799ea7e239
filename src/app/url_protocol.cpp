#include "app/url_protocol.h"

namespace auralith {

namespace {
// The user's own classes, which the shell merges over the machine's.
constexpr const char* kUserScheme = "Software\\Classes\\Auralith";
constexpr const char* kUserCommand = "Software\\Classes\\Auralith\\shell\\open\\command";

RegValue Text(const std::string& text) {
  RegValue value;
  value.type = kRegSz;
  value.data = text + '\0';
  return value;
}
}  // namespace

std::string UrlCommand(const std::string& location) {
  return "\"" + location + "AuralithURL.exe\" \"%1\"";
}

void RegisterUrlProtocol(Settings& settings, RegistryStore& registry) {
  const std::string command = UrlCommand(settings.location.Get());
  settings.urlProtocol.Set("");
  settings.urlCommand.Set(command);
  RegValue stored;
  if (registry.Query(Hive::ClassesRoot, settings.urlCommand.keyPath(), settings.urlCommand.valueName(), &stored) &&
      stored.data == Text(command).data)
    return;
  registry.Set(Hive::CurrentUser, kUserScheme, "URL Protocol", Text(""));
  registry.Set(Hive::CurrentUser, kUserCommand, "", Text(command));
}

}  // namespace auralith

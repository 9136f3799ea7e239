#pragma once

#include "settings/registry_store.h"
#include "settings/settings.h"

namespace auralith {

// The command the shell runs for an "Auralith:" link: the handler beside the
// program, with the link as its one argument.
std::string UrlCommand(const std::string& location);

// Points the "Auralith" URL scheme at the handler in the current `location`.
// Where the machine-wide classes cannot be written (a user without
// administrator rights), the scheme is registered for this user instead.
void RegisterUrlProtocol(Settings& settings, RegistryStore& registry);

}  // namespace auralith

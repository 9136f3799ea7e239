#pragma once

#include <cstdlib>
#include <string>

namespace auralith::testing {

// A path the build passes in an environment variable, as a Windows path; a
// Unix path under Wine is reached through drive Z:. Empty when unset.
inline std::string PathFromEnvironment(const char* name) {
  const char* env = std::getenv(name);
  std::string path = env ? env : "";
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

// The program folder that the build fills, ending in a backslash.
inline std::string ProgramFolder() {
  std::string dir = PathFromEnvironment("AURALITH_PROGRAM_DIR");
  if (!dir.empty() && dir.back() != '\\') dir.push_back('\\');
  return dir;
}

}  // namespace auralith::testing

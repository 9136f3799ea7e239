#pragma once

#include <cstdlib>
#include <string>

namespace auralith::testing {

// The program folder that the build fills (AURALITH_PROGRAM_DIR), as a
// Windows path ending in a backslash; a Unix path under Wine is reached
// through drive Z:. Empty when the variable is not set.
inline std::string ProgramFolder() {
  const char* env = std::getenv("AURALITH_PROGRAM_DIR");
  std::string dir = env ? env : "";
  if (!dir.empty() && dir[0] == '/') dir = "Z:" + dir;
  for (char& c : dir)
    if (c == '/') c = '\\';
  if (!dir.empty() && dir.back() != '\\') dir.push_back('\\');
  return dir;
}

}  // namespace auralith::testing

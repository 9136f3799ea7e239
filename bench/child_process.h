// Starting a program from a Windows benchmark tool: one command line built
// from arguments, and the child sharing the tool's own console handles.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

namespace bench {

// One argument as CreateProcess's parser reads it back.
inline std::string Quoted(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  // Backslashes double only where a quote follows them ("Z:\music\").
  std::string out = "\"";
  std::size_t slashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++slashes;
    } else {
      if (c == '"') out.append(slashes + 1, '\\');
      slashes = 0;
    }
    out += c;
  }
  out.append(slashes, '\\');
  return out + "\"";
}

// Starts `commandLine` with the standard handles inherited; says why on
// stderr, after `tool`, when it cannot.
inline bool StartChild(const char* tool, const std::string& commandLine, PROCESS_INFORMATION* info) {
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::string line = commandLine;
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, info)) {
    std::fprintf(stderr, "%s: cannot start %s (error %lu)\n", tool, commandLine.c_str(), GetLastError());
    return false;
  }
  return true;
}

}  // namespace bench

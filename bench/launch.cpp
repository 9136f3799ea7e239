// Runs one program inside Wine and reports what it cost, for bench/run:
//
//   launch PROGRAM.exe [ARGUMENTS...]
//
// The program shares our standard handles. When it has ended, the last line
// on stdout is "launch <seconds> <peak working set> <peak pagefile usage>"
// (seconds from CreateProcess to its exit, bytes from GetProcessMemoryInfo:
// the program's own peaks, not those of Wine's other processes), and the exit
// code is the program's. A program still running after 600 s is terminated
// (exit code 3); a program that cannot start gives exit code 2. Wine's
// desktop is started, if it is not running, before the time starts.

#include <windows.h>
// After windows.h, which it builds on.
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "child_process.h"

namespace {

double Now() {
  LARGE_INTEGER t, f;
  QueryPerformanceCounter(&t);
  QueryPerformanceFrequency(&f);
  return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: launch PROGRAM.exe [ARGUMENTS...]\n");
    return 2;
  }
  std::string line;
  for (int i = 1; i < argc; ++i) line += (i > 1 ? " " : "") + bench::Quoted(argv[i]);
  std::fflush(stdout);

  // A Windows session always has its desktop. Wine starts one (explorer.exe)
  // for the first process that asks for it and ends it about a second after
  // the last such process has gone, so a program that makes a window, as COM
  // does, would pay for starting Wine's desktop on every run. Holding it
  // here, outside the time taken, measures the program as Windows runs it.
  GetDesktopWindow();

  PROCESS_INFORMATION info{};
  const double started = Now();
  if (!bench::StartChild("launch", line, &info)) return 2;
  // Wine answers for another process from its live state, which is gone once
  // it has ended; the peaks only grow, so the last answer before the end
  // holds them (up to the final few milliseconds, which only free memory).
  PROCESS_MEMORY_COUNTERS peak{};
  auto sample = [&] {
    PROCESS_MEMORY_COUNTERS now{};
    if (GetProcessMemoryInfo(info.hProcess, &now, sizeof now)) {
      peak.PeakWorkingSetSize = std::max(peak.PeakWorkingSetSize, now.PeakWorkingSetSize);
      peak.PeakPagefileUsage = std::max(peak.PeakPagefileUsage, now.PeakPagefileUsage);
    }
  };
  DWORD waited = WAIT_TIMEOUT;
  for (int ms = 0; ms < 600000 && waited == WAIT_TIMEOUT; ms += 5) {
    sample();
    waited = WaitForSingleObject(info.hProcess, 5);
  }
  const double seconds = Now() - started;
  sample();
  DWORD code = 3;
  if (waited != WAIT_OBJECT_0) {
    std::fprintf(stderr, "launch: %s still running after 600 s; terminated\n", line.c_str());
    TerminateProcess(info.hProcess, 3);
    WaitForSingleObject(info.hProcess, 5000);
  } else {
    GetExitCodeProcess(info.hProcess, &code);
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  std::printf("launch %.4f %llu %llu\n", seconds, static_cast<unsigned long long>(peak.PeakWorkingSetSize),
              static_cast<unsigned long long>(peak.PeakPagefileUsage));
  return static_cast<int>(code);
}

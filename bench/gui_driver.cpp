// Times one "Generate playlists" run, for bench/gui-run:
//
//   gui_driver window PROGRAM.exe [LIMIT_S]
//       starts the configuration window (Auralith.exe), waits for its sheet,
//       opens the Playlists page and clicks "Generate playlists". Prints the
//       seconds the click took: from sending BM_CLICK to its return, which is
//       the whole run, since the builder's modal loop runs inside the click.
//       The window is then closed with Cancel.
//   gui_driver process PROGRAM.exe [ARGUMENTS...]
//       prints the seconds from CreateProcess to the program's exit, and
//       exits with its exit code.
//
// Every wait is bounded (LIMIT_S, default 400, for a run; fixed limits for
// the rest); a program that does not end is terminated. Failures go to
// stderr with exit status 2 (3 when the program had to be terminated).

#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>
#include <prsht.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "child_process.h"
#include "resource.h"

namespace {

constexpr DWORD kWindowWaitMs = 60000;
constexpr DWORD kCloseWaitMs = 30000;
constexpr UINT kControlTimeoutMs = 10000;
constexpr DWORD kWatchIntervalMs = 200;
constexpr double kRunLimitS = 400;
// MessageBox gives its text this control id (Windows and Wine alike).
constexpr int kMessageBoxText = 0xFFFF;

double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / frequency;
}

std::string Text(HWND window) {
  char buffer[1024] = {};
  GetWindowTextA(window, buffer, sizeof(buffer));
  return buffer;
}

std::string ClassOf(HWND window) {
  char buffer[256] = {};
  GetClassNameA(window, buffer, sizeof(buffer));
  return buffer;
}

struct Search {
  DWORD process;
  HWND sheet = nullptr;
  HWND box = nullptr;  // a message box of that process
};

BOOL CALLBACK Visit(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->process || !IsWindowVisible(window) || ClassOf(window) != "#32770") return TRUE;
  if (GetDlgItem(window, kMessageBoxText) != nullptr)
    search->box = window;
  else if (Text(window) == "Auralith")
    search->sheet = window;
  return TRUE;
}

Search Look(DWORD process) {
  Search search{process};
  EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
  return search;
}

std::string Describe(HWND box) {
  return "\"" + Text(box) + "\": " + Text(GetDlgItem(box, kMessageBoxText));
}

// Ends the program if it has not ended by itself within `ms`.
bool Finish(const PROCESS_INFORMATION& info, DWORD ms) {
  if (WaitForSingleObject(info.hProcess, ms) == WAIT_OBJECT_0) return true;
  std::fprintf(stderr, "gui_driver: the program did not end; terminated\n");
  TerminateProcess(info.hProcess, 3);
  WaitForSingleObject(info.hProcess, 5000);
  return false;
}

int RunProcess(int argc, char** argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) line += (i ? " " : "") + bench::Quoted(argv[i]);
  PROCESS_INFORMATION info{};
  const double started = Now();
  if (!bench::StartChild("gui_driver", line, &info)) return 2;
  const bool ended = Finish(info, static_cast<DWORD>(kRunLimitS * 1000));
  const double seconds = Now() - started;
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  if (!ended) return 3;
  std::printf("%.3f\n", seconds);
  return static_cast<int>(code);
}

int RunWindow(const std::string& program, double limit) {
  PROCESS_INFORMATION info{};
  const double started = Now();
  if (!bench::StartChild("gui_driver", bench::Quoted(program), &info)) return 2;
  auto fail = [&](const char* what) {
    std::fprintf(stderr, "gui_driver: %s\n", what);
    TerminateProcess(info.hProcess, 3);
    WaitForSingleObject(info.hProcess, 5000);
    return 2;
  };

  HWND sheet = nullptr;
  while (sheet == nullptr) {
    const Search found = Look(info.dwProcessId);
    // A question at start-up (the stored location is another folder) would
    // wait for an answer nobody gives.
    if (found.box != nullptr) return fail(("message box at start-up " + Describe(found.box)).c_str());
    sheet = found.sheet;
    if (sheet != nullptr) break;
    if (WaitForSingleObject(info.hProcess, 50) == WAIT_OBJECT_0) return fail("the program ended without a window");
    if (Now() - started > kWindowWaitMs / 1000.0) return fail("no \"Auralith\" window");
  }
  std::fprintf(stderr, "gui_driver: window up after %.3f s\n", Now() - started);

  DWORD_PTR answer = 0;
  SendMessageTimeoutA(sheet, PSM_SETCURSEL, 1, 0, SMTO_NORMAL, kControlTimeoutMs, &answer);
  SendMessageTimeoutA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0, SMTO_NORMAL, kControlTimeoutMs, &answer);
  const HWND page = reinterpret_cast<HWND>(answer);
  const HWND generate = page != nullptr ? GetDlgItem(page, IDC_GENERATE) : nullptr;
  if (generate == nullptr) return fail("no \"Generate playlists\" button on the current page");

  // A box the run shows (an unreadable root, a write failure) would hold the
  // click forever: the watcher reports it and ends the program, which lets
  // the click return.
  std::atomic<bool> clicked{false};
  std::atomic<bool> boxSeen{false};
  std::thread watcher([&] {
    while (!clicked) {
      const Search found = Look(info.dwProcessId);
      if (found.box != nullptr) {
        std::fprintf(stderr, "gui_driver: message box during the run %s\n", Describe(found.box).c_str());
        boxSeen = true;
        TerminateProcess(info.hProcess, 3);
        return;
      }
      Sleep(kWatchIntervalMs);
    }
  });
  const double clickStart = Now();
  const LRESULT sent = SendMessageTimeoutA(generate, BM_CLICK, 0, 0, SMTO_NORMAL,
                                           static_cast<UINT>(limit * 1000), &answer);
  const double seconds = Now() - clickStart;
  clicked = true;
  watcher.join();
  if (boxSeen) return fail("run stopped");
  if (sent == 0) return fail("the click did not return in time");

  // Posted, not sent: a sheet told to end inside a sent message goes on
  // waiting in its modal loop until some message is posted (Wine's does).
  PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
  if (!Finish(info, kCloseWaitMs)) return 3;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  std::printf("%.3f\n", seconds);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "window" && argc >= 3) return RunWindow(argv[2], argc > 3 ? std::atof(argv[3]) : kRunLimitS);
  if (mode == "process" && argc >= 3) return RunProcess(argc - 2, argv + 2);
  std::fprintf(stderr,
               "usage: gui_driver window PROGRAM.exe [LIMIT_S]\n"
               "       gui_driver process PROGRAM.exe [ARGUMENTS...]\n");
  return 2;
}

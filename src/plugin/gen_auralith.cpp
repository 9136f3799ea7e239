// gen_auralith.dll: the player plug-in that puts the cover of the playing
// album on the music desktop. The player loads it from its plug-in folder,
// where start-up copies it, and calls it on its user-interface thread.
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

#include "desktop/applier.h"
#include "desktop/cover_art.h"
#include "platform/native.h"
#include "plugin/player_plugin.h"
#include "settings/registry_binding.h"
#include "settings/settings.h"

namespace auralith {

namespace {

constexpr int kHeaderVersion = 0x10;  // GPPHDR_VER

// The player's IPC: WM_USER with the request in lParam.
constexpr UINT kIpcMessage = WM_USER;
constexpr LPARAM kIpcIsPlaying = 104;        // 1 playing, 3 paused, 0 stopped
constexpr LPARAM kIpcGetListPos = 125;       // the playlist position
constexpr LPARAM kIpcGetPlaylistFile = 211;  // wParam: a position; the player's own char*

// Quick enough to follow a track change, and still only three in-thread
// calls twice a second.
constexpr UINT kPollMilliseconds = 500;
constexpr std::size_t kLongestName = 32768;
constexpr std::uint32_t kAlbumCovers = 2;  // 2_backtype
constexpr int kRetries = 3;

char description[] = "Auralith desktop covers";
constexpr const char* kAbout =
    "Auralith desktop covers\n\n"
    "While Winamp plays, this plug-in shows the cover of the playing album on the Auralith "
    "music desktop: a folder.jpg, cover.jpg, front.jpg or AlbumArt picture beside the file, "
    "else the picture stored in the file itself.\n\n"
    "It has no settings of its own. In Auralith, choose \"Use album covers as the desktop "
    "background\" on the Appearance page; \"Leave most recent cover as background\" keeps the "
    "cover when playing stops.";

// What the player is doing: playing (or paused in) a file, or stopped.
struct PlayerState {
  bool playing = false;
  std::string file;
  bool operator==(const PlayerState&) const = default;
};

// Finding a cover means a directory listing and perhaps a TagLib read of a
// large file, and the desktop refresh waits on the shell: none of that may
// hold up the player's window, so it runs here, on a thread of its own. Only
// the latest state counts; states passed over while the thread was busy are
// dropped.
class CoverWorker {
 public:
  CoverWorker() = default;
  CoverWorker(const CoverWorker&) = delete;
  CoverWorker& operator=(const CoverWorker&) = delete;
  // A host that unloads the plug-in without calling quit does so as the
  // process ends, when the thread is gone already; joining then would wait
  // on the loader, and a joinable thread's destructor would end the process.
  ~CoverWorker() {
    if (thread_.joinable()) thread_.detach();
  }

  bool Start() {
    stopping_ = false;
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (const std::exception&) {
      return false;
    }
    return true;
  }

  void Post(PlayerState state) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      pending_ = std::move(state);
      hasPending_ = true;
    }
    wake_.notify_one();
  }

  // Whether a state could not be published since the last call.
  bool TakeFailure() { return failed_.exchange(false); }

  // Carries out what is still pending, then ends the thread.
  void Stop() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return hasPending_ || stopping_; });
      if (!hasPending_) return;
      const PlayerState state = std::move(pending_);
      hasPending_ = false;
      lock.unlock();
      // Nothing may leave this thread by an exception: it would end the player.
      bool published = false;
      try {
        published = Publish(state);
      } catch (...) {
      }
      if (!published) failed_ = true;
      lock.lock();
    }
  }

  // False when the page's files could not be written. The settings are read
  // afresh each time, so a change made in Auralith counts from the next
  // track on. They are only read: the plug-in never writes Auralith's key
  // (Settings would fill in the first-start defaults).
  static bool Publish(const PlayerState& state) {
    Win32RegistryStore registry;
    const std::string key = std::string(kSettingsKey) + "\\";
    RegistryString location(registry, key + "location");
    RegistryDword backType(registry, key + "2_backtype");
    RegistryDword leaveCover(registry, key + "2_leavecover");
    // Before Auralith's first start there is no desktop to show covers on.
    const std::string folder = location.Get();
    if (folder.empty()) return true;

    Win32FileSystem fs;
    CoverPublished result = CoverPublished::Unchanged;
    if (state.playing) {
      // An album without a cover must not show the last album's.
      CoverImage cover;
      const bool found = FindCover(fs, state.file, &cover);
      result = PublishCover(fs, folder, found ? &cover : nullptr);
    } else if (leaveCover.Get() == 0) {
      result = PublishCover(fs, folder, nullptr);
    }
    if (result == CoverPublished::Changed && backType.Get() == kAlbumCovers) {
      Win32DesktopShell shell;
      RefreshDesktop(shell);
    }
    return result != CoverPublished::Failed;
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  PlayerState pending_;
  bool hasPending_ = false;
  bool stopping_ = false;
  std::atomic<bool> failed_{false};
  std::thread thread_;
};

// Asks the player what it plays, on a timer of the player's own thread.
// Polling, rather than subclassing the player's window for its
// IPC_PLAYING_FILE notices: every way a track can change (the playlist
// running on, a double click, a stream, another plug-in) shows in these
// answers, and nothing is left chained into the player's window procedure
// when the plug-in is unloaded after other plug-ins have subclassed it too.
class CoverWatcher {
 public:
  bool Start(HWND player) {
    if (timer_ != 0) return true;
    player_ = player;
    known_ = false;
    retries_ = 0;
    if (!worker_.Start()) return false;
    timer_ = SetTimer(nullptr, 0, kPollMilliseconds, OnTimer);
    if (timer_ == 0) {
      worker_.Stop();
      return false;
    }
    return true;
  }

  void Stop() {
    if (timer_ == 0) return;
    KillTimer(nullptr, timer_);
    timer_ = 0;
    // Closing the player ends playing, too.
    if (known_ && last_.playing) worker_.Post(PlayerState{});
    worker_.Stop();
  }

 private:
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);

  void Poll() {
    PlayerState now;
    now.playing = SendMessageA(player_, kIpcMessage, 0, kIpcIsPlaying) != 0;
    if (now.playing) {
      const LRESULT position = SendMessageA(player_, kIpcMessage, 0, kIpcGetListPos);
      const auto* name = reinterpret_cast<const char*>(
          SendMessageA(player_, kIpcMessage, static_cast<WPARAM>(position), kIpcGetPlaylistFile));
      // Between two tracks the list may have no entry there: ask again later.
      if (name == nullptr) return;
      now.file.assign(name, strnlen(name, kLongestName));
    }
    // A file held open by the desktop while it was being replaced makes a
    // publication fail; it is tried again a few times, not on every tick
    // for a folder that can never be written.
    bool retry = false;
    if (worker_.TakeFailure() && retries_ < kRetries) {
      ++retries_;
      retry = true;
    }
    const bool same = known_ && now == last_;
    if (same && !retry) return;
    if (!same) retries_ = 0;
    // The first answer is posted too: a player started while stopped takes
    // the last session's cover off the desktop.
    known_ = true;
    last_ = now;
    worker_.Post(now);
  }

  HWND player_ = nullptr;
  UINT_PTR timer_ = 0;
  bool known_ = false;
  PlayerState last_;
  int retries_ = 0;
  CoverWorker worker_;
};

CoverWatcher watcher;

void CALLBACK CoverWatcher::OnTimer(HWND, UINT, UINT_PTR, DWORD) { watcher.Poll(); }

int Init();
void Config();
void Quit();

winampGeneralPurposePlugin plugin = {kHeaderVersion, description, Init, Config, Quit, nullptr, nullptr};

// 0 tells the player the plug-in is ready; anything else makes it unload it.
int Init() { return plugin.hwndParent != nullptr && watcher.Start(plugin.hwndParent) ? 0 : 1; }

void Config() { MessageBoxA(plugin.hwndParent, kAbout, description, MB_OK | MB_ICONINFORMATION); }

void Quit() { watcher.Stop(); }

}  // namespace
}  // namespace auralith

extern "C" __declspec(dllexport) winampGeneralPurposePlugin* winampGetGeneralPurposePlugin() {
  return &auralith::plugin;
}

#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/player_control.h"
#include "app/startup.h"
#include "base/path.h"
#include "base/progress_sink.h"
#include "base/prompter.h"
#include "desktop/desktop_shell.h"
#include "settings/registry_store.h"

namespace auralith::testing {

// A fresh temporary directory, removed with its content when the object goes. path() ends in the platform's separator.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + relative, with '/' in `relative` as the platform's separator.
  std::string operator/(const std::string& relative) const;

 private:
  std::string path_;
};

// '/' in a test's literal path turned into the platform's separator.
inline std::string Native(std::string path) {
  std::replace(path.begin(), path.end(), '/', kPathSeparator);
  return path;
}

std::string ReadFile(const std::string& path);
// Creates missing parent directories.
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
void MakeDirectories(const std::string& path);
void RemoveTree(const std::string& path);
// Sets a file's last-write time (seconds since 1970).
void SetModified(const std::string& path, std::int64_t seconds);
// Lists the names in a directory, sorted.
std::vector<std::string> ListNames(const std::string& dir);

// Every message box shown, answered from a script (then Ok / Yes); file and
// folder dialogs take the next of `chosen` (then cancelled).
class ScriptedPrompter : public Prompter {
 public:
  struct Shown {
    std::string text;
    std::string caption;
    MessageButtons buttons;
    MessageIcon icon;
  };
  MessageAnswer Message(const std::string& text, const std::string& caption, MessageButtons buttons,
                        MessageIcon icon) override {
    shown.push_back({text, caption, buttons, icon});
    if (onShow) onShow(Shown(shown.back()));  // a copy: the call may show another box
    if (answers.empty()) return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
    const MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  bool ChooseFile(WindowRef, const std::string& filter, std::string* path) override {
    return Dialog("file:" + filter, path);
  }
  bool ChooseFolder(const std::string& prompt, const std::string& start, std::string* path) override {
    return Dialog("folder:" + prompt + "|" + start, path);
  }
  bool ShowDocument(const std::string& path) override {
    documents.push_back(path);
    return true;
  }
  void Answer(MessageAnswer answer) { answers.push_back(answer); }

  std::deque<MessageAnswer> answers;
  std::vector<Shown> shown;
  // Called for every box while it is up, on the thread that shows it.
  std::function<void(const Shown&)> onShow;
  // Each dialog takes the next entry; an empty entry cancels.
  std::deque<std::string> chosen;
  // "file:<filter>" or "folder:<prompt>|<start>", in order.
  std::vector<std::string> dialogs;
  std::vector<std::string> documents;

 private:
  bool Dialog(const std::string& description, std::string* path) {
    dialogs.push_back(description);
    const std::string next = chosen.empty() ? "" : chosen.front();
    if (!chosen.empty()) chosen.pop_front();
    if (!next.empty()) *path = next;
    return !next.empty();
  }
};

// Every progress operation as a line ("step:...", "range:0,5", "stepit").
class RecordingProgress : public ProgressSink {
 public:
  void SetStepLine(const std::string& text) override { log.push_back("step:" + text); }
  void SetItemLine(const std::string& text) override { log.push_back("item:" + text); }
  void SetRange(std::int32_t low, std::int32_t high) override {
    log.push_back("range:" + std::to_string(low) + "," + std::to_string(high));
  }
  void SetStep(std::int32_t step) override { log.push_back("stepsize:" + std::to_string(step)); }
  void SetPos(std::int32_t pos) override { log.push_back("pos:" + std::to_string(pos)); }
  void StepIt() override { log.push_back("stepit"); }

  std::vector<std::string> log;
};

// Every call to the desktop shell as a line ("Create", "ApplyChanges:15").
class RecordingShell : public DesktopShell {
 public:
  bool Create() override {
    calls.push_back("Create");
    return createSucceeds;
  }
  void SetWallpaper(const std::u16string& path) override {
    calls.push_back("SetWallpaper");
    wallpapers.push_back(path);
  }
  bool GetDesktopItemCount(int* count) override {
    calls.push_back("GetDesktopItemCount");
    *count = itemCount;
    return true;
  }
  void ApplyChanges(std::uint32_t flags) override { calls.push_back("ApplyChanges:" + std::to_string(flags)); }
  void Release() override { calls.push_back("Release"); }

  bool createSucceeds = true;
  int itemCount = 0;
  std::vector<std::string> calls;
  std::vector<std::u16string> wallpapers;
};

// Every request to the player as a line ("Start:<program>", "Pause:<ms>").
class RecordingPlayer : public PlayerControl {
 public:
  bool IsRunning() override {
    calls.push_back("IsRunning");
    return running;
  }
  void Close() override { calls.push_back("Close"); }
  void Restart() override { calls.push_back("Restart"); }
  void Start(const std::string& program) override { calls.push_back("Start:" + program); }
  void Pause(int milliseconds) override { calls.push_back("Pause:" + std::to_string(milliseconds)); }

  bool running = false;
  std::vector<std::string> calls;
};

// Start-up's windows, as lines.
class RecordingWindows : public StartupWindows {
 public:
  void ShowConfiguration(Settings&, bool applyFirst) override {
    shown.push_back(applyFirst ? "configuration+apply" : "configuration");
  }
  void ApplyForUninstall(Settings&) override { shown.push_back("uninstall applier"); }
  std::vector<std::string> shown;
};

// Lines joined with CR LF, as every generated file ends its lines.
inline std::string Crlf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// `value` as `bytes` little-endian bytes, as archives and REG_DWORD hold it.
inline std::string LittleEndian(std::uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return out;
}

inline RegValue DwordValue(std::uint32_t word) { return RegValue{kRegDword, LittleEndian(word, 4)}; }
// Stores the "location" setting as the configuration window would.
void StoreLocation(RegistryStore& store, const std::string& location);

inline std::vector<std::string> ShownTexts(const ScriptedPrompter& prompter) {
  std::vector<std::string> texts;
  for (const auto& shown : prompter.shown) texts.push_back(shown.text);
  return texts;
}

}  // namespace auralith::testing

#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <thread>

#include "base/progress_sink.h"
#include "ui/ui_services.h"
#include "ui/window.h"

namespace auralith::ui {

// Puts a run's progress on a window's bar and text lines by synchronous
// messages from the worker thread. Item texts and single steps of the bar
// come far faster than anyone can read them, and every message to another
// thread costs a round trip through the window's thread, so they are passed
// on at most about 30 times a second; anything else first brings the window
// up to date, so the lines always end on the latest item and the exact step
// texts.
class WindowProgressSink : public ProgressSink {
 public:
  // `stepLine` or `itemLine` 0: the window has no such line.
  WindowProgressSink(HWND window, int bar, int stepLine, int itemLine);
  void SetStepLine(const std::string& text) override;
  void SetItemLine(const std::string& text) override;
  void SetRange(std::int32_t low, std::int32_t high) override;
  void SetStep(std::int32_t step) override;
  void SetPos(std::int32_t pos) override;
  void StepIt() override;
  // Sends whatever is still held back.
  void Flush();

 private:
  bool Due();

  HWND window_;
  int bar_, stepLine_, itemLine_;
  std::string item_;
  bool itemPending_ = false;
  bool posPending_ = false;
  std::int32_t low_ = 0, high_ = 100, step_ = 10, pos_ = 0;
  std::uint64_t lastSent_ = 0;
};

// A small modal window without buttons whose work runs on a worker thread;
// the worker ends the window as its last act. Enter and Escape do nothing.
class ProgressWindow : public Dialog {
 public:
  ProgressWindow(int templateId, Prompter& prompter) : Dialog(templateId), prompter_(prompter) {}
  ~ProgressWindow() override;
  // Shows the window over `owner` (disabled meanwhile) until the work is done.
  void Run(HWND owner);

 protected:
  // The work, on the worker thread. Its boxes go through `prompter`, which
  // brings the window up to date first.
  virtual void Work(ProgressSink& progress, Prompter& prompter) = 0;
  virtual int stepLineId() const { return 0; }
  virtual int itemLineId() const { return 0; }

  BOOL OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;

 private:
  void Worker(HWND window);
  Prompter& prompter_;
  std::thread worker_;
};

// The "Generate playlists" run in its window.
class PlaylistBuilder : public ProgressWindow {
 public:
  explicit PlaylistBuilder(UiServices& services);

 protected:
  void Work(ProgressSink& progress, Prompter& prompter) override;
  int stepLineId() const override;
  int itemLineId() const override;

 private:
  UiServices& services_;
};

// The desktop applier in its window ("Applying changes...").
class ApplierWindow : public ProgressWindow {
 public:
  ApplierWindow(UiServices& services, bool uninstall);

 protected:
  void Work(ProgressSink& progress, Prompter& prompter) override;

 private:
  UiServices& services_;
  bool uninstall_;
};

}  // namespace auralith::ui

#include "ui/progress_window.h"

#include <commctrl.h>

#include <system_error>

#include "builder/builder_run.h"
#include "desktop/applier.h"
#include "resource.h"

namespace auralith::ui {

namespace {
// The worker is done: the window's thread ends the modal loop.
constexpr UINT kWorkDone = WM_APP + 1;
constexpr std::uint64_t kUpdateIntervalMs = 33;

// A run's boxes, seen with the window showing the item they are about.
class FlushingPrompter : public Prompter {
 public:
  FlushingPrompter(Prompter& inner, WindowProgressSink& progress) : inner_(inner), progress_(progress) {}
  MessageAnswer Message(const std::string& text, const std::string& caption, MessageButtons buttons,
                        MessageIcon icon) override {
    progress_.Flush();
    return inner_.Message(text, caption, buttons, icon);
  }
  MessageAnswer MessageFor(WindowRef owner, const std::string& text, const std::string& caption,
                           MessageButtons buttons, MessageIcon icon) override {
    progress_.Flush();
    return inner_.MessageFor(owner, text, caption, buttons, icon);
  }

 private:
  Prompter& inner_;
  WindowProgressSink& progress_;
};

}  // namespace

// ----------------------------------------------------- WindowProgressSink

WindowProgressSink::WindowProgressSink(HWND window, int bar, int stepLine, int itemLine)
    : window_(window), bar_(bar), stepLine_(stepLine), itemLine_(itemLine) {}

bool WindowProgressSink::Due() {
  const std::uint64_t now = GetTickCount64();
  if (now - lastSent_ < kUpdateIntervalMs) return false;
  lastSent_ = now;
  return true;
}

void WindowProgressSink::Flush() {
  if (itemPending_) {
    itemPending_ = false;
    if (itemLine_ != 0) SendDlgItemMessageA(window_, itemLine_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(item_.c_str()));
  }
  if (posPending_) {
    posPending_ = false;
    SendDlgItemMessageA(window_, bar_, PBM_SETPOS, static_cast<WPARAM>(pos_), 0);
  }
}

void WindowProgressSink::SetStepLine(const std::string& text) {
  Flush();
  if (stepLine_ != 0) SendDlgItemMessageA(window_, stepLine_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void WindowProgressSink::SetItemLine(const std::string& text) {
  item_ = text;
  itemPending_ = true;
  if (Due()) Flush();
}

void WindowProgressSink::SetRange(std::int32_t low, std::int32_t high) {
  Flush();
  low_ = low;
  high_ = high;
  pos_ = pos_ < low ? low : pos_ > high ? high : pos_;
  SendDlgItemMessageA(window_, bar_, PBM_SETRANGE32, static_cast<WPARAM>(low), high);
}

void WindowProgressSink::SetStep(std::int32_t step) {
  Flush();
  step_ = step;
  SendDlgItemMessageA(window_, bar_, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
}

void WindowProgressSink::SetPos(std::int32_t pos) {
  Flush();
  pos_ = pos < low_ ? low_ : pos > high_ ? high_ : pos;
  SendDlgItemMessageA(window_, bar_, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
}

void WindowProgressSink::StepIt() {
  // The bar stops at its end here rather than starting over, which only
  // the last step of a run over all items would reach, for a moment.
  const std::int64_t next = std::int64_t{pos_} + step_;
  pos_ = next > high_ ? high_ : next < low_ ? low_ : static_cast<std::int32_t>(next);
  posPending_ = true;
  if (Due()) Flush();
}

// --------------------------------------------------------- ProgressWindow

ProgressWindow::~ProgressWindow() {
  if (worker_.joinable()) worker_.join();
}

void ProgressWindow::Run(HWND owner) {
  DoModal(owner);
  if (worker_.joinable()) worker_.join();
}

BOOL ProgressWindow::OnInitDialog() {
  try {
    worker_ = std::thread(&ProgressWindow::Worker, this, hwnd());
  } catch (const std::system_error&) {
    // No thread to be had: the work is done here, with the window frozen
    // meanwhile, rather than not at all.
    Worker(hwnd());
  }
  return TRUE;
}

void ProgressWindow::Worker(HWND window) {
  WindowProgressSink progress(window, IDC_PROGRESS, stepLineId(), itemLineId());
  FlushingPrompter prompter(prompter_, progress);
  try {
    Work(progress, prompter);
  } catch (...) {
    // The runs report their own failures; whatever escapes them must not
    // leave the window up with nobody to close it.
  }
  progress.Flush();
  PostMessageA(window, kWorkDone, 0, 0);
}

bool ProgressWindow::OnCommand(int id, int, HWND) {
  // There is no stopping a run: Enter and Escape are swallowed.
  return id == IDOK || id == IDCANCEL;
}

bool ProgressWindow::OnMessage(UINT message, WPARAM, LPARAM, INT_PTR* result) {
  if (message == kWorkDone) {
    EndDialog(0);
    *result = TRUE;
    return true;
  }
  return false;
}

// -------------------------------------------------------- PlaylistBuilder

PlaylistBuilder::PlaylistBuilder(UiServices& services)
    : ProgressWindow(IDD_BUILDER, services.prompter), services_(services) {}

void PlaylistBuilder::Work(ProgressSink& progress, Prompter& prompter) {
  BuilderRun run(services_.settings, services_.fs, prompter, progress, services_.shell);
  run.Run();
}

int PlaylistBuilder::stepLineId() const { return IDC_STEPLINE; }
int PlaylistBuilder::itemLineId() const { return IDC_ITEMLINE; }

// ---------------------------------------------------------- ApplierWindow

ApplierWindow::ApplierWindow(UiServices& services, bool uninstall)
    : ProgressWindow(IDD_APPLIER, services.prompter), services_(services), uninstall_(uninstall) {}

void ApplierWindow::Work(ProgressSink& progress, Prompter& prompter) {
  AuralithApplier applier(services_.settings, services_.registry, services_.shell, services_.fs, prompter,
                          uninstall_);
  applier.RunWorker(progress);
}

}  // namespace auralith::ui

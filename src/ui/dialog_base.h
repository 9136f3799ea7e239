#pragma once

#include <windows.h>

#include <initializer_list>

#include "ui/data_exchange.h"
#include "ui/ui_services.h"
#include "ui/window.h"

namespace auralith::ui {

// What a page asks of the window it sits in.
class PageHost {
 public:
  virtual ~PageHost() = default;
  virtual void SetPendingChanges() = 0;
  virtual void ApplyConfiguration() = 0;
};

// A page of the configuration window: it loads its members from the
// settings before the window shows, exchanges them with its controls once its
// window exists, and turns every user edit into a pending change of the
// window.
class DialogBase : public PropertyPage {
 public:
  DialogBase(UiServices& services, PageHost& host, int templateId)
      : PropertyPage(templateId), services_(services), settings_(services.settings), host_(host) {}

  virtual void LoadFromSettings() = 0;
  // Takes the controls' values and writes them to the settings; does nothing
  // while the page's window has never been shown.
  virtual void SaveToSettings() = 0;

  bool initialised() const { return initialised_; }

 protected:
  // Members and controls, in one direction; nothing before the window has
  // been initialised. False when a range check failed.
  bool UpdateData(bool save);
  virtual void Exchange(DataExchange& exchange) = 0;

  // The change handler of every control that edits a value.
  void OnPageChanged();
  // A notification that edits a value: a control and its notification code.
  struct Edit {
    int id;
    int code;
  };
  // Runs the change handler when the notification is one of `edits`.
  bool ChangedBy(int id, int code, std::initializer_list<Edit> edits);
  // A user's action on a control; notifications raised by an exchange never
  // arrive here.
  virtual bool OnControl(int id, int code) = 0;

  BOOL OnInitDialog() override;
  bool OnApply() override;
  bool OnCommand(int id, int code, HWND control) override;

  UiServices& services_;
  Settings& settings_;
  PageHost& host_;

 private:
  bool initialised_ = false;
  bool exchanging_ = false;
};

// The About page: the picture and three lines of text; it edits nothing.
class Dialog1 : public DialogBase {
 public:
  Dialog1(UiServices& services, PageHost& host);
  ~Dialog1() override;
  void LoadFromSettings() override {}
  void SaveToSettings() override {}

 protected:
  void Exchange(DataExchange&) override {}
  bool OnControl(int, int) override { return false; }
  BOOL OnInitDialog() override;

 private:
  HBITMAP picture_ = nullptr;
};

}  // namespace auralith::ui

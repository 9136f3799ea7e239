#pragma once

#include <string>

#include "ui/dialog_base.h"

namespace auralith::ui {

// The shell's folder dialog, opening where the last confirmed folder of this
// program run was.
class FolderBrowser {
 public:
  // `start` is taken as the run's start folder only when the run has none
  // yet, unless `replaceStart`.
  FolderBrowser(UiServices& services, const std::string& prompt, const std::string& start, bool replaceStart);
  void SetPrompt(const std::string& prompt) { prompt_ = prompt.empty() ? "Select Directory" : prompt; }
  // True when the user confirmed a folder, which then becomes the run's start
  // folder.
  bool Browse();
  const std::string& chosenPath() const { return chosen_; }

 private:
  UiServices& services_;
  std::string prompt_;
  std::string chosen_;
};

// A root directory as the page stores it: forward slashes turned into
// backslashes, and a backslash at the end unless it is empty.
std::string NormaliseRootDirectory(std::string root);

// The Playlists page: everything the library builder needs, the two format
// help boxes, and "Generate playlists".
class Dialog4 : public DialogBase {
 public:
  Dialog4(UiServices& services, PageHost& host);
  void LoadFromSettings() override;
  void SaveToSettings() override;

 protected:
  void Exchange(DataExchange& exchange) override;
  bool OnControl(int id, int code) override;

 private:
  void BrowseRoot();
  void ShowHelp(const char* text, const char* caption);
  void Generate();

  std::string music_;
  std::string extensions_;
  std::string organization_;
  std::string format_;
  bool id3_ = false;
  bool prefix_ = false;
  bool the_ = false;
  bool headers_ = false;
  std::string outFormat_;
};

}  // namespace auralith::ui

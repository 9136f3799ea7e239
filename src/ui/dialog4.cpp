#include "ui/dialog4.h"

#include "resource.h"
#include "ui/progress_window.h"

namespace auralith::ui {

namespace {

constexpr const char* kFilenameHelp =
    "Enter a string that describes your current filename structure, using\n"
    "the following tokens. Do not enter the file extension.\n"
    "\t%1 = Artist Name\n"
    "\t%2 = Album Name\n"
    "\t%3 = Track Number\n"
    "\t%4 = Track Title\n"
    "\t%* = Any other string\n"
    "\n"
    "For example, to match\n"
    "\tCounting Crows - Across A Wire - 05 - Mr. Jones.mp3\n"
    "enter\n"
    "\t%1 - %2 - %3 - %4\n";

constexpr const char* kEntryHelp =
    "Enter a string that describes how you want your playlist entries to appear,\n"
    "using the following tokens.\n"
    "\t%1 = Artist Name\n"
    "\t%2 = Album Name\n"
    "\t%3 = Track Number\n"
    "\t%4 = Track Title\n"
    "\t%5 = Original Filename\n"
    "\n"
    "For example, to make a playlist entry appear like this:\n"
    "\t05. Mr. Jones\n"
    "enter\n"
    "\t%3. %4\n";

}  // namespace

// ---------------------------------------------------------- FolderBrowser

FolderBrowser::FolderBrowser(UiServices& services, const std::string& prompt, const std::string& start,
                             bool replaceStart)
    : services_(services) {
  SetPrompt(prompt);
  if (replaceStart || services_.folderStart.empty()) services_.folderStart = start;
}

bool FolderBrowser::Browse() {
  std::string chosen;
  if (!services_.prompter.ChooseFolder(prompt_, services_.folderStart, &chosen)) return false;
  chosen_ = chosen;
  services_.folderStart = chosen;
  return true;
}

std::string NormaliseRootDirectory(std::string root) {
  for (char& c : root)
    if (c == '/') c = '\\';
  if (!root.empty() && root.back() != '\\') root.push_back('\\');
  return root;
}

// ---------------------------------------------------------------- Dialog4

Dialog4::Dialog4(UiServices& services, PageHost& host) : DialogBase(services, host, IDD_PLAYLISTS) {}

void Dialog4::LoadFromSettings() {
  music_ = settings_._4_music.Get();
  extensions_ = settings_._4_extensions.Get();
  organization_ = settings_._4_organization.Get();
  format_ = settings_._4_format.Get();
  id3_ = settings_._4_id3.Get() != 0;
  prefix_ = settings_._4_prefix.Get() != 0;
  the_ = settings_._4_the.Get() != 0;
  headers_ = settings_._4_headers.Get() != 0;
  outFormat_ = settings_._4_outformat.Get();
}

void Dialog4::SaveToSettings() {
  if (!initialised()) return;
  UpdateData(true);
  music_ = NormaliseRootDirectory(music_);
  settings_._4_music.Set(music_);
  settings_._4_extensions.Set(extensions_);
  settings_._4_organization.Set(organization_);
  settings_._4_organizationnum.Set(
      static_cast<std::uint32_t>(SendDlgItemMessageA(hwnd(), IDC_ORGANIZATION, CB_GETCURSEL, 0, 0)));
  settings_._4_format.Set(format_);
  settings_._4_id3.Set(id3_ ? 1 : 0);
  settings_._4_prefix.Set(prefix_ ? 1 : 0);
  settings_._4_the.Set(the_ ? 1 : 0);
  settings_._4_headers.Set(headers_ ? 1 : 0);
  settings_._4_outformat.Set(outFormat_);
}

void Dialog4::Exchange(DataExchange& exchange) {
  exchange.Text(IDC_MUSIC, music_);
  exchange.Text(IDC_EXTENSIONS, extensions_);
  exchange.ComboText(IDC_ORGANIZATION, organization_);
  exchange.Text(IDC_FORMAT, format_);
  exchange.Check(IDC_ID3, id3_);
  exchange.Check(IDC_PREFIX, prefix_);
  exchange.Check(IDC_THE, the_);
  exchange.Check(IDC_HEADERS, headers_);
  exchange.Text(IDC_OUTFORMAT, outFormat_);
  // The member always has the stored form; the box keeps what was typed.
  music_ = NormaliseRootDirectory(music_);
}

void Dialog4::BrowseRoot() {
  FolderBrowser browser(services_, "", music_.empty() ? std::string("C:\\") : music_, false);
  browser.SetPrompt("Root Music Directory");
  if (!browser.Browse()) return;
  music_ = browser.chosenPath();
  UpdateData(false);
  OnPageChanged();
}

void Dialog4::ShowHelp(const char* text, const char* caption) {
  services_.prompter.MessageFor(hwnd(), text, caption, MessageButtons::Ok, MessageIcon::None);
}

void Dialog4::Generate() {
  SaveToSettings();
  PlaylistBuilder builder(services_);
  builder.Run(GetParent(hwnd()));
}

bool Dialog4::OnControl(int id, int code) {
  if (code == BN_CLICKED) {
    switch (id) {
      case IDC_BROWSE_MUSIC:
        BrowseRoot();
        return true;
      case IDC_FORMAT_HELP:
        ShowHelp(kFilenameHelp, "Filename Format Help");
        return true;
      case IDC_OUTFORMAT_HELP:
        ShowHelp(kEntryHelp, "Playlist Entry Format Help");
        return true;
      case IDC_GENERATE:
        Generate();
        return true;
      default:
        break;
    }
  }
  return ChangedBy(id, code,
                   {{IDC_MUSIC, EN_CHANGE}, {IDC_EXTENSIONS, EN_CHANGE}, {IDC_FORMAT, EN_CHANGE},
                    {IDC_OUTFORMAT, EN_CHANGE}, {IDC_ORGANIZATION, CBN_SELCHANGE}, {IDC_ID3, BN_CLICKED},
                    {IDC_PREFIX, BN_CLICKED}, {IDC_THE, BN_CLICKED}, {IDC_HEADERS, BN_CLICKED}});
}

}  // namespace auralith::ui

// auralith-build: one "Generate playlists" run from the command line, with the
// settings the configuration window uses.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/path.h"
#include "builder/builder_run.h"
#include "platform/native.h"
#include "programs/console.h"
#include "settings/settings.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace auralith {
namespace {

constexpr const char* kUsage =
    "Usage: auralith-build [options]\n"
    "\n"
    "Scans the root music folder and writes the tag cache, the M3U playlists and\n"
    "Auralith.data, as \"Generate playlists\" does. Options are stored in the\n"
    "settings first, so later runs and the configuration window use them.\n"
    "\n"
    "  --location DIR          Auralith's own folder: the cache, the data file and\n"
    "                          the playlists folder go there\n"
    "  --root DIR              the root music folder\n"
    "  --extensions TEXT       music file extensions, e.g. \"mp3,ogg,wav\"\n"
    "  --folder-format N       0 None, 1 File,etc..., 2 ARTIST\\File,etc...,\n"
    "                          3 ARTIST\\ALBUM\\File,etc...\n"
    "  --pattern TEXT          file-name pattern: %1 artist, %2 album, %3 track,\n"
    "                          %4 title, %* anything\n"
    "  --tags, --no-tags       read artist, album, title and track from tags\n"
    "  --strip-numbers, --no-strip-numbers\n"
    "                          ignore leading numbers of album folders and titles\n"
    "  --ignore-the, --no-ignore-the\n"
    "                          ignore a leading \"The\" when sorting\n"
    "  --headers, --no-headers write album and artist headings into playlists\n"
    "  --entry-format TEXT     playlist entry: %1 artist, %2 album, %3 track,\n"
    "                          %4 title, %5 file name\n"
    "  --quiet                 no progress output\n"
    "  --help                  this text\n"
    "\n"
    "Exit status: 0 success, 1 a message was reported, 2 no valid root folder or\n"
    "extension list.\n";

const char* const kFolderFormats[] = {"None", "File,etc...", "ARTIST\\File,etc...",
                                      "ARTIST\\ALBUM\\File,etc..."};

// A directory as the settings keep it: absolute, with the platform's
// separators and one trailing separator.
std::string NormaliseDirectory(const std::string& text) {
  std::string dir = text;
#ifdef _WIN32
  for (char& c : dir)
    if (c == '/') c = '\\';
#endif
  if (!dir.empty()) {
    std::error_code ec;
    const std::filesystem::path p(std::u8string(dir.begin(), dir.end()));
    const auto absolute = std::filesystem::absolute(p, ec);
    if (!ec) {
      const std::u8string u = absolute.lexically_normal().u8string();
      dir.assign(u.begin(), u.end());
    }
  }
  return WithTrailingSeparator(dir);
}

std::string ExecutableDirectory(const char* argv0) {
#ifdef _WIN32
  char buffer[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof(buffer));
  if (n > 0 && n < sizeof(buffer)) return DirectoryPart(std::string(buffer, n));
  return DirectoryPart(argv0 ? argv0 : "");
#else
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) return WithTrailingSeparator(self.parent_path().string());
  return DirectoryPart(argv0 ? argv0 : "");
#endif
}

bool IsTerminal(std::FILE* f) {
#ifdef _WIN32
  return _isatty(_fileno(f)) != 0;
#else
  return isatty(fileno(f)) != 0;
#endif
}

int TerminalWidth() {
#ifdef _WIN32
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
    return info.srWindow.Right - info.srWindow.Left + 1;
  return 80;
#else
  winsize ws{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  return 80;
#endif
}

struct Options {
  std::optional<std::string> location, root, extensions, pattern, entryFormat;
  std::optional<std::uint32_t> folderFormat, tags, stripNumbers, ignoreThe, headers;
  bool quiet = false;
  bool help = false;
};

// False (with a message) when the command line cannot be understood.
bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::optional<std::string>* slot) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "auralith-build: %s needs a value\n", arg.c_str());
        return false;
      }
      *slot = argv[++i];
      return true;
    };
    struct Switch {
      const char* on;
      const char* off;
      std::optional<std::uint32_t> Options::*field;
    };
    static const Switch kSwitches[] = {
        {"--tags", "--no-tags", &Options::tags},
        {"--strip-numbers", "--no-strip-numbers", &Options::stripNumbers},
        {"--ignore-the", "--no-ignore-the", &Options::ignoreThe},
        {"--headers", "--no-headers", &Options::headers},
    };
    bool matched = false;
    for (const auto& sw : kSwitches) {
      if (arg == sw.on || arg == sw.off) {
        options->*sw.field = arg == sw.on ? 1u : 0u;
        matched = true;
      }
    }
    if (matched) continue;
    if (arg == "--location") {
      if (!value(&options->location)) return false;
    } else if (arg == "--root") {
      if (!value(&options->root)) return false;
    } else if (arg == "--extensions") {
      if (!value(&options->extensions)) return false;
    } else if (arg == "--pattern") {
      if (!value(&options->pattern)) return false;
    } else if (arg == "--entry-format") {
      if (!value(&options->entryFormat)) return false;
    } else if (arg == "--folder-format") {
      std::optional<std::string> text;
      if (!value(&text)) return false;
      if (text->size() != 1 || (*text)[0] < '0' || (*text)[0] > '3') {
        std::fprintf(stderr, "auralith-build: --folder-format takes 0, 1, 2 or 3\n");
        return false;
      }
      options->folderFormat = static_cast<std::uint32_t>((*text)[0] - '0');
    } else if (arg == "--quiet") {
      options->quiet = true;
    } else if (arg == "--help" || arg == "-h") {
      options->help = true;
    } else {
      std::fprintf(stderr, "auralith-build: unknown option %s (see --help)\n", arg.c_str());
      return false;
    }
  }
  return true;
}

void StoreOptions(const Options& o, Settings& settings, const std::string& programDir) {
  // No location stored means no start-up has ever run: begin, as the first
  // start does, from the factory defaults. Only their closing save stores
  // 4_ignorefileinfo, after every other value but 4_headers (set before it),
  // and the location is stored after that: a first start that was stopped
  // half way is done again, while a settings file that lost just its
  // location line keeps everything else.
  if (settings.location.Get().empty() && !settings._4_ignorefileinfo.valid()) settings.ResetToDefaults();
  if (o.location) {
    const std::string dir = NormaliseDirectory(*o.location);
    // A folder named on the command line is made when missing, so that the
    // cache, the data file and the playlists have somewhere to go.
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(std::u8string(dir.begin(), dir.end())), ec);
    settings.location.Set(dir);
  } else if (settings.location.Get().empty()) {
    settings.location.Set(programDir);
  }
  if (o.root) settings._4_music.Set(NormaliseDirectory(*o.root));
  if (o.extensions) settings._4_extensions.Set(*o.extensions);
  if (o.folderFormat) {
    settings._4_organization.Set(kFolderFormats[*o.folderFormat]);
    settings._4_organizationnum.Set(*o.folderFormat);
  }
  if (o.pattern) settings._4_format.Set(*o.pattern);
  if (o.tags) settings._4_id3.Set(*o.tags);
  if (o.stripNumbers) settings._4_prefix.Set(*o.stripNumbers);
  if (o.ignoreThe) settings._4_the.Set(*o.ignoreThe);
  if (o.headers) settings._4_headers.Set(*o.headers);
  if (o.entryFormat) settings._4_outformat.Set(*o.entryFormat);
}

int Main(int argc, char** argv) {
#ifdef __GLIBC__
  // One run and out: what it frees is best kept for what it takes next.
  // Blocks of over 128 KiB (the scan's list as it grows, playlist texts)
  // would otherwise each be mapped afresh and unmapped again, and the heap
  // grown and trimmed a little at a time; every fresh page is a fault, and
  // faults are a large part of a run over an unchanged tree.
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  mallopt(M_TOP_PAD, 16 << 20);
#endif
  Options options;
  if (!ParseOptions(argc, argv, &options)) return 2;
  if (options.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }

  ConsolePrompter prompter(stderr);
  NativeRegistryStore registry;
#ifndef _WIN32
  registry.SetComplaintHandler([&prompter](const std::string& text) {
    prompter.Message(text, "Error", MessageButtons::Ok, MessageIcon::Error);
  });
#endif
  Settings settings(registry);
  StoreOptions(options, settings, ExecutableDirectory(argc > 0 ? argv[0] : nullptr));

  NativeFileSystem fs;
  NativeDesktopShell shell(registry);
  TerminalProgress progress(stderr, IsTerminal(stderr), options.quiet, TerminalWidth());
  prompter.SetBeforeMessage(&progress);

  BuilderRun run(settings, fs, prompter, progress, shell);
  const BuilderRun::Result result = run.Run();
  progress.Finish();
  if (result == BuilderRun::Result::kInvalidInput) return 2;
  if (!options.quiet) {
    std::fprintf(stdout, "Playlists written to %splaylists%c\n", settings.location.Get().c_str(),
                 kPathSeparator);
  }
  return prompter.count() > 0 ? 1 : 0;
}

}  // namespace
}  // namespace auralith

int main(int argc, char** argv) { return auralith::Main(argc, argv); }

#include "builder/builder_run.h"

#include <algorithm>
#include <exception>
#include <future>
#include <system_error>
#include <new>
#include <string>
#include <vector>

#include "base/path.h"
#include "builder/afile_info.h"
#include "builder/file_info.h"
#include "builder/library.h"
#include "builder/library_data.h"
#include "builder/patterns.h"
#include "builder/playlists.h"
#include "builder/scan.h"
#include "builder/tag_cache.h"
#include "builder/tag_reader_pool.h"
#include "desktop/applier.h"

namespace auralith {

namespace {

constexpr const char* kInvalidInput = "You must specify a valid root directory and file extension list.";

std::int32_t Clamp32(std::size_t n) {
  return n > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<std::int32_t>(n);
}

}  // namespace

BuilderRun::BuilderRun(Settings& settings, FileSystem& fs, Prompter& prompter, ProgressSink& progress,
                       DesktopShell& shell)
    : settings_(settings), fs_(fs), prompter_(prompter), progress_(progress), shell_(shell) {}

BuilderRun::Result BuilderRun::Run() {
  const std::string root = settings_._4_music.Get();
  const std::uint32_t folderFormat = settings_._4_organizationnum.Get();
  const std::string pattern = settings_._4_format.Get();
  const std::vector<std::string> extensions = ParseExtensions(settings_._4_extensions.Read());

  // The directory is checked without its trailing separators; a root that is
  // nothing but separators (the POSIX root) is checked as it stands.
  std::string rootDir = WithoutTrailingSeparators(root);
  if (rootDir.empty()) rootDir = root;
  if (root.empty() || !fs_.Readable(rootDir) || extensions.empty()) {
    prompter_.Message(kInvalidInput, "", MessageButtons::Ok, MessageIcon::None);
    return Result::kInvalidInput;
  }

  const std::string cacheFile = settings_.location.Get() + "Auralith.archive";
  std::vector<std::string> paths;
  PathTable table;
  // Each path's record, in the order of `paths`; owned by the table.
  std::vector<AFileInfo*> records;
  Library artists;
  const char* step = "";

  try {
    // The cache is read on a second thread while the tree is scanned: the
    // two are independent, and a run over an unchanged tree spends most of
    // its time on them. Nothing else uses the settings meanwhile.
    FileStatus cacheStatus;
    const bool haveCache = fs_.Status(cacheFile, &cacheStatus);
    std::future<PathTable> cached;
    if (haveCache) {
      auto load = [this, &cacheFile] { return LoadTagCache(cacheFile, settings_, 0); };
      try {
        cached = std::async(std::launch::async, load);
      } catch (const std::system_error&) {
        cached = std::async(std::launch::deferred, load);  // no thread to be had
      }
    }

    // 1. Scan.
    step = "scanning";
    progress_.SetStepLine("Scanning music directory for files... (Step 1 of 8)");
    progress_.SetRange(0, 1);
    progress_.SetStep(1);
    progress_.SetPos(0);
    std::vector<MusicFile> found = ScanMusicTree(fs_, root, "", extensions, progress_);
    progress_.SetPos(1);

    // The playlist folder is listed on a second thread while this one sorts,
    // compares with the cache and groups: a listing with the status of every
    // playlist is most of what step 5 costs when nothing changed, and nothing
    // writes there before step 5.
    auto listPlaylists = [this, folder = PlaylistFolderPath(settings_)] { return ListPlaylistFolder(fs_, folder); };
    std::future<PlaylistFolderListing> playlistFolder;
    try {
      playlistFolder = std::async(std::launch::async, listPlaylists);
    } catch (const std::system_error&) {
      playlistFolder = std::async(std::launch::deferred, listPlaylists);
    }

    // 2. Sort the paths and load the cache.
    step = "sorting";
    progress_.SetStepLine("Sorting music files... (Step 2 of 8)");
    progress_.SetItemLine("");
    // std::string compares like memcmp, as unsigned bytes: 'B' < 'a' < 0xC3.
    std::sort(found.begin(), found.end(), [](const MusicFile& a, const MusicFile& b) { return a.path < b.path; });
    const std::size_t n = found.size();
    paths.reserve(n);
    for (MusicFile& file : found) paths.push_back(std::move(file.path));
    const std::int32_t n32 = Clamp32(n);
    progress_.SetRange(0, 1);
    progress_.SetStep(1);
    progress_.SetPos(0);
    if (haveCache) {
      progress_.SetStepLine("Loading cache... (Step 2 of 8)");
      progress_.SetItemLine("");
      table = cached.get();
    }
    table.reserve(n);
    progress_.SetPos(1);
    // A cache that gave records and comes out of step 3 with exactly those
    // records already holds what would be written.
    bool cacheChanged = table.empty();
    // Cached records found unchanged; with the records read, every record of
    // a table this size was seen, and there is none to look for to drop.
    std::size_t kept = 0;
    std::size_t read = 0;

    // 3. Read file information for new and changed files.
    step = "reading file info";
    progress_.SetRange(0, n32);
    progress_.SetStep(1);
    progress_.SetPos(1);
    progress_.SetStepLine("Reading file info... (Step 3 of 8)");
    {
      // Which files must be read is settled first, without a message; the
      // pool then reads them ahead on every core while this thread reports
      // each path in order, as if it read them one by one itself.
      std::vector<std::unique_ptr<AFileInfo>> fresh(n);
      records.assign(n, nullptr);
      std::vector<AFileInfo*> toRead;
      std::string file = root;
      for (std::size_t i = 0; i < n; ++i) {
        const std::string& path = paths[i];
        FileStatus status = found[i].status;
        if (!found[i].statusKnown) {
          file.resize(root.size());
          file += path;
          if (!fs_.Status(file, &status)) continue;  // vanished since the scan: no record
        }
        auto cached = table.find(path);
        if (cached != table.end() && cached->second->modified == status.modified &&
            cached->second->size == status.size) {
          cached->second->seen = 1;
          records[i] = cached->second.get();
          ++kept;
          continue;
        }
        auto record = std::make_unique<AFileInfo>();
        record->path = path;
        record->modified = status.modified;
        record->size = status.size;
        if (folderFormat == 2 || folderFormat == 3) ApplyFolderFormat(*record, settings_);
        if (pattern.find('%') != std::string::npos) ApplyFileNamePattern(*record, settings_);
        toRead.push_back(record.get());
        records[i] = record.get();
        fresh[i] = std::move(record);
      }
      found.clear();
      found.shrink_to_fit();

      // Declared after the records it reads, so that it is gone (its workers
      // stopped) before they are, whichever way this block is left.
      TagReaderPool pool(std::move(toRead), TagReadOptionsFrom(settings_));
      std::size_t next = 0;
      for (std::size_t i = 0; i < n; ++i) {
        progress_.SetItemLine(paths[i]);
        if (fresh[i]) {
          FinishFileInfo(*fresh[i], pool.Result(next++), settings_, prompter_);
          table.Insert(std::move(fresh[i]));
          ++read;
          cacheChanged = true;
        }
        progress_.StepIt();
      }
    }
    progress_.SetPos(n32);
    if (kept + read < table.size() && table.EraseIf([](const AFileInfo& record) { return record.seen == 0; }) > 0)
      cacheChanged = true;
    if (cacheChanged && !SaveTagCache(cacheFile, settings_, table)) {
      // The playlists can still be written; the next run reads every file again.
      prompter_.Message("Error writing cache file \"" + cacheFile + "\"", "Error", MessageButtons::Ok,
                        MessageIcon::Error);
    }

    // 4. Group and order.
    step = "sorting into playlists";
    progress_.SetRange(0, n32);
    progress_.SetStep(1);
    progress_.SetPos(1);
    progress_.SetStepLine("Sorting into playlists... (Step 4 of 8)");
    artists = BuildLibrary(paths, records, settings_, progress_);
    progress_.SetPos(n32);

    // The data file's text is made on a second thread while this one writes
    // the playlists: the two only read the library. Writing it, and any
    // message, stays in step 6.
    const std::string location = settings_.location.Get();
    const std::string format = settings_._4_outformat.Get();
    auto makeData = [&artists, &location, &format] { return LibraryDataText(artists, location, format); };
    std::future<std::string> dataText;
    try {
      dataText = std::async(std::launch::async, makeData);
    } catch (const std::system_error&) {
      dataText = std::async(std::launch::deferred, makeData);
    }

    // 5. Playlists.
    step = "generating playlists";
    progress_.SetRange(0, n32);
    progress_.SetStep(1);
    progress_.SetPos(1);
    progress_.SetStepLine("Generating playlists... (Step 5 of 8)");
    const PlaylistFolderListing listing = playlistFolder.get();
    WritePlaylists(artists, settings_, fs_, prompter_, progress_, &listing);
    progress_.SetPos(n32);

    // 6. Data file.
    step = "writing the data file";
    const std::int32_t a32 = Clamp32(artists.size());
    progress_.SetRange(0, a32);
    progress_.SetStep(1);
    progress_.SetPos(1);
    progress_.SetStepLine("Writing data file... (Step 6 of 8)");
    WriteLibraryDataText(dataText.get(), artists.size(), location, prompter_, progress_);
    progress_.SetPos(a32);

    // 7. Desktop.
    step = "refreshing the desktop";
    progress_.SetRange(0, 1);
    progress_.SetStep(1);
    progress_.SetPos(0);
    progress_.SetStepLine("Refreshing desktop... (Step 7 of 8)");
    RefreshDesktop(shell_);
    progress_.SetPos(1);
  } catch (const std::bad_alloc&) {
    prompter_.Message(std::string("Not enough memory while ") + step + "; the run was stopped.", "Error",
                      MessageButtons::Ok, MessageIcon::Error);
  } catch (const std::exception& e) {
    prompter_.Message(std::string("Unexpected error while ") + step + ": " + e.what(), "Error",
                      MessageButtons::Ok, MessageIcon::Error);
  }

  // 8. Clean-up.
  progress_.SetRange(0, 1);
  progress_.SetStep(1);
  progress_.SetPos(0);
  progress_.SetStepLine("Cleaning up... (Step 8 of 8)");
  artists.clear();
  records.clear();
  table.clear();
  paths.clear();
  progress_.SetPos(1);
  return Result::kCompleted;
}

}  // namespace auralith

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/path.h"
#include "builder/scan.h"
#include "platform/native.h"
#include "support/test_support.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace auralith {
namespace {

using testing::Native;
using testing::RecordingProgress;
using testing::TempDir;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAreArray;

using List = std::vector<std::string>;

const List kDefaultExtensions = {"mp3", "ogg", "wav"};

TEST(ParseExtensions, Table) {
  const std::pair<const char*, List> cases[] = {
      {"mp3,ogg,wav", {"mp3", "ogg", "wav"}},
      {"MP3; Ogg |wav", {"mp3", "ogg", "wav"}},
      {",,mp3;;;ogg\t\twav||", {"mp3", "ogg", "wav"}},
      {"mp3,MP3,mp3", {"mp3", "mp3", "mp3"}},
      // A token with anything but ASCII letters and digits empties the list
      // built so far.
      {".mp3", {}},
      {"mp3,o.g,wav", {"wav"}},
      {"mp3,\xC3\xA9t\xC3\xA9,ogg", {"ogg"}},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(ParseExtensions(text), expected) << '"' << text << '"';
}

List Paths(const std::vector<MusicFile>& files) {
  List out;
  for (const MusicFile& f : files) out.push_back(f.path);
  return out;
}

List NativeAll(const List& paths) {
  List out;
  for (const std::string& p : paths) out.push_back(Native(p));
  return out;
}

class ScanTree : public ::testing::Test {
 protected:
  void Make(const List& files) {
    for (const std::string& f : files) testing::WriteFile(dir / f, "x");
  }
  List Scan(const List& extensions = kDefaultExtensions, const std::string& relative = "") {
    return Paths(ScanMusicTree(fs, dir.path(), relative, extensions, progress));
  }

  TempDir dir;
  NativeFileSystem fs;
  RecordingProgress progress;
};

TEST_F(ScanTree, CollectsVisibleMusicFilesAndShowsEachOnce) {
  Make({"a.mp3", ".mp3", "amp3", "Artist/Track.Mp3", "Artist/notes.txt", "Artist/Album/01 - Song.mp3", "A/B/c.ogg",
        "deep/er/still/d.wav", "song.mp3.bak", ".hidden-by-name/x.mp3", "Artist/.dotted/z.ogg", ".dotfile.mp3"});
#ifndef _WIN32
  // Only other systems allow line breaks in names; no playlist line holds one.
  Make({"b\nc.mp3", "d\re.ogg", "Line\nFolder/f.mp3"});
#endif
  const List found = Scan();
  EXPECT_THAT(found, UnorderedElementsAreArray(NativeAll(
                         {"a.mp3", "Artist/Track.Mp3", "Artist/Album/01 - Song.mp3", "A/B/c.ogg", "deep/er/still/d.wav"})));
  List expected;
  for (const std::string& path : found) expected.push_back("item:" + path);
  EXPECT_EQ(progress.log, expected) << "each file is shown once, just before it is listed";

  EXPECT_THAT(Scan(kDefaultExtensions, Native("Artist/")),
              UnorderedElementsAreArray(NativeAll({"Artist/Track.Mp3", "Artist/Album/01 - Song.mp3"})));
  EXPECT_THAT(Scan({"wav", "wav"}), ElementsAre(Native("deep/er/still/d.wav")));
  progress.log.clear();
  EXPECT_THAT(Scan({}), IsEmpty());
  EXPECT_THAT(ScanMusicTree(fs, dir / "missing/", "", kDefaultExtensions, progress), IsEmpty());
  EXPECT_THAT(progress.log, IsEmpty());
}

// The run compares the status the scan carries with the tag cache instead of
// asking for it again, so it must be exactly what Status() reports: a day
// after the epoch shows a time-zone shift, 2100 needs 64 bits.
TEST_F(ScanTree, CarriesEachFileStatusAsStatusReportsIt) {
  const std::pair<const char*, std::int64_t> files[] = {{"a.mp3", 86400}, {"A/b.ogg", 1700000000}, {"A/B/c.wav", 4102444800}};
  for (const auto& [path, modified] : files) {
    testing::WriteFile(dir / path, path);
    testing::SetModified(dir / path, modified);
  }
  const std::vector<MusicFile> found = ScanMusicTree(fs, dir.path(), "", kDefaultExtensions, progress);
  ASSERT_EQ(found.size(), std::size(files));
  for (const MusicFile& file : found) {
    FileStatus status;
    ASSERT_TRUE(fs.Status(dir.path() + file.path, &status));
    EXPECT_TRUE(file.statusKnown) << file.path;
    EXPECT_EQ(std::pair(file.status.size, file.status.modified), std::pair(status.size, status.modified)) << file.path;
  }
}

#ifndef _WIN32

void Link(const std::string& target, const std::string& link) {
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0) << link;
}

// A link back into the descent path ends there; any other path to a
// directory, even one reached twice, is listed.
TEST_F(ScanTree, LinkLoopsEndAndEveryNonLoopingPathIsListed) {
  Make({"x.mp3", "A/y.mp3", "B/z.mp3", "A/C/w.ogg"});
  Link("..", dir / "A/up");
  Link(dir.path(), dir / "B/root");
  Link(".", dir / "B/self");
  Link("../..", dir / "A/C/top");
  Link("../A", dir / "B/toA");
  Link(dir / "A/C", dir / "C2");
  EXPECT_THAT(Scan(), UnorderedElementsAreArray(NativeAll(
                          {"x.mp3", "A/y.mp3", "B/z.mp3", "A/C/w.ogg", "B/toA/y.mp3", "B/toA/C/w.ogg", "C2/w.ogg"})));
}

#endif

// A tree made up from each directory's depth: every directory holds a
// subdirectory `child` (down to `depths` levels) listed before "f.mp3", and
// has the identity `id` gives. The node comes from that identity too, not
// from the real file system's shortcut.
struct MadeUpTree : NativeFileSystem {
  bool ListDirectory(const std::string& dir, std::vector<DirEntry>* entries) override {
    ++listings;
    longest = std::max(longest, dir.size());
    entries->clear();
    if (Depth(dir) < depths) entries->push_back({child, true, false});
    entries->push_back({"f.mp3", false, false});
    return true;
  }
  bool Identify(const std::string& dir, DirectoryId* out) override { return id(Depth(dir), out); }
  bool IdentifyNode(const std::string& dir, std::uint64_t* node) override {
    return FileSystem::IdentifyNode(dir, node);
  }
  static std::size_t Depth(const std::string& dir) {
    return static_cast<std::size_t>(std::count(dir.begin(), dir.end(), kPathSeparator));
  }

  bool (*id)(std::size_t depth, DirectoryId* id) = nullptr;
  std::size_t depths = SIZE_MAX;
  std::string child = "next";
  std::size_t listings = 0;
  std::size_t longest = 0;
};

TEST(ScanMadeUpTree, LoopsAreKnownByTheWholeIdentity) {
  const struct {
    const char* name;
    bool (*id)(std::size_t depth, DirectoryId* id);
    std::size_t depths;
  } cases[] = {
      {"ids repeat every third level", [](std::size_t d, DirectoryId* id) { *id = {7, d % 3}; return true; }, 1000},
      {"equal nodes on other volumes", [](std::size_t d, DirectoryId* id) { *id = {d, 5}; return true; }, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MadeUpTree fs;
    fs.id = c.id;
    fs.depths = c.depths;
    RecordingProgress progress;
    EXPECT_THAT(Paths(ScanMusicTree(fs, "", "", kDefaultExtensions, progress)),
                ElementsAre(Native("next/next/f.mp3"), Native("next/f.mp3"), "f.mp3"));
  }
}

// Without identities nothing reveals the repetition of a never-ending tree.
TEST(ScanMadeUpTree, EndlessTreeStopsAtBoundedDepthAndLength) {
  for (const std::string& child : {std::string("d"), std::string(1000, 'n')}) {
    SCOPED_TRACE(child.size());
    MadeUpTree fs;
    fs.id = [](std::size_t, DirectoryId*) { return false; };
    fs.child = child;
    RecordingProgress progress;
    const std::size_t found = ScanMusicTree(fs, "root/", "", kDefaultExtensions, progress).size();
    EXPECT_GT(found, 10u);
    EXPECT_LE(found, 1000u);
    EXPECT_EQ(found, fs.listings);
    EXPECT_LE(fs.longest, 32767u);
  }
}

}  // namespace
}  // namespace auralith

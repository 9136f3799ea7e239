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

// After the project's headers, so that <windows.h>'s A/W macros cannot rename
// the file system's methods.
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace auralith {
namespace {

using testing::Native;
using testing::RecordingProgress;
using testing::TempDir;
using testing::WriteFile;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAreArray;

using List = std::vector<std::string>;

const List kDefaultExtensions = {"mp3", "ogg", "wav"};

// ------------------------------------------------------------ ParseExtensions

struct ParseCase {
  const char* text;
  List expected;
};

TEST(ParseExtensions, Table) {
  const ParseCase cases[] = {
      {"mp3,ogg,wav", {"mp3", "ogg", "wav"}},
      {"MP3; Ogg |wav", {"mp3", "ogg", "wav"}},
      {".mp3", {}},
      {"mp3,o.g,wav", {"wav"}},
      {"o.g,mp3", {"mp3"}},
      {"", {}},
      {" ,;|\t", {}},
      {",,mp3;;;ogg\t\twav||", {"mp3", "ogg", "wav"}},
      {"mp3,MP3,mp3", {"mp3", "mp3", "mp3"}},
      // Only ASCII letters and digits count; bytes of a multibyte letter and a
      // hyphen do not.
      {"mp3,\xC3\xA9t\xC3\xA9,ogg", {"ogg"}},
      {"mp3 MP-3", {}},
      {"mp3\nogg", {}},
  };
  for (const ParseCase& c : cases) {
    EXPECT_EQ(ParseExtensions(c.text), c.expected) << "text: \"" << c.text << "\"";
  }
}

// ------------------------------------------------------------ MatchesExtension

struct MatchCase {
  const char* name;
  List extensions;
  bool expected;
};

TEST(MatchesExtension, Table) {
  const MatchCase cases[] = {
      {"a.mp3", {"mp3"}, true},
      {".mp3", {"mp3"}, false},
      {"mp3", {"mp3"}, false},
      {"amp3", {"mp3"}, false},
      {"song.mp3.bak", {"mp3"}, false},
      {"Track.Mp3", {"mp3"}, true},
      {"SONG.OGG", {"mp3", "ogg"}, true},
      {"x.wav ", {"wav"}, false},
      {"x.mp3", {}, false},
      {"x.flac", {"ac"}, false},
  };
  for (const MatchCase& c : cases) {
    EXPECT_EQ(MatchesExtension(c.name, c.extensions), c.expected) << "name: \"" << c.name << "\"";
  }
}

// ------------------------------------------------------------ ScanMusicTree on disk

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
    for (const std::string& f : files) WriteFile(dir / f, "x");
  }
  List Scan(const List& extensions = kDefaultExtensions, const std::string& relative = "") {
    return Paths(ScanMusicTree(fs, dir.path(), relative, extensions, progress));
  }

  TempDir dir;
  NativeFileSystem fs;
  RecordingProgress progress;
};

TEST_F(ScanTree, CollectsVisibleMusicFilesAndShowsEachOnce) {
  Make({"a.mp3", ".mp3", "Artist/Track.Mp3", "Artist/notes.txt", "Artist/Album/01 - Song.mp3",
        "Artist/Album/cover.jpg", "A/B/c.ogg", "deep/er/still/d.wav", "song.mp3.bak",
        ".hidden-by-name/x.mp3", ".hidden-by-name/sub/y.mp3", "Artist/.dotted/z.ogg",
        ".dotfile.mp3"});
  testing::MakeDirectories(dir / "empty");

  const List found = Scan();

  EXPECT_THAT(found, UnorderedElementsAreArray(NativeAll(
                         {"a.mp3", "Artist/Track.Mp3", "Artist/Album/01 - Song.mp3", "A/B/c.ogg",
                          "deep/er/still/d.wav"})));
  List expected;
  for (const std::string& path : found) expected.push_back("item:" + path);
  EXPECT_EQ(progress.log, expected) << "each file is shown once, just before it is listed";
}

// The run compares the status the scan carries with the tag cache instead of
// asking for it again, so it must be exactly what Status() reports.
TEST_F(ScanTree, CarriesEachFileStatusAsStatusReportsIt) {
  const struct {
    const char* path;
    std::size_t size;
    std::int64_t modified;
  } cases[] = {
      {"a.mp3", 0, 1000000000},
      {"Artist/Album/b.ogg", 70000, 1700000000},
      {"Artist/c.wav", 3, 86400},  // a day after the epoch: no time-zone shift
      {"d.mp3", 1234, 4102444800},  // after 2038
  };
  for (const auto& c : cases) {
    WriteFile(dir / c.path, std::string(c.size, 'x'));
    testing::SetModified(dir / c.path, c.modified);
  }
  const std::vector<MusicFile> found = ScanMusicTree(fs, dir.path(), "", kDefaultExtensions, progress);
  ASSERT_EQ(found.size(), std::size(cases));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const auto file = std::find_if(found.begin(), found.end(), [&](const MusicFile& f) { return f.path == Native(c.path); });
    ASSERT_NE(file, found.end());
    FileStatus status;
    ASSERT_TRUE(fs.Status(dir / c.path, &status));
    EXPECT_EQ(status.size, c.size);
    EXPECT_EQ(status.modified, c.modified);
    EXPECT_TRUE(file->statusKnown);
    EXPECT_EQ(file->status.size, status.size);
    EXPECT_EQ(file->status.modified, status.modified);
  }
}

TEST_F(ScanTree, MultibyteNamesKeepTheirBytes) {
#ifdef _WIN32
  if (GetACP() != CP_UTF8) GTEST_SKIP() << "the process code page is " << GetACP() << ", not UTF-8";
#endif
  const std::string folder = "\xC3\x9C" "ber";
  const std::string file = "\xE9\x9F\xB3\xE6\xA5\xBD \xE2\x80\x93 J\xC3\xB3ga.Mp3";
  Make({folder + "/" + file});
  EXPECT_THAT(Scan(), ElementsAre(folder + kPathSeparator + file));
  EXPECT_THAT(progress.log, ElementsAre("item:" + folder + kPathSeparator + file));
}

TEST_F(ScanTree, StartsBelowAGivenDirectoryAndListsAFileOnceForDuplicateExtensions) {
  Make({"top.mp3", "Artist/Album/t.mp3", "Artist/u.ogg"});
  EXPECT_THAT(Scan(kDefaultExtensions, Native("Artist/")),
              UnorderedElementsAreArray(NativeAll({"Artist/Album/t.mp3", "Artist/u.ogg"})));
  EXPECT_THAT(Scan({"mp3", "mp3"}), UnorderedElementsAreArray(NativeAll({"top.mp3", "Artist/Album/t.mp3"})));
}

TEST_F(ScanTree, NothingForEmptyListOrMissingRoot) {
  Make({"a.mp3", "A/b.ogg"});
  EXPECT_THAT(Scan({}), IsEmpty());
  EXPECT_THAT(Scan({"flac"}), IsEmpty());
  EXPECT_THAT(ScanMusicTree(fs, dir / "missing/", "", kDefaultExtensions, progress), IsEmpty());
  EXPECT_THAT(progress.log, IsEmpty());
}

#ifndef _WIN32

void Link(const std::string& target, const std::string& link) {
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0) << link;
}

TEST_F(ScanTree, LinkLoopsEndAndEveryNonLoopingPathIsListed) {
  Make({"x.mp3", "A/y.mp3", "B/z.mp3"});
  Link("..", dir / "A/up");          // back to the root
  Link(dir.path(), dir / "B/root");  // the same, absolute
  Link(".", dir / "B/self");
  Link("../A", dir / "B/toA");       // a sibling: followed
  testing::MakeDirectories(dir / "A/C");
  Link("../..", dir / "A/C/top");  // two levels up

  EXPECT_THAT(Scan(), UnorderedElementsAreArray(NativeAll({"x.mp3", "A/y.mp3", "B/z.mp3", "B/toA/y.mp3"})));
}

// Only other systems allow line breaks in names; no playlist line holds one.
TEST_F(ScanTree, NamesWithLineBreaksAreLeftOut) {
  Make({"a.mp3", "b\nc.mp3", "d\re.ogg", "Line\nFolder/f.mp3", "Ok/g\r\n.wav"});
  EXPECT_THAT(Scan(), ElementsAre("a.mp3"));
}

TEST_F(ScanTree, DirectoryReachedTwiceWithoutLoopIsScannedTwice) {
  Make({"Shared/s.ogg"});
  Link("Shared", dir / "One");
  Link(dir / "Shared", dir / "Two");
  EXPECT_THAT(Scan(), UnorderedElementsAreArray(NativeAll({"Shared/s.ogg", "One/s.ogg", "Two/s.ogg"})));
}

TEST_F(ScanTree, UnreadableDirectoryIsSkippedAndSiblingsScanned) {
  Make({"Open/a.mp3", "Locked/b.mp3", "z.ogg"});
  const std::string locked = dir / "Locked";
  ASSERT_EQ(chmod(locked.c_str(), 0), 0);
  const bool blocked = access(locked.c_str(), R_OK) != 0;
  const List found = Scan();
  chmod(locked.c_str(), 0755);
  if (!blocked) GTEST_SKIP() << "running with privileges that ignore permissions";
  EXPECT_THAT(found, UnorderedElementsAreArray(NativeAll({"Open/a.mp3", "z.ogg"})));
}

#endif

// ------------------------------------------------------------ ScanMusicTree, pathological trees

// Fakes that make up their directories' identities: the node must come from
// their Identify() too, not from the real file system's shortcut.
class MadeUpTree : public NativeFileSystem {
 public:
  bool IdentifyNode(const std::string& dir, std::uint64_t* node) override {
    return FileSystem::IdentifyNode(dir, node);
  }
};

// A tree that never ends: every directory holds one music file and one
// subdirectory of the given name, and no directory has an identity that would
// reveal the repetition.
class EndlessFileSystem : public MadeUpTree {
 public:
  explicit EndlessFileSystem(std::string childName) : child_(std::move(childName)) {}
  bool ListDirectory(const std::string& dir, std::vector<DirEntry>* entries) override {
    ++listings;
    longest = std::max(longest, dir.size());
    *entries = {{child_, true, false}, {"f.mp3", false, false}};
    return true;
  }
  bool Identify(const std::string&, DirectoryId*) override { return false; }

  std::size_t listings = 0;
  std::size_t longest = 0;

 private:
  std::string child_;
};

TEST(ScanMusicTreeBounds, EndlessTreeStopsAtBoundedDepthAndLength) {
  for (const std::string& child : {std::string("d"), std::string(1000, 'n')}) {
    SCOPED_TRACE(child.size());
    EndlessFileSystem fs(child);
    RecordingProgress progress;
    const List found = Paths(ScanMusicTree(fs, "root/", "", kDefaultExtensions, progress));
    EXPECT_GT(found.size(), 10u);
    EXPECT_LE(found.size(), 1000u);
    EXPECT_EQ(found.size(), fs.listings);
    EXPECT_LE(fs.longest, 32767u);
  }
}

// Every directory of a set of distinct identities cycles through the same
// few ids: loops are noticed by identity, not by name.
class CyclingFileSystem : public MadeUpTree {
 public:
  bool ListDirectory(const std::string&, std::vector<DirEntry>* entries) override {
    *entries = {{"next", true, false}, {"f.mp3", false, false}};
    return true;
  }
  bool Identify(const std::string& dir, DirectoryId* id) override {
    const auto depth = static_cast<std::uint64_t>(std::count(dir.begin(), dir.end(), kPathSeparator));
    *id = {7, depth % 3};
    return true;
  }
};

TEST(ScanMusicTreeBounds, IdentityRepeatedOnTheDescentPathEndsIt) {
  CyclingFileSystem fs;
  RecordingProgress progress;
  EXPECT_THAT(Paths(ScanMusicTree(fs, "", "", kDefaultExtensions, progress)),
              ElementsAre(Native("next/next/f.mp3"), Native("next/f.mp3"), "f.mp3"))
      << "a subdirectory's files come where the subdirectory is listed";
}

// Nested directories on different volumes that happen to share a node: the
// cheap node check alone would take them for a loop.
class SameNodeFileSystem : public MadeUpTree {
 public:
  bool ListDirectory(const std::string& dir, std::vector<DirEntry>* entries) override {
    *entries = {{"f.mp3", false, false}};
    if (std::count(dir.begin(), dir.end(), kPathSeparator) < 2) entries->push_back({"next", true, false});
    return true;
  }
  bool Identify(const std::string& dir, DirectoryId* id) override {
    *id = {static_cast<std::uint64_t>(std::count(dir.begin(), dir.end(), kPathSeparator)), 5};
    return true;
  }
};

TEST(ScanMusicTreeBounds, EqualNodesOnOtherVolumesAreNoLoop) {
  SameNodeFileSystem fs;
  RecordingProgress progress;
  EXPECT_THAT(Paths(ScanMusicTree(fs, "", "", kDefaultExtensions, progress)),
              ElementsAre("f.mp3", Native("next/f.mp3"), Native("next/next/f.mp3")));
}

}  // namespace
}  // namespace auralith

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "builder/scan.h"
#include "platform/native.h"
#include "support/test_support.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace auralith {
namespace {

using testing::Native;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAreArray;

using List = std::vector<std::string>;

const List kDefaultExtensions = {"mp3", "ogg", "wav"};

TEST(ParseExtensions, Table) {
  const std::pair<const char*, List> cases[] = {
      {"MP3; Ogg |wav", {"mp3", "ogg", "wav"}},
      {",,mp3;;;ogg\t\twav||", {"mp3", "ogg", "wav"}},
      {"mp3,MP3,mp3", {"mp3", "mp3", "mp3"}},
      // A token with anything but ASCII letters and digits empties the list
      // built so far.
      {".mp3", {}},
      {"mp3,\xC3\xA9t\xC3\xA9,ogg", {"ogg"}},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(ParseExtensions(text), expected) << '"' << text << '"';
}

List NativeAll(const List& paths) {
  List out;
  for (const std::string& p : paths) out.push_back(Native(p));
  return out;
}

class ScanTree : public ::testing::Test {
 protected:
  void Make(const List& files) {
    for (const std::string& f : files) testing::WriteFile(dir / f, f);
  }
  List Scan(const List& extensions = kDefaultExtensions, const std::string& relative = "") {
    List paths;
    for (const MusicFile& file : ScanMusicTree(fs, dir.path(), relative, extensions, progress)) paths.push_back(file.path);
    return paths;
  }

  testing::TempDir dir;
  NativeFileSystem fs;
  testing::RecordingProgress progress;
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
  EXPECT_THAT(ScanMusicTree(fs, dir / "missing/", "", kDefaultExtensions, progress), IsEmpty());
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
// A link back into the descent path ends there; any other path to a
// directory, even one reached twice, is listed.
TEST_F(ScanTree, LinkLoopsEndAndEveryNonLoopingPathIsListed) {
  Make({"x.mp3", "A/y.mp3", "B/z.mp3", "A/C/w.ogg"});
  const std::pair<std::string, std::string> links[] = {
      {"..", "A/up"}, {dir.path(), "B/root"}, {".", "B/self"}, {"../..", "A/C/top"}, {"../A", "B/toA"}, {dir / "A/C", "C2"}};
  for (const auto& [target, link] : links) ASSERT_EQ(symlink(target.c_str(), (dir / link).c_str()), 0) << link;
  EXPECT_THAT(Scan(), UnorderedElementsAreArray(NativeAll(
                          {"x.mp3", "A/y.mp3", "B/z.mp3", "A/C/w.ogg", "B/toA/y.mp3", "B/toA/C/w.ogg", "C2/w.ogg"})));
}
#endif

// A tree without end, whose directories have no identity that would reveal
// the repetition: each holds a subdirectory `child` and a music file.
struct EndlessTree : NativeFileSystem {
  bool ListDirectory(const std::string& dir, std::vector<DirEntry>* entries) override {
    ++listings;
    longest = std::max(longest, dir.size());
    *entries = {{child, true, false}, {"f.mp3", false, false}};
    return true;
  }
  bool Identify(const std::string&, DirectoryId*) override { return false; }
  bool IdentifyNode(const std::string&, std::uint64_t*) override { return false; }

  std::string child;
  std::size_t listings = 0;
  std::size_t longest = 0;
};

TEST(ScanEndlessTree, StopsAtBoundedDepthAndLength) {
  for (const std::string& child : {std::string("d"), std::string(1000, 'n')}) {
    SCOPED_TRACE(child.size());
    EndlessTree fs;
    fs.child = child;
    testing::RecordingProgress progress;
    const std::size_t found = ScanMusicTree(fs, "root/", "", kDefaultExtensions, progress).size();
    EXPECT_GT(found, 10u);
    EXPECT_LE(found, 1000u);
    EXPECT_EQ(found, fs.listings);
    EXPECT_LE(fs.longest, 32767u);
  }
}

}  // namespace
}  // namespace auralith

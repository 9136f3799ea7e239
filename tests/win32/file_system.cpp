#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include "builder/scan.h"
#include "platform/win32/win32_file_system.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using testing::Native;
using testing::RecordingProgress;
using testing::TempDir;
using testing::WriteFile;
using ::testing::UnorderedElementsAre;

// Whether the file system under the test folder keeps the hidden attribute
// (under Wine it needs extended attributes on the host's file system).
bool MakeHidden(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  SetFileAttributesA(path.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN);
  const DWORD now = GetFileAttributesA(path.c_str());
  return now != INVALID_FILE_ATTRIBUTES && (now & FILE_ATTRIBUTE_HIDDEN) != 0;
}

std::map<std::string, std::pair<bool, bool>> Listed(Win32FileSystem& fs, const std::string& dir) {
  std::vector<DirEntry> entries;
  EXPECT_TRUE(fs.ListDirectory(dir, &entries)) << dir;
  std::map<std::string, std::pair<bool, bool>> out;
  for (const DirEntry& e : entries) out[e.name] = {e.directory, e.hidden};
  return out;
}

TEST(Win32FileSystem, HiddenAttributeIsReportedAndSkippedByTheScan) {
  TempDir dir;
  Win32FileSystem fs;
  for (const char* f : {"Visible.mp3", "Hidden.mp3", "Secret/in.mp3", "Dir/inner.mp3", "Dir/Quiet.ogg"})
    WriteFile(dir / f, "x");
  if (!MakeHidden(dir / "Hidden.mp3") || !MakeHidden(dir / "Secret") || !MakeHidden(dir / "Dir/Quiet.ogg"))
    GTEST_SKIP() << "the file system here does not keep FILE_ATTRIBUTE_HIDDEN";

  using Flags = std::pair<bool, bool>;  // directory, hidden
  const std::map<std::string, Flags> expected = {{"Visible.mp3", {false, false}},
                                                 {"Hidden.mp3", {false, true}},
                                                 {"Secret", {true, true}},
                                                 {"Dir", {true, false}}};
  EXPECT_EQ(Listed(fs, dir.path()), expected);

  RecordingProgress progress;
  std::vector<std::string> found;
  for (const MusicFile& file : ScanMusicTree(fs, dir.path(), "", {"mp3", "ogg"}, progress))
    found.push_back(file.path);
  EXPECT_THAT(found, UnorderedElementsAre("Visible.mp3", Native("Dir/inner.mp3")));
}

TEST(Win32FileSystem, ListsWithOrWithoutTrailingSeparator) {
  TempDir dir;
  Win32FileSystem fs;
  WriteFile(dir / "A/one.mp3", "1");
  WriteFile(dir / "A/Sub/two.mp3", "2");
  testing::MakeDirectories(dir / "Empty");

  const std::map<std::string, std::pair<bool, bool>> expected = {{"one.mp3", {false, false}},
                                                                 {"Sub", {true, false}}};
  for (const std::string& spelling : {dir / "A", dir / "A/", dir.path() + "A/"})
    EXPECT_EQ(Listed(fs, spelling), expected) << spelling;
  EXPECT_TRUE(Listed(fs, dir / "Empty").empty());

  std::vector<DirEntry> entries;
  EXPECT_FALSE(fs.ListDirectory(dir / "Missing", &entries));
  EXPECT_FALSE(fs.ListDirectory(dir / "A/one.mp3", &entries));
}

FILETIME FromUnix(std::int64_t seconds, std::int64_t ticks) {
  const std::uint64_t value =
      static_cast<std::uint64_t>((seconds + 11644473600LL) * 10000000LL + ticks);
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(value & 0xFFFFFFFFu);
  time.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return time;
}

TEST(Win32FileSystem, StatusGivesSizeAndFlooredLastWriteTime) {
  struct Case {
    std::int64_t seconds;
    std::int64_t ticks;  // 100 ns beyond the second
    std::int64_t expected;
  };
  const Case cases[] = {
      {1000000000, 0, 1000000000},
      {1000000000, 9999999, 1000000000},
      {4102444800, 5000000, 4102444800},  // 2100, beyond 32 bits
      {-1, 5000000, -1},                  // half a second before 1970
      {-86400, 0, -86400},
  };
  TempDir dir;
  Win32FileSystem fs;
  const std::string path = dir / "timed.wav";
  WriteFile(path, std::string(12345, 'w'));
  for (const Case& c : cases) {
    const HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const FILETIME time = FromUnix(c.seconds, c.ticks);
    const bool set = SetFileTime(file, nullptr, nullptr, &time) != 0;
    CloseHandle(file);
    ASSERT_TRUE(set) << c.seconds;

    FileStatus status;
    ASSERT_TRUE(fs.Status(path, &status));
    EXPECT_EQ(status.size, 12345u);
    EXPECT_EQ(status.modified, c.expected) << c.seconds << " s + " << c.ticks << " ticks";
  }
  FileStatus status;
  EXPECT_FALSE(fs.Status(dir / "missing.wav", &status));
}

TEST(Win32FileSystem, IdentifyNamesTheDirectoryNotTheSpelling) {
  TempDir dir;
  Win32FileSystem fs;
  testing::MakeDirectories(dir / "Alpha/Inner");
  testing::MakeDirectories(dir / "Beta");

  DirectoryId alpha, beta;
  ASSERT_TRUE(fs.Identify(dir / "Alpha", &alpha));
  ASSERT_TRUE(fs.Identify(dir / "Beta", &beta));
  EXPECT_NE(alpha, beta);

  for (const std::string& spelling :
       {dir / "Alpha/", dir.path() + "Alpha/", dir / "ALPHA", dir / "Beta/../Alpha",
        dir / "Alpha/Inner/..\\", dir / "Alpha/./"}) {
    DirectoryId same;
    EXPECT_TRUE(fs.Identify(spelling, &same)) << spelling;
    EXPECT_EQ(same, alpha) << spelling;
  }
  DirectoryId none;
  EXPECT_FALSE(fs.Identify(dir / "Gamma", &none));
}

TEST(Win32FileSystem, FileOperations) {
  TempDir dir;
  Win32FileSystem fs;
  const std::string sub = dir / "made";
  EXPECT_TRUE(fs.MakeDirectory(sub));
  EXPECT_FALSE(fs.MakeDirectory(sub));
  EXPECT_TRUE(fs.Readable(sub));

  WriteFile(dir / "from.txt", "new");
  WriteFile(dir / "made/to.txt", "old, longer");
  EXPECT_TRUE(fs.CopyFileTo(dir / "from.txt", dir / "made/to.txt"));  // overwrites
  EXPECT_EQ(testing::ReadFile(dir / "made/to.txt"), "new");

  EXPECT_TRUE(fs.RemoveFile(dir / "made/to.txt"));
  EXPECT_FALSE(fs.RemoveFile(dir / "made/to.txt"));
  EXPECT_FALSE(fs.Exists(dir / "made/to.txt"));
  EXPECT_FALSE(fs.Readable(dir / "made/to.txt"));
}

TEST(Win32FileSystem, Utf8NamesUnderTheUtf8CodePage) {
  if (GetACP() != CP_UTF8)
    GTEST_SKIP() << "the process code page is " << GetACP() << ", not UTF-8 (65001)";
  TempDir dir;
  Win32FileSystem fs;
  const std::string folder = "\xE5\x9D\x82\xE6\x9C\xAC\xE9\xBE\x8D\xE4\xB8\x80";
  const std::string file = "Bj\xC3\xB6rk \xE2\x80\x93 J\xC3\xB3ga.mp3";
  WriteFile(dir / (folder + "/" + file), "abc");

  EXPECT_EQ(Listed(fs, dir / folder).count(file), 1u);
  DirectoryId id;
  EXPECT_TRUE(fs.Identify(dir / folder, &id));
  FileStatus status;
  ASSERT_TRUE(fs.Status(dir / (folder + "/" + file), &status));
  EXPECT_EQ(status.size, 3u);
  EXPECT_TRUE(fs.Readable(dir / (folder + "/" + file)));
}

}  // namespace
}  // namespace auralith

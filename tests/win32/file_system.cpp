#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "platform/win32/win32_file_system.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using testing::TempDir;
using testing::WriteFile;

// Whether the hidden attribute is kept (under Wine: extended attributes on the host).
bool MakeHidden(const std::string& path) {
  SetFileAttributesA(path.c_str(), GetFileAttributesA(path.c_str()) | FILE_ATTRIBUTE_HIDDEN);
  const DWORD now = GetFileAttributesA(path.c_str());
  return now != INVALID_FILE_ATTRIBUTES && (now & FILE_ATTRIBUTE_HIDDEN) != 0;
}

// Each name with whether it is a directory and whether it is hidden.
std::map<std::string, std::pair<bool, bool>> Listed(Win32FileSystem& fs, const std::string& dir) {
  std::vector<DirEntry> entries;
  EXPECT_TRUE(fs.ListDirectory(dir, &entries)) << dir;
  std::map<std::string, std::pair<bool, bool>> out;
  for (const DirEntry& e : entries) out[e.name] = {e.directory, e.hidden};
  return out;
}

// The scan's skipping of hidden entries is the builder tests'.
TEST(Win32FileSystem, ListingReportsTheHiddenAttribute) {
  TempDir dir;
  Win32FileSystem fs;
  for (const char* f : {"Visible.mp3", "Hidden.mp3", "Secret/in.mp3", "Dir/inner.mp3"}) WriteFile(dir / f, "x");
  if (!MakeHidden(dir / "Hidden.mp3") || !MakeHidden(dir / "Secret"))
    GTEST_SKIP() << "the file system here does not keep FILE_ATTRIBUTE_HIDDEN";
  const std::map<std::string, std::pair<bool, bool>> expected = {
      {"Visible.mp3", {false, false}}, {"Hidden.mp3", {false, true}}, {"Secret", {true, true}}, {"Dir", {true, false}}};
  EXPECT_EQ(Listed(fs, dir.path()), expected);
  EXPECT_EQ(Listed(fs, dir / "Dir"), Listed(fs, dir / "Dir/")) << "with or without the separator";
}

TEST(Win32FileSystem, StatusGivesSizeAndFlooredLastWriteTimeAndCopiesOverwrite) {
  struct Case {
    std::int64_t seconds, ticks;  // ticks: 100 ns beyond the second
    std::int64_t expected;
  };
  const Case cases[] = {{1000000000, 9999999, 1000000000},
                        {4102444800, 5000000, 4102444800},  // 2100, beyond 32 bits
                        {-1, 5000000, -1},                  // half a second before 1970
                        {-86400, 0, -86400}};
  TempDir dir;
  Win32FileSystem fs;
  const std::string path = dir / "timed.wav";
  WriteFile(path, std::string(12345, 'w'));
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.seconds) + " s + " + std::to_string(c.ticks) + " ticks");
    const auto value = static_cast<std::uint64_t>((c.seconds + 11644473600LL) * 10000000LL + c.ticks);
    const FILETIME time{static_cast<DWORD>(value & 0xFFFFFFFFu), static_cast<DWORD>(value >> 32)};
    const HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const bool set = SetFileTime(file, nullptr, nullptr, &time) != 0;
    CloseHandle(file);
    ASSERT_TRUE(set);

    FileStatus status;
    ASSERT_TRUE(fs.Status(path, &status));
    EXPECT_EQ(status.size, 12345u);
    EXPECT_EQ(status.modified, c.expected);
    std::vector<DirEntry> entries;
    ASSERT_TRUE(fs.ListDirectory(dir.path(), &entries) && entries.size() == 1 && entries[0].statusKnown);
    EXPECT_EQ(entries[0].status.modified, c.expected);
  }
  FileStatus status;
  EXPECT_FALSE(fs.Status(dir / "missing.wav", &status));
  EXPECT_TRUE(fs.CopyFileTo(path, dir / "copy.wav") && fs.CopyFileTo(dir / "copy.wav", path)) << "over a file";
  EXPECT_TRUE(fs.RemoveFile(dir / "copy.wav"));
  EXPECT_FALSE(fs.RemoveFile(dir / "copy.wav"));
}

TEST(Win32FileSystem, IdentifyNamesTheDirectoryNotTheSpelling) {
  TempDir dir;
  Win32FileSystem fs;
  for (const char* folder : {"Alpha/Inner", "Beta"}) testing::MakeDirectories(dir / folder);
  DirectoryId alpha, beta, none;
  ASSERT_TRUE(fs.Identify(dir / "Alpha", &alpha));
  ASSERT_TRUE(fs.Identify(dir / "Beta", &beta));
  EXPECT_NE(alpha, beta);
  for (const std::string& spelling : {dir / "Alpha/", dir.path() + "Alpha/", dir / "ALPHA", dir / "Beta/../Alpha"}) {
    DirectoryId same;
    EXPECT_TRUE(fs.Identify(spelling, &same) && same == alpha) << spelling;
  }
  EXPECT_FALSE(fs.Identify(dir / "Gamma", &none));

  // The walk takes a folder's node from its parent's listing: it must be IdentifyNode()'s.
  std::vector<DirEntry> entries;
  ASSERT_TRUE(fs.ListDirectory(dir.path(), &entries));
  ASSERT_EQ(entries.size(), 2u);
  for (const DirEntry& entry : entries) {
    std::uint64_t node = 0;
    EXPECT_TRUE(entry.nodeKnown && fs.IdentifyNode(dir / entry.name, &node) && node == entry.node) << entry.name;
  }
  WriteFile(dir / "Beta/file.txt", "x");
  EXPECT_FALSE(fs.ListDirectory(dir / "Beta/file.txt", &entries)) << "a file is no folder";
}

}  // namespace
}  // namespace auralith

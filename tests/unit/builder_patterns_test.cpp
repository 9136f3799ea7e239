#include <array>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "builder/patterns.h"
#include "settings/memory_registry_store.h"
#include "settings/settings.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using testing::Native;

const char* const kCrows = "Rock/Counting Crows - Across A Wire - 05 - Mr. Jones.mp3";

// ------------------------------------------------------------ ExtractToken

struct TokenCase {
  const char* path;  // '/' stands for the platform's separator
  std::string pattern;
  char digit;
  std::string expected;
};

TEST(ExtractToken, Table) {
  const TokenCase cases[] = {
      // The worked examples (kCrows and "Whole Name") are in MatchPattern's table.
      // A name that does not fit gives nothing, for every token.
      {"Artist.mp3", "%1 - %2", '1', ""},
      {"A - B.mp3", "%1 - %2 - %3", '1', ""},
      // Case and bytes count.
      {"A X B.mp3", "%1 x %4", '1', ""},
      // The empty value and what follows it.
      {" - Title.mp3", "%3 - %4", '3', ""},
      {" - Title.mp3", "%3 - %4", '4', "Title"},
      // Tokens with no literal between them.
      {"Whole Name.mp3", "%4%1", '1', "Whole Name"},
      // Any other character after "%" is a wildcard like %*.
      {"A_B.mp3", "%x_%4", '4', "B"},
      // A pattern that ends in "%".
      {"A - B.mp3", "%1 - %", '1', "A"},
      {"A - B.mp3", "%1 - %4%", '4', "B"},
      // A leading literal need not start the name.
      {"05 - Title.mp3", "- %4", '4', "Title"},
      // The shortest match: the first occurrence of the next literal ends it.
      {"A - B - C.mp3", "%1 - %2", '1', "A"},
      {"A - B - C.mp3", "%1 - %2", '2', "B - C"},
      // Only the first literal after a token ends it, even when a later one
      // also occurs inside the value.
      {"A_x - B_C.mp3", "%1 - %2_%4", '1', "A_x"},
      {"A_x - B_C.mp3", "%1 - %2_%4", '2', "B"},
      {"A_x - B_C.mp3", "%1 - %2_%4", '4', "C"},
      // Values are kept as found, spaces included.
      {"A - B.mp3", "%1-%4", '1', "A "},
      // Only the file name is matched: folders and extension are dropped, and
      // only the last '.' starts the extension.
      {"Artist - Album/01 Song.mp3", "%1 - %4", '1', ""},
      {"Artist - Album/01 Song.mp3", "%3 %4", '4', "Song"},
      {"Dr. Dre/Mr. Jones.ogg", "%4", '4', "Mr. Jones"},
      {"Plain", "%4", '4', "Plain"},
      // Multibyte names and literals are matched byte for byte.
      {"Bj\xC3\xB6rk/Bj\xC3\xB6rk \xE2\x80\x93 J\xC3\xB3ga.mp3", "%1 \xE2\x80\x93 %4", '1', "Bj\xC3\xB6rk"},
      {"Bj\xC3\xB6rk/Bj\xC3\xB6rk \xE2\x80\x93 J\xC3\xB3ga.mp3", "%1 \xE2\x80\x93 %4", '4', "J\xC3\xB3ga"},
  };
  for (const TokenCase& c : cases) {
    EXPECT_EQ(ExtractToken(Native(c.path), c.pattern, c.digit), c.expected)
        << "path \"" << c.path << "\", pattern \"" << c.pattern << "\", %" << c.digit;
  }
}

// Far more tokens than fifteen: every one keeps its place.
TEST(ExtractToken, LongPatternsAreMatchedWhole) {
  for (const int count : {16, 40, 300}) {
    std::string pattern;
    std::string name;
    for (int i = 0; i < count; ++i) {
      const bool last = i == count - 1;
      const char* token = last ? "%4" : i == 20 ? "%1" : i == count - 5 ? "%3" : "%*";
      pattern += token;
      name += "p" + std::to_string(i);
      if (!last) {
        pattern += "_";
        name += "_";
      }
    }
    const std::string path = name + ".mp3";
    if (count > 20) {
      EXPECT_EQ(ExtractToken(path, pattern, '1'), "p20") << count;
    }
    EXPECT_EQ(ExtractToken(path, pattern, '3'), "p" + std::to_string(count - 5)) << count;
    EXPECT_EQ(ExtractToken(path, pattern, '4'), "p" + std::to_string(count - 1)) << count;
    // One field short: the last literal cannot be found.
    const std::string shorter = name.substr(0, name.rfind('_')) + ".mp3";
    EXPECT_EQ(ExtractToken(shorter, pattern, '4'), "") << count;
  }
}

// ------------------------------------------------------------ MatchPattern

using Values = std::array<std::string, 4>;

struct MatchCase {
  const char* path;
  const char* pattern;
  std::optional<Values> expected;
};

TEST(MatchPattern, Table) {
  const MatchCase cases[] = {
      {kCrows, "%1 - %2 - %3 - %4", Values{"Counting Crows", "Across A Wire", "05", "Mr. Jones"}},
      {kCrows, "%1 - %4", Values{"Counting Crows", "", "", "Across A Wire - 05 - Mr. Jones"}},
      {kCrows, "%3 %4", Values{"", "", "Counting", "Crows - Across A Wire - 05 - Mr. Jones"}},
      {"Artist.mp3", "%1 - %2", std::nullopt},
      {" - Title.mp3", "%3 - %4", std::nullopt},
      {"A - .mp3", "%1 - %4", std::nullopt},
      {"Whole Name.mp3", "%*%4", Values{"", "", "", "Whole Name"}},
      {"Whole Name.mp3", "%4%*", Values{"", "", "", "Whole Name"}},
      {"Whole Name.mp3", "no tokens", Values{}},
      {"Whole Name.mp3", "%*", Values{}},
  };
  for (const MatchCase& c : cases) {
    EXPECT_EQ(MatchPattern(Native(c.path), c.pattern), c.expected)
        << "path \"" << c.path << "\", pattern \"" << c.pattern << "\"";
  }
}

// ------------------------------------------------------------ Apply*

struct Fields {
  std::string artist;
  std::string album;
  std::string track;
  std::string title;
  bool operator==(const Fields&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Fields& f) {
  return out << "{artist \"" << f.artist << "\", album \"" << f.album << "\", track \"" << f.track
             << "\", title \"" << f.title << "\"}";
}

AFileInfo Record(const std::string& path, const Fields& before) {
  AFileInfo record;
  record.path = Native(path);
  record.artist = before.artist;
  record.album = before.album;
  record.track = before.track;
  record.title = before.title;
  return record;
}

Fields FieldsOf(const AFileInfo& record) {
  return {record.artist, record.album, record.track, record.title};
}

struct FolderCase {
  std::uint32_t format;
  bool prefix;
  const char* path;
  Fields before;
  Fields expected;
};

TEST(ApplyFolderFormat, Table) {
  const FolderCase cases[] = {
      // Format 2: only a file exactly one folder below the root.
      {2, true, "A/c.mp3", {}, {"A", "", "", ""}},
      {2, true, "a.mp3", {}, {}},
      {2, true, "A/B/c.mp3", {}, {}},
      {2, true, "A/c.mp3", {"Set", "", "", ""}, {"Set", "", "", ""}},
      // Format 3: artist from the first folder, album from the second.
      {3, true, "A/c.mp3", {}, {"A", "", "", ""}},
      {3, true, "A/01 - B/c.mp3", {}, {"A", "B", "", ""}},
      {3, false, "A/01 - B/c.mp3", {}, {"A", "01 - B", "", ""}},
      {3, true, "A/B/CD1/x.mp3", {}, {"A", "B", "", ""}},
      {3, true, "A/B/c.mp3", {"Set", "", "", ""}, {"Set", "B", "", ""}},
      {3, true, "A/B/c.mp3", {"", "Kept", "", ""}, {"A", "Kept", "", ""}},
      {3, true, "A/1999/c.mp3", {}, {"A", "", "", ""}},
      // An empty folder name is no album.
      {3, true, "A//c.mp3", {}, {"A", "", "", ""}},
      // A path that starts with a separator names no folder.
      {3, true, "/A/B/c.mp3", {}, {}},
      // Formats 0 and 1, and anything unknown, take nothing.
      {0, true, "A/B/c.mp3", {}, {}},
      {0xFFFFFFFFu, true, "A/B/c.mp3", {}, {}},
  };
  for (const FolderCase& c : cases) {
    MemoryRegistryStore store;
    Settings settings(store);
    settings._4_organizationnum.Set(c.format);
    settings._4_prefix.Set(c.prefix ? 1 : 0);
    AFileInfo record = Record(c.path, c.before);
    ApplyFolderFormat(record, settings);
    EXPECT_EQ(FieldsOf(record), c.expected) << "format " << c.format << ", prefix " << c.prefix
                                            << ", path \"" << c.path << "\"";
  }
}

struct FileNameCase {
  bool prefix;
  const char* pattern;
  const char* path;
  Fields before;
  Fields expected;
};

TEST(ApplyFileNamePattern, Table) {
  const FileNameCase cases[] = {
      {true, "%1 - %2 - %3 - %4", kCrows, {}, {"Counting Crows", "Across A Wire", "05", "Mr. Jones"}},
      // Filled fields stay; only the empty ones are taken.
      {true, "%1 - %2 - %3 - %4", kCrows, {"Artist", "", "1", ""}, {"Artist", "Across A Wire", "1", "Mr. Jones"}},
      // An album from a folder gives way to a pattern album that starts with a
      // digit, and only when leading numbers are ignored.
      {true, "%2 - %4", "Live/1999 Live - Song.mp3", {"", "Live", "", ""}, {"", "1999 Live", "", "Song"}},
      {true, "%2 - %4", "Live/Live 1999 - Song.mp3", {"", "Live", "", ""}, {"", "Live", "", "Song"}},
      {false, "%2 - %4", "Live/1999 Live - Song.mp3", {"", "Live", "", ""}, {"", "Live", "", "Song"}},
      {true, "%1 - %4", "Live/1999 Live - Song.mp3", {"", "Live", "", ""}, {"1999 Live", "Live", "", "Song"}},
      // A name that does not fit stores nothing at all, not even the tokens
      // that did match.
      {true, "%3 - %4", " - Title.mp3", {}, {}},
      // Without any token the pattern is not applied.
      {true, "Title", "Title.mp3", {}, {}},
      {true, "%1-%4", "A - B.mp3", {}, {"A ", "", "", " B"}},
  };
  for (const FileNameCase& c : cases) {
    MemoryRegistryStore store;
    Settings settings(store);
    settings._4_format.Set(c.pattern);
    settings._4_prefix.Set(c.prefix ? 1 : 0);
    AFileInfo record = Record(c.path, c.before);
    ApplyFileNamePattern(record, settings);
    EXPECT_EQ(FieldsOf(record), c.expected) << "pattern \"" << c.pattern << "\", prefix " << c.prefix
                                            << ", path \"" << c.path << "\"";
  }
}

}  // namespace
}  // namespace auralith

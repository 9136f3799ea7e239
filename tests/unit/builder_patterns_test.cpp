#include <array>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "builder/patterns.h"
#include "settings/memory_registry_store.h"
#include "settings/settings.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using testing::Native;

// Artist, album, track, title: the fields of %1 to %4.
using Values = std::array<std::string, 4>;

const char* const kCrows = "Rock/Counting Crows - Across A Wire - 05 - Mr. Jones.mp3";

struct MatchCase {
  const char* path;  // '/' stands for the platform's separator
  const char* pattern;
  std::optional<Values> expected;
};

TEST(MatchPattern, Table) {
  const MatchCase cases[] = {
      {kCrows, "%1 - %2 - %3 - %4", Values{"Counting Crows", "Across A Wire", "05", "Mr. Jones"}},
      {kCrows, "%1 - %4", Values{"Counting Crows", "", "", "Across A Wire - 05 - Mr. Jones"}},
      // A name that does not fit, or a token that matched nothing.
      {"Artist.mp3", "%1 - %2", std::nullopt},
      {"A X B.mp3", "%1 x %4", std::nullopt},
      {" - Title.mp3", "%3 - %4", std::nullopt},
      {"A - .mp3", "%1 - %4", std::nullopt},
      {"Whole Name.mp3", "%4%1", Values{"Whole Name", "", "", "Whole Name"}},
      {"Whole Name.mp3", "%*%4", Values{"", "", "", "Whole Name"}},
      {"A_B.mp3", "%x_%4", Values{"", "", "", "B"}},
      {"A - B.mp3", "%1 - %4%", Values{"A", "", "", "B"}},
      {"05 - Title.mp3", "- %4", Values{"", "", "", "Title"}},
      // The first occurrence of the literal after a token ends it.
      {"A - B - C.mp3", "%1 - %2", Values{"A", "B - C", "", ""}},
      {"A_x - B_C.mp3", "%1 - %2_%4", Values{"A_x", "B", "", "C"}},
      {"A - B.mp3", "%1-%4", Values{"A ", "", "", " B"}},
      // Only the file name counts, up to its last '.'.
      {"Artist - Album/01 Song.mp3", "%1 - %4", std::nullopt},
      {"Artist - Album/01 Song.mp3", "%3 %4", Values{"", "", "01", "Song"}},
      {"Dr. Dre/Mr. Jones.ogg", "%4", Values{"", "", "", "Mr. Jones"}},
      {"Bj\xC3\xB6rk/Bj\xC3\xB6rk \xE2\x80\x93 J\xC3\xB3ga.mp3", "%1 \xE2\x80\x93 %4",
       Values{"Bj\xC3\xB6rk", "", "", "J\xC3\xB3ga"}},
  };
  for (const MatchCase& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " ~ " + c.pattern);
    EXPECT_EQ(MatchPattern(Native(c.path), c.pattern), c.expected);
  }
  // An empty value does not stop the tokens after it.
  EXPECT_EQ(ExtractToken(" - Title.mp3", "%3 - %4", '4'), "Title");
}

// Far more tokens than fifteen: every one keeps its place.
TEST(ExtractToken, LongPatternsAreMatchedWhole) {
  std::string pattern = "%*";
  std::string name = "p0";
  for (int i = 1; i < 300; ++i) {
    pattern += i == 20 ? "_%1" : i == 295 ? "_%3" : i == 299 ? "_%4" : "_%*";
    name += "_p" + std::to_string(i);
  }
  EXPECT_EQ(MatchPattern(name + ".mp3", pattern), (Values{"p20", "", "p295", "p299"}));
  // One field short: the last literal cannot be found.
  EXPECT_EQ(ExtractToken(name.substr(0, name.rfind('_')) + ".mp3", pattern, '4'), "");
}

struct ApplyCase {
  std::uint32_t folders;  // 4_organizationnum
  const char* pattern;    // 4_format
  bool prefix;            // 4_prefix
  const char* path;
  Values before;
  Values expected;
};

// Folders first, then the file name, as a run applies them.
TEST(ApplyFolderFormatAndPattern, Table) {
  const ApplyCase cases[] = {
      // Format 2: only a file exactly one folder below the root.
      {2, "", true, "A/c.mp3", {}, {"A", "", "", ""}},
      {2, "", true, "a.mp3", {}, {}},
      {2, "", true, "A/B/c.mp3", {}, {}},
      // Format 3: artist from the first folder, album from the second.
      {3, "", true, "A/01 - B/c.mp3", {}, {"A", "B", "", ""}},
      {3, "", false, "A/01 - B/c.mp3", {}, {"A", "01 - B", "", ""}},
      {3, "", true, "A/1999/CD1/c.mp3", {"Set", "", "", ""}, {"Set", "", "", ""}},
      {3, "", true, "A/B/c.mp3", {"", "Kept", "", ""}, {"A", "Kept", "", ""}},
      {3, "", true, "A//c.mp3", {}, {"A", "", "", ""}},
      {3, "", true, "/A/B/c.mp3", {}, {}},
      {0, "", true, "A/B/c.mp3", {}, {}},
      // The pattern fills only what is empty.
      {0, "%1 - %2 - %3 - %4", true, kCrows, {"Artist", "", "1", ""}, {"Artist", "Across A Wire", "1", "Mr. Jones"}},
      // A folder album gives way to a pattern album that starts with a digit,
      // and only when leading numbers are ignored.
      {3, "%2 - %4", true, "X/Live/1999 Live - Song.mp3", {}, {"X", "1999 Live", "", "Song"}},
      {3, "%2 - %4", true, "X/Live/Live 1999 - Song.mp3", {}, {"X", "Live", "", "Song"}},
      {3, "%2 - %4", false, "X/Live/1999 Live - Song.mp3", {}, {"X", "Live", "", "Song"}},
      {0, "%1 - %4", true, "1999 Live - Song.mp3", {"", "Live", "", ""}, {"1999 Live", "Live", "", "Song"}},
      // A name that does not fit stores nothing, not even the tokens that did.
      {0, "%3 - %4", true, " - Title.mp3", {}, {}},
      {0, "Title", true, "Title.mp3", {}, {}},
  };
  for (const ApplyCase& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " folders " + std::to_string(c.folders) + " pattern " + c.pattern +
                 " prefix " + std::to_string(c.prefix));
    MemoryRegistryStore store;
    Settings settings(store);
    settings._4_organizationnum.Set(c.folders);
    settings._4_format.Set(c.pattern);
    settings._4_prefix.Set(c.prefix ? 1 : 0);
    AFileInfo record;
    record.path = Native(c.path);
    record.artist = c.before[0];
    record.album = c.before[1];
    record.track = c.before[2];
    record.title = c.before[3];
    ApplyFolderFormat(record, settings);
    ApplyFileNamePattern(record, settings);
    EXPECT_EQ((Values{record.artist, record.album, record.track, record.title}), c.expected);
  }
}

}  // namespace
}  // namespace auralith

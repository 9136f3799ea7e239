#include "base/archive.h"

#include <initializer_list>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "base/code_page.h"

namespace auralith {
namespace {

using Ref = ArchiveReader::ObjectRef;
using Kind = Ref::Kind;

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

auto Fields(const Ref& ref) { return std::tuple(ref.kind, ref.knownClass, ref.index); }

TEST(ArchiveText, LengthPrefixSwitchesFormAtEachBoundary) {
  const std::pair<std::size_t, std::string> cases[] = {
      {0xFE, Bytes({0xFE})},
      {0xFF, Bytes({0xFF, 0xFF, 0x00})},
      {0xFFFD, Bytes({0xFF, 0xFD, 0xFF})},
      {0xFFFE, Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00})},
  };
  for (const auto& [length, prefix] : cases) {
    SCOPED_TRACE(length);
    std::string text(length, 'x');
    text.front() = '\xFF';  // a prefix look-alike inside the text
    ArchiveWriter out;
    out.WriteText(text);
    EXPECT_EQ(out.bytes(), prefix + text);
    ArchiveReader in(out.bytes());
    std::string back;
    ASSERT_TRUE(in.ReadText(&back));
    EXPECT_EQ(back, text);
    EXPECT_EQ(in.remaining(), 0u);
  }
}

TEST(ArchiveText, ReadsEveryFormAndRefusesLengthsBeyondTheData) {
  const std::string toQword = Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  const std::string wide = Bytes({0xFF, 0xFE, 0xFF});
  const struct {
    const char* name;
    std::string bytes;
    bool ok;
    std::string text;
  } cases[] = {
      {"dword form for a short text", Bytes({0xFF, 0xFF, 0xFF, 3, 0, 0, 0, 'a', 'b', 'c'}), true, "abc"},
      {"qword form", toQword + Bytes({2, 0, 0, 0, 0, 0, 0, 0, 'h', 'i'}), true, "hi"},
      {"wide non-ASCII and surrogate pair", wide + Bytes({3, 0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE}), true,
       Utf8ToAnsi("\xC3\xA9\xF0\x9F\x98\x80")},
      {"wide lone surrogate", wide + Bytes({2, 0x00, 0xD8, 'q', 0}), true, Utf8ToAnsi("\xEF\xBF\xBDq")},
      {"cut in the prefix", Bytes({0xFF, 0xFF}), false, ""},
      {"dword length beyond the data", Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 'a'}), false, ""},
      {"qword length 2^64-1", toQword + std::string(8, '\xFF') + "0123456789", false, ""},
      {"wide with an odd byte count", wide + Bytes({2, 'A', 0, 'B'}), false, ""},
      // 2 * 0x8000000000000001 wraps to 2 in 64 bits.
      {"wide length that wraps when doubled", wide + toQword + Bytes({1, 0, 0, 0, 0, 0, 0, 0x80, 'A', 0}), false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ArchiveReader in(c.bytes);
    std::string text = "untouched";
    ASSERT_EQ(in.ReadText(&text), c.ok);
    EXPECT_EQ(text, c.ok ? c.text : "untouched");
    std::uint8_t byte = 0;
    if (!c.ok) {
      EXPECT_FALSE(in.ReadByte(&byte)) << "a failure must stick";
    }
  }
}

TEST(ArchiveCount, TakesEachFormAndMustFitTheBytesLeft) {
  const struct {
    std::uint64_t count;
    std::string form;
    std::uint64_t minElementBytes;  // over the 10 bytes that follow
    bool ok;
  } cases[] = {
      {5, Bytes({5, 0}), 2, true},
      {6, Bytes({6, 0}), 2, false},
      {0xFFFE, Bytes({0xFE, 0xFF}), 0, true},
      {0xFFFF, Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0, 0}), 0, true},
      {0xFFFFFFFF, Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}), 0, true},
      {std::uint64_t{1} << 63, Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0x80}), 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    ArchiveWriter out;
    out.WriteCount(c.count);
    EXPECT_EQ(out.bytes(), c.form);
    const std::string bytes = c.form + "0123456789";
    ArchiveReader in(bytes);
    std::uint64_t count = 7;
    ASSERT_EQ(in.ReadCount(&count, c.minElementBytes), c.ok);
    EXPECT_EQ(count, c.ok ? c.count : 7u);
  }
}

constexpr ArchiveClass kX{"X", 1};
constexpr ArchiveClass kY{"Y", 0};
const ArchiveClass kBoth[] = {kX, kY};

TEST(ArchiveObjects, ClassComesWithItsFirstObjectAndIsReferredToAfterwards) {
  const int a = 0, b = 0, c = 0;
  ArchiveWriter out;
  EXPECT_TRUE(out.BeginObject(kX, &a));   // class 1, object 2
  EXPECT_TRUE(out.BeginObject(kX, &b));   // object 3
  EXPECT_FALSE(out.BeginObject(kX, &a));  // back to object 2
  out.WriteNullObject();
  EXPECT_TRUE(out.BeginObject(kY, &c));  // class 4, object 5
  EXPECT_EQ(out.bytes(), Bytes({0xFF, 0xFF, 1, 0, 1, 0, 'X', 0x01, 0x80, 0x02, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0, 0,
                                1, 0, 'Y'}));

  ArchiveReader in(out.bytes());
  for (const Ref& expected : {Ref{Kind::New, 0, 2}, Ref{Kind::New, 0, 3}, Ref{Kind::Existing, 0, 2}, Ref{},
                              Ref{Kind::New, 1, 5}}) {
    Ref ref;
    ASSERT_TRUE(in.ReadObject(kBoth, &ref));
    EXPECT_EQ(Fields(ref), Fields(expected));
  }
  EXPECT_EQ(in.remaining(), 0u);
}

TEST(ArchiveObjects, RefusesTagsThatDoNotFitWhatWasRead) {
  // Every stream starts with class X (index 1) and its object (index 2).
  const std::string first = Bytes({0xFF, 0xFF, 1, 0, 1, 0, 'X'});
  const struct {
    const char* name;
    std::string tail;
    bool ok;
  } cases[] = {
      {"big class back-reference for a small index", Bytes({0xFF, 0x7F, 1, 0, 0, 0x80}), true},
      {"big object back-reference", Bytes({0xFF, 0x7F, 2, 0, 0, 0}), true},
      {"unknown class", Bytes({0xFF, 0xFF, 0, 0, 1, 0, 'Q'}), false},
      {"known class with another schema", Bytes({0xFF, 0xFF, 1, 0, 1, 0, 'Y'}), false},
      {"class name beyond the data", Bytes({0xFF, 0xFF, 0, 0, 5, 0, 'Y'}), false},
      {"class back-reference to index 0", Bytes({0x00, 0x80}), false},
      {"class back-reference past the end", Bytes({0x03, 0x80}), false},
      {"class back-reference to an object", Bytes({0x02, 0x80}), false},
      {"object back-reference to a class", Bytes({0x01, 0x00}), false},
      {"object back-reference past the end", Bytes({0x03, 0x00}), false},
      {"big object back-reference past the end", Bytes({0xFF, 0x7F, 0, 0, 1, 0}), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bytes = first + c.tail;
    ArchiveReader in(bytes);
    Ref ref;
    ASSERT_TRUE(in.ReadObject(kBoth, &ref));
    EXPECT_EQ(in.ReadObject(kBoth, &ref), c.ok);
  }
}

// From index 0x7FFF on, a reference no longer fits a short tag: 0x7FFF
// announces the DWORD form, whose class bit is 0x80000000.
TEST(ArchiveObjects, IndicesFrom0x7FFFTakeTheBigForm) {
  std::vector<char> objects(0x8000);
  ArchiveWriter out;
  for (std::uint32_t i = 0; i < 0x7FFD; ++i) out.BeginObject(kX, &objects[i]);  // class 1, objects 2..0x7FFE
  const struct {
    const ArchiveClass& cls;
    std::size_t object;
    std::string bytes;
    Ref ref;
  } steps[] = {
      {kX, 0x7FFC, Bytes({0xFE, 0x7F}), {Kind::Existing, 0, 0x7FFE}},
      {kX, 0x7FFD, Bytes({0x01, 0x80}), {Kind::New, 0, 0x7FFF}},
      {kX, 0x7FFD, Bytes({0xFF, 0x7F, 0xFF, 0x7F, 0, 0}), {Kind::Existing, 0, 0x7FFF}},
      {kY, 0x7FFE, Bytes({0xFF, 0xFF, 0, 0, 1, 0, 'Y'}), {Kind::New, 1, 0x8001}},  // class 0x8000
      {kY, 0x7FFF, Bytes({0xFF, 0x7F, 0x00, 0x80, 0x00, 0x80}), {Kind::New, 1, 0x8002}},
      {kY, 0x7FFF, Bytes({0xFF, 0x7F, 0x02, 0x80, 0, 0}), {Kind::Existing, 1, 0x8002}},
  };
  for (const auto& s : steps) {
    const std::size_t at = out.bytes().size();
    out.BeginObject(s.cls, &objects[s.object]);
    EXPECT_EQ(out.bytes().substr(at), s.bytes) << s.ref.index;
  }

  ArchiveReader in(out.bytes());
  Ref ref;
  for (std::uint32_t i = 0; i < 0x7FFD; ++i) ASSERT_TRUE(in.ReadObject(kBoth, &ref) && ref.index == i + 2);
  for (const auto& s : steps) {
    ASSERT_TRUE(in.ReadObject(kBoth, &ref)) << s.ref.index;
    EXPECT_EQ(Fields(ref), Fields(s.ref));
  }
}

}  // namespace
}  // namespace auralith

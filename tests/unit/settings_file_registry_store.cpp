// The file-backed registry exists on systems without a real one.
#ifndef _WIN32

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/file_registry_store.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using testing::FileExists;
using testing::ListNames;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\r\n";

RegValue Text(const std::string& text) { return RegValue{kRegSz, text + std::string(1, '\0')}; }
RegValue Dword(std::uint32_t n) {
  return RegValue{kRegDword,
                  {static_cast<char>(n & 0xFF), static_cast<char>(n >> 8 & 0xFF), static_cast<char>(n >> 16 & 0xFF),
                   static_cast<char>(n >> 24 & 0xFF)}};
}

std::optional<RegValue> Get(RegistryStore& store, Hive hive, const std::string& key, const std::string& name) {
  RegValue value;
  if (!store.Query(hive, key, name, &value)) return std::nullopt;
  return value;
}

void ExpectValue(RegistryStore& store, Hive hive, const std::string& key, const std::string& name,
                 const RegValue& expected) {
  const auto found = Get(store, hive, key, name);
  ASSERT_TRUE(found.has_value()) << key << " / " << name;
  EXPECT_EQ(found->type, expected.type) << key << " / " << name;
  EXPECT_EQ(found->data, expected.data) << key << " / " << name;
}

std::string AllBytes() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  return bytes;
}

// Sets (or, for null, unsets) a variable and puts the old state back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Put(value);
  }
  ~ScopedEnv() { Put(old_ ? old_->c_str() : nullptr); }

 private:
  void Put(const char* value) { value ? ::setenv(name_, value, 1) : ::unsetenv(name_); }
  const char* name_;
  std::optional<std::string> old_;
};

// ------------------------------------------------------------ round trip

struct RoundTripCase {
  const char* name;
  Hive hive;
  std::string key;
  std::string valueName;
  RegValue value;
};

class FileRegistryRoundTripTest : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(FileRegistryRoundTripTest, ASecondStoreReadsBackTypeAndBytes) {
  const RoundTripCase& c = GetParam();
  TempDir dir;
  FileRegistryStore writer(dir.path());
  ASSERT_TRUE(writer.Set(Hive::CurrentUser, "Software\\Other", "neighbour", Text("n")));
  ASSERT_TRUE(writer.Set(c.hive, c.key, c.valueName, c.value));
  ExpectValue(writer, c.hive, c.key, c.valueName, c.value);
  FileRegistryStore reader(dir.path());
  ExpectValue(reader, c.hive, c.key, c.valueName, c.value);
  ExpectValue(reader, Hive::CurrentUser, "Software\\Other", "neighbour", Text("n"));
  // What was read is written out again unchanged.
  const std::string file = ReadFile(writer.FilePath(c.hive));
  ASSERT_TRUE(reader.Set(c.hive, "Zzz", "extra", Text("e")));
  ASSERT_TRUE(reader.DeleteTree(c.hive, "Zzz"));
  EXPECT_EQ(ReadFile(writer.FilePath(c.hive)), file);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FileRegistryRoundTripTest,
    ::testing::Values(
        RoundTripCase{"empty_text", Hive::CurrentUser, "Software\\Corvale\\Auralith", "4_music", Text("")},
        RoundTripCase{"quotes_and_backslashes", Hive::CurrentUser, "K", "q\"u\\o\\\"te",
                      Text("C:\\Tools\\\"Music\"\\\\end\\")},
        RoundTripCase{"utf8", Hive::CurrentUser,
                      "Software\\\xC3\x9C"
                      "ber",
                      "n\xC3\xA4me", Text("\xE5\x9D\x82\xE6\x9C\xAC \xF0\x9F\x8E\xB5")},
        RoundTripCase{"newlines", Hive::CurrentUser, "K", "multi", Text("line 1\nline 2\r\nline 3\r")},
        RoundTripCase{"control_characters", Hive::CurrentUser, "K", "tab", Text("a\tb\x01\x7F")},
        RoundTripCase{"not_utf8", Hive::CurrentUser, "K", "latin1", Text("caf\xE9 \xC3")},
        RoundTripCase{"text_without_nul", Hive::CurrentUser, "K", "raw", RegValue{kRegSz, "no terminator"}},
        RoundTripCase{"text_with_inner_nul", Hive::CurrentUser, "K", "inner",
                      RegValue{kRegSz, std::string("a\0b\0", 4)}},
        RoundTripCase{"text_of_no_bytes", Hive::CurrentUser, "K", "none", RegValue{kRegSz, ""}},
        RoundTripCase{"long_text", Hive::CurrentUser, "K", "long", Text(std::string(1 << 20, 'x'))},
        RoundTripCase{"dword_max", Hive::CurrentUser, "K", "max", Dword(0xFFFFFFFF)},
        RoundTripCase{"dword_of_two_bytes", Hive::CurrentUser, "K", "short", RegValue{kRegDword, "\x01\x02"}},
        RoundTripCase{"binary", Hive::CurrentUser, "K", "bin", RegValue{kRegBinary, AllBytes()}},
        RoundTripCase{"binary_empty", Hive::CurrentUser, "K", "nothing", RegValue{kRegBinary, ""}},
        RoundTripCase{"qword", Hive::CurrentUser, "K", "q", RegValue{11, std::string("\x01\0\0\0\0\0\0\x80", 8)}},
        RoundTripCase{"type_none", Hive::CurrentUser, "K", "n", RegValue{0, "\xAB"}},
        RoundTripCase{"large_type", Hive::CurrentUser, "K", "big", RegValue{0xFFFF0000u, "\x01"}},
        RoundTripCase{"default_value", Hive::ClassesRoot, "Auralith\\shell\\open\\command", "",
                      Text("\"/opt/My Music/AuralithURL.exe\" \"%1\"")},
        RoundTripCase{"value_named_at", Hive::CurrentUser, "K", "@", Text("at")},
        RoundTripCase{"odd_value_name", Hive::CurrentUser, "K", "a=b]; [c", Text("v")},
        RoundTripCase{"odd_key_names", Hive::CurrentUser, "Sp ace\\[br]ack\\;semi\\-dash", "v", Text("v")},
        RoundTripCase{"hive_root", Hive::CurrentUser, "", "top", Text("v")}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ file text

TEST(FileRegistryStoreTest, WritesTheRegExportFormatWithCrLf) {
  TempDir dir;
  FileRegistryStore store(dir.path());
  ASSERT_TRUE(store.Set(Hive::CurrentUser, "Software\\Corvale\\Auralith", "location", Text("C:\\Tools\\")));
  ASSERT_TRUE(store.Set(Hive::CurrentUser, "Software\\Corvale\\Auralith", "4_id3", Dword(10)));
  ASSERT_TRUE(store.Set(Hive::CurrentUser, "Software\\Corvale\\Auralith", "", Text("say \"hi\"")));
  ASSERT_TRUE(store.Set(Hive::CurrentUser, "Software\\Corvale\\Auralith", "bin", RegValue{kRegBinary, "\x01\xAB"}));
  ASSERT_TRUE(store.Set(Hive::CurrentUser, "Software\\Corvale\\Auralith", "nl", Text("a\nb")));
  ASSERT_TRUE(store.Set(Hive::ClassesRoot, "Auralith", "Url Protocol", Text("")));
  EXPECT_EQ(ReadFile(dir / "HKEY_CURRENT_USER.reg"), std::string(kHeader) +
                                                         "\r\n"
                                                         "[HKEY_CURRENT_USER\\Software]\r\n"
                                                         "\r\n"
                                                         "[HKEY_CURRENT_USER\\Software\\Corvale]\r\n"
                                                         "\r\n"
                                                         "[HKEY_CURRENT_USER\\Software\\Corvale\\Auralith]\r\n"
                                                         "@=\"say \\\"hi\\\"\"\r\n"
                                                         "\"4_id3\"=dword:0000000a\r\n"
                                                         "\"bin\"=hex:01,ab\r\n"
                                                         "\"location\"=\"C:\\\\Tools\\\\\"\r\n"
                                                         "\"nl\"=hex(1):61,0a,62,00\r\n"
                                                         "\r\n");
  EXPECT_EQ(ReadFile(dir / "HKEY_CLASSES_ROOT.reg"), std::string(kHeader) +
                                                         "\r\n"
                                                         "[HKEY_CLASSES_ROOT\\Auralith]\r\n"
                                                         "\"Url Protocol\"=\"\"\r\n"
                                                         "\r\n");
}

struct HandWrittenCase {
  const char* name;
  std::string file;
  std::string key;
  std::string valueName;
  RegValue expected;
};

class FileRegistryHandWrittenTest : public ::testing::TestWithParam<HandWrittenCase> {};

TEST_P(FileRegistryHandWrittenTest, ReadsWhatOtherToolsWrite) {
  TempDir dir;
  WriteFile(dir / "HKEY_CURRENT_USER.reg", GetParam().file);
  FileRegistryStore store(dir.path());
  ExpectValue(store, Hive::CurrentUser, GetParam().key, GetParam().valueName, GetParam().expected);
  // Such a file is no damage: it is replaced without a backup.
  ASSERT_TRUE(store.Set(Hive::CurrentUser, "K", "new", Text("x")));
  EXPECT_FALSE(FileExists(dir / "HKEY_CURRENT_USER.reg.bak"));
  ExpectValue(store, Hive::CurrentUser, GetParam().key, GetParam().valueName, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, FileRegistryHandWrittenTest,
    ::testing::Values(
        HandWrittenCase{"lf_line_ends", "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n\"v\"=\"x\"\n",
                        "A", "v", Text("x")},
        HandWrittenCase{"utf8_bom_and_no_final_line_end",
                        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=dword:1",
                        "A", "v", Dword(1)},
        HandWrittenCase{"continued_hex_lines",
                        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n"
                        "\"b\"=hex:01,02,\\\r\n  03,04\\\r\n  ,05\r\n",
                        "A", "b", RegValue{kRegBinary, "\x01\x02\x03\x04\x05"}},
        HandWrittenCase{"comments_blanks_and_trailing_spaces",
                        "Windows Registry Editor Version 5.00  \r\n; a comment\r\n   \r\n[hkey_current_user\\A]  \r\n"
                        "\"v\"=\"x\"\t\r\n",
                        "a", "V", Text("x")},
        HandWrittenCase{"uppercase_hex_and_type",
                        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n"
                        "\"q\"=hex(B):FF,0\n",
                        "A", "q", RegValue{11, std::string("\xFF\0", 2)}},
        HandWrittenCase{"later_duplicate_wins",
                        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"v\"=\"1\"\n"
                        "[HKEY_CURRENT_USER\\a]\n\"V\"=\"2\"\n",
                        "A", "v", Text("2")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileRegistryStoreTest, EmptyFileHoldsNothingToBackUp) {
  TempDir dir;
  WriteFile(dir / "HKEY_CURRENT_USER.reg", "");
  FileRegistryStore store(dir.path());
  EXPECT_FALSE(Get(store, Hive::CurrentUser, "", "").has_value());
  ASSERT_TRUE(store.Set(Hive::CurrentUser, "K", "v", Text("x")));
  EXPECT_FALSE(FileExists(dir / "HKEY_CURRENT_USER.reg.bak"));
}

// ------------------------------------------------------------ sharing

TEST(FileRegistryStoreTest, TwoStoresSeeAndKeepEachOthersChanges) {
  TempDir dir;
  FileRegistryStore first(dir.path());
  FileRegistryStore second(dir.path());
  EXPECT_FALSE(Get(second, Hive::CurrentUser, "K", "a").has_value());  // second has looked once
  ASSERT_TRUE(first.Set(Hive::CurrentUser, "K", "a", Text("1")));
  ExpectValue(second, Hive::CurrentUser, "K", "a", Text("1"));
  ASSERT_TRUE(second.Set(Hive::CurrentUser, "K", "b", Text("2")));
  // first last read the file before b existed; its change must not drop b.
  ASSERT_TRUE(first.Set(Hive::CurrentUser, "K", "c", Text("3")));
  FileRegistryStore third(dir.path());
  ExpectValue(third, Hive::CurrentUser, "K", "a", Text("1"));
  ExpectValue(third, Hive::CurrentUser, "K", "b", Text("2"));
  ExpectValue(third, Hive::CurrentUser, "K", "c", Text("3"));
  ASSERT_TRUE(second.DeleteTree(Hive::CurrentUser, "K"));
  EXPECT_FALSE(Get(first, Hive::CurrentUser, "K", "a").has_value());
  // The hives are separate files.
  ASSERT_TRUE(first.Set(Hive::ClassesRoot, "K", "a", Text("root")));
  EXPECT_FALSE(Get(second, Hive::CurrentUser, "K", "a").has_value());
  ExpectValue(second, Hive::ClassesRoot, "K", "a", Text("root"));
}

TEST(FileRegistryStoreTest, QuickRewritesOfTheSameSizeAreSeen) {
  TempDir dir;
  FileRegistryStore writer(dir.path());
  FileRegistryStore reader(dir.path());
  for (int i = 0; i < 60; ++i) {
    const std::string digit(1, static_cast<char>('0' + i % 10));
    ASSERT_TRUE(writer.Set(Hive::CurrentUser, "K", "v", Text(digit)));
    // A second write before the reader looks may reuse the first file's
    // inode number within one clock tick.
    if (i % 3 == 0) {
      ASSERT_TRUE(writer.Set(Hive::CurrentUser, "K", "v", Text(digit == "9" ? "8" : "9")));
      ASSERT_TRUE(writer.Set(Hive::CurrentUser, "K", "v", Text(digit)));
    }
    const auto seen = Get(reader, Hive::CurrentUser, "K", "v");
    ASSERT_TRUE(seen.has_value());
    ASSERT_EQ(seen->data, Text(digit).data) << "round " << i;
  }
}

TEST(FileRegistryStoreTest, ANewFileIsAlwaysDatedAfterTheOneItReplaces) {
  TempDir dir;
  FileRegistryStore store(dir.path());
  ASSERT_TRUE(store.Set(Hive::CurrentUser, "K", "v", Text("1")));
  // A file dated ahead of the clock (copied from another machine, say).
  const std::string path = store.FilePath(Hive::CurrentUser);
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  const struct timespec future[2] = {{0, UTIME_OMIT}, {st.st_mtim.tv_sec + 3600, 5}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), future, 0), 0);
  ASSERT_TRUE(store.Set(Hive::CurrentUser, "K", "v", Text("2")));
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_TRUE(st.st_mtim.tv_sec > future[1].tv_sec ||
              (st.st_mtim.tv_sec == future[1].tv_sec && st.st_mtim.tv_nsec > future[1].tv_nsec));
}

TEST(FileRegistryStoreTest, ConcurrentProcessesLoseNoChange) {
  // In memory where there is such a folder: what is tested is the locking,
  // and two thousand waits for the disk would take half a minute.
  struct stat shm;
  ScopedEnv tmp("TMPDIR", ::stat("/dev/shm", &shm) == 0 && S_ISDIR(shm.st_mode) ? "/dev/shm" : std::getenv("TMPDIR"));
  TempDir dir;
  constexpr int kProcesses = 2;
  constexpr int kValues = 1000;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      FileRegistryStore store(dir.path());
      int failures = 0;
      for (int v = 0; v < kValues; ++v)
        if (!store.Set(Hive::CurrentUser, "K", "p" + std::to_string(p) + "v" + std::to_string(v),
                       Dword(static_cast<std::uint32_t>(v))))
          ++failures;
      ::_exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  FileRegistryStore store(dir.path());
  for (int p = 0; p < kProcesses; ++p)
    for (int v = 0; v < kValues; ++v)
      ExpectValue(store, Hive::CurrentUser, "K", "p" + std::to_string(p) + "v" + std::to_string(v),
                  Dword(static_cast<std::uint32_t>(v)));
  // Only the hive file and its lock are left; no temporary file, no backup
  // of a damaged one.
  EXPECT_EQ(ListNames(dir.path()), (std::vector<std::string>{"HKEY_CURRENT_USER.reg", "HKEY_CURRENT_USER.reg.lock"}));
}

// ------------------------------------------------------------ damage

struct DamageCase {
  const char* name;
  std::string bad;  // lines between two good sections
};

class FileRegistryDamageTest : public ::testing::TestWithParam<DamageCase> {};

std::string Deep(int depth) {
  std::string section = "[HKEY_CURRENT_USER";
  for (int i = 0; i < depth; ++i) section += "\\k";
  return section + "]\r\n\"v\"=\"x\"\r\n";
}

TEST_P(FileRegistryDamageTest, ABadLineCostsOnlyItself) {
  TempDir dir;
  const std::string path = dir / "HKEY_CURRENT_USER.reg";
  const std::string file = std::string(kHeader) + "\r\n[HKEY_CURRENT_USER\\A]\r\n\"good\"=\"1\"\r\n" + GetParam().bad +
                           "\r\n[HKEY_CURRENT_USER\\B]\r\n\"after\"=dword:00000002\r\n";
  WriteFile(path, file);
  FileRegistryStore store(dir.path());
  std::vector<std::string> complaints;
  store.SetComplaintHandler([&](const std::string& text) { complaints.push_back(text); });
  ExpectValue(store, Hive::CurrentUser, "A", "good", Text("1"));
  ExpectValue(store, Hive::CurrentUser, "B", "after", Dword(2));
  EXPECT_TRUE(store.DeleteTree(Hive::CurrentUser, "K"));
  EXPECT_EQ(ReadFile(path), file) << "reading and deleting nothing changed the file";

  ASSERT_TRUE(store.Set(Hive::CurrentUser, "K", "new", Text("value")));
  EXPECT_EQ(ReadFile(path + ".bak"), file);
  ASSERT_EQ(complaints.size(), 1u);
  EXPECT_NE(complaints[0].find(path + ".bak"), std::string::npos) << complaints[0];
  FileRegistryStore reader(dir.path());
  ExpectValue(reader, Hive::CurrentUser, "A", "good", Text("1"));
  ExpectValue(reader, Hive::CurrentUser, "B", "after", Dword(2));
  ExpectValue(reader, Hive::CurrentUser, "K", "new", Text("value"));
  MemoryRegistryStore::Key root;
  EXPECT_TRUE(FileRegistryStore::ParseHive(Hive::CurrentUser, ReadFile(path), &root)) << "written clean";
}

INSTANTIATE_TEST_SUITE_P(
    Lines, FileRegistryDamageTest,
    ::testing::Values(DamageCase{"truncated_section", "\"v\"=\"x\"\r\n[HKEY_CURRENT_USER\\Soft\r\n\"lost\"=\"1\"\r\n"},
                      DamageCase{"truncated_text", "\"v\"=\"unterminated\r\n"},
                      DamageCase{"truncated_continuation", "\"b\"=hex:01,02,\\\r\n"},
                      DamageCase{"bad_hex", "\"b\"=hex:01,zz\r\n"},
                      DamageCase{"hex_byte_too_long", "\"b\"=hex:123\r\n"},
                      DamageCase{"empty_hex_item", "\"b\"=hex:01,,02\r\n"},
                      DamageCase{"bad_type", "\"b\"=hex(zz):01\r\n"},
                      DamageCase{"dword_too_long", "\"d\"=dword:123456789\r\n"},
                      DamageCase{"dword_empty", "\"d\"=dword:\r\n"},
                      DamageCase{"bad_escape", "\"v\"=\"a\\nb\"\r\n"},
                      DamageCase{"text_after_value", "\"v\"=\"a\" junk\r\n"},
                      DamageCase{"unknown_form", "\"v\"=-\r\n"},
                      DamageCase{"other_hive", "[HKEY_LOCAL_MACHINE\\Software]\r\n\"v\"=\"x\"\r\n"},
                      DamageCase{"empty_key_component", "[HKEY_CURRENT_USER\\A\\\\B]\r\n"},
                      DamageCase{"nul_byte", std::string("\"v\"=\"a\0b\"\r\n", 11)},
                      DamageCase{"huge_garbage_line", std::string(2 << 20, 'g') + "\r\n"},
                      DamageCase{"huge_open_text", "\"v\"=\"" + std::string(2 << 20, 'a') + "\r\n"},
                      DamageCase{"nesting_too_deep", Deep(600)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileRegistryStoreTest, WhatIsNoHiveFileIsNeverWrittenOver) {
  for (const std::string& file : {std::string("\x89PNG\r\n\x1A\n garbage \xFF\xFE"),
                                  std::string("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=\"x\"\r\n"),
                                  std::string("\xFF\xFEW\0i\0n\0", 8), std::string(4096, '\0')}) {
    TempDir dir;
    const std::string path = dir / "HKEY_CURRENT_USER.reg";
    WriteFile(path, file);
    FileRegistryStore store(dir.path());
    std::vector<std::string> complaints;
    store.SetComplaintHandler([&](const std::string& text) { complaints.push_back(text); });
    EXPECT_FALSE(Get(store, Hive::CurrentUser, "A", "v").has_value());
    EXPECT_FALSE(store.Set(Hive::CurrentUser, "K", "v", Text("x")));
    EXPECT_FALSE(store.Set(Hive::CurrentUser, "K", "w", Text("y")));
    EXPECT_EQ(ReadFile(path), file);
    EXPECT_EQ(ListNames(dir.path()), (std::vector<std::string>{"HKEY_CURRENT_USER.reg", "HKEY_CURRENT_USER.reg.lock"}));
    ASSERT_EQ(complaints.size(), 1u) << "told once";
    EXPECT_NE(complaints[0].find(path), std::string::npos) << complaints[0];
  }
}

TEST(FileRegistryStoreTest, EveryDamagedFileKeepsABackupOfItsOwn) {
  TempDir dir;
  const std::string path = dir / "HKEY_CURRENT_USER.reg";
  const std::string first = std::string(kHeader) + "first damage\r\n";
  const std::string second = std::string(kHeader) + "second damage\r\n";
  WriteFile(path, first);
  FileRegistryStore store(dir.path());
  ASSERT_TRUE(store.Set(Hive::CurrentUser, "K", "v", Text("1")));
  WriteFile(path, second);
  ASSERT_TRUE(store.Set(Hive::CurrentUser, "K", "v", Text("2")));
  EXPECT_EQ(ReadFile(path + ".bak"), first);
  EXPECT_EQ(ReadFile(path + ".bak.1"), second);
  // Nesting as deep as the registry allows is no damage.
  WriteFile(path, std::string(kHeader) + Deep(512));
  FileRegistryStore deep(dir.path());
  std::string key = "k";
  for (int i = 1; i < 512; ++i) key += "\\k";
  ExpectValue(deep, Hive::CurrentUser, key, "v", Text("x"));
}

TEST(FileRegistryStoreTest, ALockHeldElsewhereIsGivenUpOnWithAComplaint) {
  TempDir dir;
  FileRegistryStore store(dir.path());
  ASSERT_TRUE(store.Set(Hive::CurrentUser, "K", "v", Text("old")));
  const int held = ::open((store.FilePath(Hive::CurrentUser) + ".lock").c_str(), O_RDWR);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  std::vector<std::string> complaints;
  store.SetComplaintHandler([&](const std::string& text) { complaints.push_back(text); });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(store.Set(Hive::CurrentUser, "K", "v", Text("new")));
  EXPECT_FALSE(store.Set(Hive::CurrentUser, "K", "w", Text("new")));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << "waited on";
  ASSERT_EQ(complaints.size(), 1u);
  EXPECT_NE(complaints[0].find("locked"), std::string::npos) << complaints[0];
  ExpectValue(store, Hive::CurrentUser, "K", "v", Text("old"));
  // Once the lock is free again, changes go through.
  ::close(held);
  EXPECT_TRUE(store.Set(Hive::CurrentUser, "K", "v", Text("new")));
}

// ------------------------------------------------------------ folders and failures

TEST(FileRegistryStoreTest, FolderIsCreatedOnTheFirstWriteOnly) {
  TempDir dir;
  const std::string folder = dir / "config/auralith";
  FileRegistryStore store(folder);
  EXPECT_FALSE(Get(store, Hive::CurrentUser, "K", "v").has_value());
  EXPECT_TRUE(store.DeleteTree(Hive::CurrentUser, "K"));
  EXPECT_FALSE(FileExists(dir / "config"));
  ASSERT_TRUE(store.Set(Hive::CurrentUser, "K", "v", Text("x")));
  EXPECT_TRUE(FileExists(folder + "/HKEY_CURRENT_USER.reg"));
  EXPECT_FALSE(FileExists(folder + "/HKEY_CLASSES_ROOT.reg"));
}

TEST(FileRegistryStoreTest, FailedWritesChangeNothing) {
  TempDir dir;
  // The folder is a file.
  WriteFile(dir / "blocked", "x");
  FileRegistryStore blocked(dir / "blocked");
  EXPECT_FALSE(blocked.Set(Hive::CurrentUser, "K", "v", Text("x")));
  EXPECT_EQ(ReadFile(dir / "blocked"), "x");

  // The hive file is a folder.
  testing::MakeDirectories(dir / "odd/HKEY_CURRENT_USER.reg");
  FileRegistryStore odd(dir / "odd");
  EXPECT_FALSE(odd.Set(Hive::CurrentUser, "K", "v", Text("x")));
  EXPECT_FALSE(Get(odd, Hive::CurrentUser, "K", "v").has_value());
  EXPECT_FALSE(odd.DeleteTree(Hive::CurrentUser, "K"));

  // The temporary file cannot be made: the old content stays, on disk and
  // in what the store answers.
  FileRegistryStore store(dir / "main");
  ASSERT_TRUE(store.Set(Hive::CurrentUser, "K", "v", Text("old")));
  const std::string before = ReadFile(store.FilePath(Hive::CurrentUser));
  testing::MakeDirectories(store.FilePath(Hive::CurrentUser) + ".tmp");
  EXPECT_FALSE(store.Set(Hive::CurrentUser, "K", "v", Text("new")));
  EXPECT_FALSE(store.DeleteTree(Hive::CurrentUser, "K"));
  ExpectValue(store, Hive::CurrentUser, "K", "v", Text("old"));
  EXPECT_EQ(ReadFile(store.FilePath(Hive::CurrentUser)), before);
}

TEST(FileRegistryStoreTest, RefusesNamesTheFileCannotHold) {
  TempDir dir;
  FileRegistryStore store(dir.path());
  struct Case {
    std::string key;
    std::string name;
  };
  std::string tooDeep = "k";
  for (int i = 0; i < 600; ++i) tooDeep += "\\k";
  for (const Case& c : {Case{"K", "line\nbreak"}, Case{"K", "cr\r"}, Case{"K", std::string("n\0ul", 4)},
                        Case{"K\nL", "v"}, Case{"K\\\\L", "v"}, Case{"\\K", "v"}, Case{tooDeep, "v"}}) {
    EXPECT_FALSE(store.Set(Hive::CurrentUser, c.key, c.name, Text("x"))) << c.key << " / " << c.name;
  }
  EXPECT_FALSE(FileExists(store.FilePath(Hive::CurrentUser)));
  EXPECT_FALSE(store.DeleteTree(Hive::CurrentUser, ""));

  FileRegistryStore nowhere("");
  EXPECT_FALSE(nowhere.Set(Hive::CurrentUser, "K", "v", Text("x")));
  EXPECT_FALSE(nowhere.DeleteTree(Hive::CurrentUser, "K"));
  EXPECT_FALSE(Get(nowhere, Hive::CurrentUser, "K", "v").has_value());
}

// ------------------------------------------------------------ where the files live

struct FolderCase {
  const char* name;
  const char* registryDir;
  const char* xdgConfigHome;
  const char* home;
  std::string expected;
};

class FileRegistryFolderTest : public ::testing::TestWithParam<FolderCase> {};

TEST_P(FileRegistryFolderTest, ChoosesTheFirstSetPlace) {
  const FolderCase& c = GetParam();
  EXPECT_EQ(FileRegistryStore::ChooseFolder(c.registryDir, c.xdgConfigHome, c.home), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Environment, FileRegistryFolderTest,
    ::testing::Values(FolderCase{"registry_dir_first", "/r", "/x", "/h", "/r"},
                      FolderCase{"relative_registry_dir_as_given", "rel/dir", "/x", "/h", "rel/dir"},
                      FolderCase{"xdg_next", nullptr, "/x", "/h", "/x/auralith"},
                      FolderCase{"xdg_trailing_slash", "", "/x/", "/h", "/x/auralith"},
                      FolderCase{"relative_xdg_is_ignored", nullptr, "x", "/h", "/h/.config/auralith"},
                      FolderCase{"home_last", nullptr, nullptr, "/home/u", "/home/u/.config/auralith"},
                      FolderCase{"empty_counts_as_unset", "", "", "/home/u/", "/home/u/.config/auralith"},
                      FolderCase{"nothing_known", nullptr, "", nullptr, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileRegistryStoreTest, DefaultFolderComesFromTheEnvironment) {
  ScopedEnv home("HOME", "/home/someone");
  {
    ScopedEnv dir("AURALITH_REGISTRY_DIR", "/tmp/registry");
    ScopedEnv xdg("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(FileRegistryStore::DefaultFolder(), "/tmp/registry");
  }
  ScopedEnv dir("AURALITH_REGISTRY_DIR", nullptr);
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(FileRegistryStore::DefaultFolder(), "/cfg/auralith");
  }
  ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
  EXPECT_EQ(FileRegistryStore::DefaultFolder(), "/home/someone/.config/auralith");
}

}  // namespace
}  // namespace auralith

#endif  // _WIN32

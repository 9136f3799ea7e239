// The file-backed registry exists on systems without a real one.
#ifndef _WIN32

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix/file_registry_store.h"
#include "support/test_support.h"

namespace auralith {
namespace {

using testing::DwordValue;
using testing::FileExists;
using testing::ListNames;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\r\n";
const std::vector<std::string> kHiveAndLock = {"HKEY_CURRENT_USER.reg", "HKEY_CURRENT_USER.reg.lock"};

RegValue Text(const std::string& text) { return RegValue{kRegSz, text + std::string(1, '\0')}; }

// "<type>:<bytes>", or "<missing>": one comparison checks both.
std::string Show(const RegValue& value) { return std::to_string(value.type) + ":" + value.data; }
std::string Get(RegistryStore& store, const std::string& key, const std::string& name, Hive hive = Hive::CurrentUser) {
  RegValue value;
  return store.Query(hive, key, name, &value) ? Show(value) : "<missing>";
}

struct ComplainingStore : FileRegistryStore {
  explicit ComplainingStore(const std::string& folder) : FileRegistryStore(folder) {
    SetComplaintHandler([this](const std::string& text) { complaints.push_back(text); });
  }
  std::vector<std::string> complaints;
};

// A key path `depth` keys deep, and a section holding a value at such a path.
std::string DeepKey(int depth) {
  std::string key = "k";
  for (int i = 1; i < depth; ++i) key += "\\k";
  return key;
}
std::string Deep(int depth) { return "[HKEY_CURRENT_USER\\" + DeepKey(depth) + "]\r\n\"v\"=\"x\"\r\n"; }

TEST(FileRegistryStoreTest, ASecondStoreReadsBackTypeAndBytes) {
  struct Case {
    Hive hive;
    std::string key, name;
    RegValue value;
  };
  std::string allBytes;
  for (int i = 0; i < 256; ++i) allBytes.push_back(static_cast<char>(i));
  const Case cases[] = {
      {Hive::CurrentUser, "Software\\Corvale\\Auralith", "4_music", Text("")},
      {Hive::CurrentUser, "K", "q\"u\\o\\\"te", Text("C:\\Tools\\\"Music\"\\\\end\\")},
      {Hive::CurrentUser, "Software\\Über", "näme", Text("\xE5\x9D\x82 \xF0\x9F\x8E\xB5")},
      {Hive::CurrentUser, "K", "latin1", Text("caf\xE9 \xC3\t\x01")},
      {Hive::CurrentUser, "K", "raw", RegValue{kRegSz, std::string("a\0b", 3)}},
      {Hive::CurrentUser, "K", "short", RegValue{kRegDword, "\x01\x02"}},
      {Hive::CurrentUser, "K", "bin", RegValue{kRegBinary, allBytes}},
      {Hive::CurrentUser, "K", "nothing", RegValue{kRegBinary, ""}},
      {Hive::CurrentUser, "K", "q", RegValue{11, std::string("\x01\0\0\0\0\0\0\x80", 8)}},
      {Hive::CurrentUser, "K", "big", RegValue{0xFFFF0000u, "\x01"}},
      {Hive::ClassesRoot, "Auralith\\shell\\open\\command", "", Text("\"/opt/My Music/AuralithURL.exe\" \"%1\"")},
      {Hive::CurrentUser, "Sp ace\\[br]ack\\;semi", "a=b]; [@", Text("v")},
      {Hive::CurrentUser, "", "top", Text("v")},
  };
  TempDir dir;
  FileRegistryStore writer(dir.path());
  for (const Case& c : cases) ASSERT_TRUE(writer.Set(c.hive, c.key, c.name, c.value)) << c.name;
  FileRegistryStore reader(dir.path());
  for (const Case& c : cases) EXPECT_EQ(Get(reader, c.key, c.name, c.hive), Show(c.value)) << c.name;
  // What was read is written out again unchanged.
  const std::string file = ReadFile(writer.FilePath(Hive::CurrentUser));
  ASSERT_TRUE(reader.Set(Hive::CurrentUser, "Zzz", "extra", Text("e")));
  ASSERT_TRUE(reader.DeleteTree(Hive::CurrentUser, "Zzz"));
  EXPECT_EQ(ReadFile(writer.FilePath(Hive::CurrentUser)), file);
}

TEST(FileRegistryStoreTest, WritesTheRegExportFormatWithCrLf) {
  TempDir dir;
  FileRegistryStore store(dir.path());
  const std::string key = "Software\\Corvale\\Auralith";
  ASSERT_TRUE(store.Set(Hive::CurrentUser, key, "location", Text("old")));
  ASSERT_TRUE(store.Set(Hive::CurrentUser, key, "4_id3", DwordValue(10)));
  ASSERT_TRUE(store.Set(Hive::CurrentUser, key, "", Text("say \"hi\"")));
  ASSERT_TRUE(store.Set(Hive::CurrentUser, key, "bin", RegValue{kRegBinary, "\x01\xAB"}));
  ASSERT_TRUE(store.Set(Hive::CurrentUser, key, "nl", Text("a\nb")));
  // A deleted key takes its subkeys, and leaves its parent and a sibling that shares its start.
  ASSERT_TRUE(store.Set(Hive::CurrentUser, key + "\\Deep\\Er", "w", Text("gone")));
  ASSERT_TRUE(store.Set(Hive::CurrentUser, key + "\\Deeper", "t", Text("kept")));
  ASSERT_TRUE(store.DeleteTree(Hive::CurrentUser, "software\\corvale\\auralith\\DEEP"));
  // Names compare without case and keep their first spelling.
  ASSERT_TRUE(store.Set(Hive::CurrentUser, "SOFTWARE\\corvale\\AURALITH", "LOCATION", Text("C:\\Tools\\")));
  ASSERT_TRUE(store.Set(Hive::ClassesRoot, "Auralith", "Url Protocol", Text("")));
  EXPECT_EQ(ReadFile(dir / "HKEY_CURRENT_USER.reg"),
            std::string(kHeader) +
                "\r\n[HKEY_CURRENT_USER\\Software]\r\n"
                "\r\n[HKEY_CURRENT_USER\\Software\\Corvale]\r\n"
                "\r\n[HKEY_CURRENT_USER\\Software\\Corvale\\Auralith]\r\n"
                "@=\"say \\\"hi\\\"\"\r\n\"4_id3\"=dword:0000000a\r\n\"bin\"=hex:01,ab\r\n"
                "\"location\"=\"C:\\\\Tools\\\\\"\r\n\"nl\"=hex(1):61,0a,62,00\r\n"
                "\r\n[HKEY_CURRENT_USER\\Software\\Corvale\\Auralith\\Deeper]\r\n\"t\"=\"kept\"\r\n\r\n");
  EXPECT_EQ(ReadFile(dir / "HKEY_CLASSES_ROOT.reg"),
            std::string(kHeader) + "\r\n[HKEY_CLASSES_ROOT\\Auralith]\r\n\"Url Protocol\"=\"\"\r\n\r\n");
}

TEST(FileRegistryStoreTest, ReadsWhatOtherToolsWrite) {
  // A byte-order mark, both line ends, comments, blanks, trailing spaces,
  // continued and upper-case hex, a later duplicate, no final line end.
  TempDir dir;
  WriteFile(dir / "HKEY_CURRENT_USER.reg",
            "\xEF\xBB\xBFWindows Registry Editor Version 5.00  \n; a comment\r\n   \n[hkey_current_user\\A]  \r\n"
            "\"v\"=\"x\"\t\n\"b\"=hex:01,02,\\\r\n  03,04\\\n  ,05\n\"q\"=hex(B):FF,0\n"
            "[HKEY_CURRENT_USER\\a]\n\"D\"=dword:1\n\"d\"=dword:2");
  FileRegistryStore store(dir.path());
  EXPECT_EQ(Get(store, "a", "V"), Show(Text("x")));
  EXPECT_EQ(Get(store, "A", "b"), Show(RegValue{kRegBinary, "\x01\x02\x03\x04\x05"}));
  EXPECT_EQ(Get(store, "A", "q"), Show(RegValue{11, std::string("\xFF\0", 2)}));
  EXPECT_EQ(Get(store, "A", "d"), Show(DwordValue(2)));
  // Nesting as deep as the registry allows is no damage.
  WriteFile(dir / "HKEY_CURRENT_USER.reg", std::string(kHeader) + Deep(512));
  EXPECT_EQ(Get(store, DeepKey(512), "v"), Show(Text("x")));
}

// Stores tell files apart by identity, size and time, which a quick rewrite may all repeat
// within one clock tick: each file is dated after the one it replaces, even one dated ahead.
TEST(FileRegistryStoreTest, EachFileIsDatedAfterTheOneItReplaces) {
  TempDir dir;
  FileRegistryStore writer(dir.path());
  ASSERT_TRUE(writer.Set(Hive::CurrentUser, "K", "v", Text("1")));
  const std::string path = writer.FilePath(Hive::CurrentUser);
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  const struct timespec future[2] = {{0, UTIME_OMIT}, {st.st_mtim.tv_sec + 3600, 5}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), future, 0), 0);
  ASSERT_TRUE(writer.Set(Hive::CurrentUser, "K", "v", Text("2")));
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_GT(std::pair(st.st_mtim.tv_sec, st.st_mtim.tv_nsec), std::pair(future[1].tv_sec, future[1].tv_nsec));
}

TEST(FileRegistryStoreTest, ConcurrentProcessesLoseNoChange) {
  // In memory if possible: it is the locking under test, and two thousand waits for the disk would take half a minute.
  const char* oldTmp = std::getenv("TMPDIR");
  const std::string restore = oldTmp ? oldTmp : "";
  struct stat shm;
  if (::stat("/dev/shm", &shm) == 0 && S_ISDIR(shm.st_mode)) ::setenv("TMPDIR", "/dev/shm", 1);
  TempDir dir;
  oldTmp ? ::setenv("TMPDIR", restore.c_str(), 1) : ::unsetenv("TMPDIR");
  constexpr int kValues = 1000;
  std::vector<pid_t> children;
  for (const std::string process : {"p0", "p1"}) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      FileRegistryStore store(dir.path());
      bool ok = true;
      for (std::uint32_t v = 0; v < kValues; ++v)
        ok = store.Set(Hive::CurrentUser, "K", process + "v" + std::to_string(v), DwordValue(v)) && ok;
      ::_exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  FileRegistryStore store(dir.path());
  for (const std::string process : {"p0", "p1"})
    for (std::uint32_t v = 0; v < kValues; ++v)
      ASSERT_EQ(Get(store, "K", process + "v" + std::to_string(v)), Show(DwordValue(v)));
  EXPECT_EQ(ListNames(dir.path()), kHiveAndLock) << "no temporary file, no backup of a damaged one";
}

TEST(FileRegistryStoreTest, ABadLineCostsOnlyItselfAndEveryDamagedFileIsKeptAside) {
  TempDir dir;
  const std::string path = dir / "HKEY_CURRENT_USER.reg";
  WriteFile(path, "");
  ASSERT_TRUE(FileRegistryStore(dir.path()).Set(Hive::CurrentUser, "K", "v", Text("0")));
  EXPECT_FALSE(FileExists(path + ".bak")) << "an empty file holds nothing to keep";
  const std::string cases[] = {
      "\"v\"=\"x\"\r\n[HKEY_CURRENT_USER\\Soft\r\n\"lost\"=\"1\"\r\n",
      "\"b\"=hex:01,02,\\\r\n",
      "\"b\"=hex:01,zz\r\n",
      "\"b\"=hex:123\r\n",
      "\"v\"=\"a\\nb\"\r\n",
      "\"d\"=dword:123456789\r\n",
      "\"v\"=\"a\" junk\r\n",
      "[HKEY_LOCAL_MACHINE\\Software]\r\n\"v\"=\"x\"\r\n",
      std::string("\"v\"=\"a\0b\"\r\n", 11),
      "\"v\"=\"" + std::string(2 << 20, 'a') + "\r\n",
      Deep(600),
  };
  std::string backup = path + ".bak";
  for (int i = 0; const std::string& bad : cases) {
    SCOPED_TRACE(bad.substr(0, 40));
    const std::string file = std::string(kHeader) + "\r\n[HKEY_CURRENT_USER\\A]\r\n\"good\"=\"1\"\r\n" + bad +
                             "\r\n[HKEY_CURRENT_USER\\B]\r\n\"after\"=dword:00000002\r\n";
    WriteFile(path, file);
    ComplainingStore store(dir.path());
    EXPECT_TRUE(store.DeleteTree(Hive::CurrentUser, "K"));
    EXPECT_EQ(ReadFile(path), file) << "reading and deleting nothing changed the file";
    ASSERT_TRUE(store.Set(Hive::CurrentUser, "K", "new", Text("value")));
    // An older backup is never replaced.
    EXPECT_EQ(ReadFile(backup), file);
    ASSERT_EQ(store.complaints.size(), 1u);
    EXPECT_NE(store.complaints[0].find(backup), std::string::npos) << store.complaints[0];
    FileRegistryStore reader(dir.path());
    EXPECT_EQ(Get(reader, "A", "good") + Get(reader, "B", "after") + Get(reader, "K", "new"),
              Show(Text("1")) + Show(DwordValue(2)) + Show(Text("value")));
    MemoryRegistryStore::Key root;
    EXPECT_TRUE(FileRegistryStore::ParseHive(Hive::CurrentUser, ReadFile(path), &root)) << "written clean";
    backup = path + ".bak." + std::to_string(++i);
  }
}

TEST(FileRegistryStoreTest, WhatIsNoHiveFileIsNeverWrittenOver) {
  // An older format's header is no hive file either.
  for (const std::string file :
       {"\x89PNG\r\n\x1A\n garbage \xFF\xFE", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=\"x\"\r\n"}) {
    TempDir dir;
    const std::string path = dir / "HKEY_CURRENT_USER.reg";
    WriteFile(path, file);
    ComplainingStore store(dir.path());
    EXPECT_EQ(Get(store, "A", "v"), "<missing>");
    EXPECT_FALSE(store.Set(Hive::CurrentUser, "K", "v", Text("x")));
    EXPECT_FALSE(store.Set(Hive::CurrentUser, "K", "w", Text("y")));
    EXPECT_EQ(ReadFile(path), file);
    EXPECT_EQ(ListNames(dir.path()), kHiveAndLock);
    ASSERT_EQ(store.complaints.size(), 1u) << "told once";
    EXPECT_NE(store.complaints[0].find(path), std::string::npos) << store.complaints[0];
  }
}

TEST(FileRegistryStoreTest, ALockHeldElsewhereIsGivenUpOnWithAComplaint) {
  TempDir dir;
  ComplainingStore store(dir.path());
  ASSERT_TRUE(store.Set(Hive::CurrentUser, "K", "v", Text("old")));
  const int held = ::open((store.FilePath(Hive::CurrentUser) + ".lock").c_str(), O_RDWR);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  EXPECT_FALSE(store.Set(Hive::CurrentUser, "K", "v", Text("new")));
  EXPECT_FALSE(store.Set(Hive::CurrentUser, "K", "w", Text("new")));
  ASSERT_EQ(store.complaints.size(), 1u);
  EXPECT_NE(store.complaints[0].find("locked"), std::string::npos) << store.complaints[0];
  EXPECT_EQ(Get(store, "K", "v"), Show(Text("old")));
  ::close(held);
  EXPECT_TRUE(store.Set(Hive::CurrentUser, "K", "v", Text("new")));
}

TEST(FileRegistryStoreTest, FailedWritesChangeNothing) {
  TempDir dir;
  FileRegistryStore store(dir / "config/auralith");
  EXPECT_TRUE(store.DeleteTree(Hive::CurrentUser, "K"));
  EXPECT_FALSE(FileExists(dir / "config")) << "the folder is made on the first write only";
  // Names the file cannot hold.
  for (const auto& [key, name] : {std::pair<std::string, std::string>{"K", "line\nbreak"},
                                  {"K", "cr\r"},
                                  {"K", std::string("n\0ul", 4)},
                                  {"K\nL", "v"},
                                  {"K\\\\L", "v"},
                                  {DeepKey(600), "v"}})
    EXPECT_FALSE(store.Set(Hive::CurrentUser, key, name, Text("x"))) << key << " / " << name;
  // Nor may a deletion name the whole hive or an empty key.
  for (const char* key : {"", "\\K", "K\\"}) EXPECT_FALSE(store.DeleteTree(Hive::CurrentUser, key)) << key;
  // The temporary file cannot be made: the old content stays, on disk and in memory.
  ASSERT_TRUE(store.Set(Hive::CurrentUser, "K", "v", Text("old")));
  const std::string before = ReadFile(store.FilePath(Hive::CurrentUser));
  testing::MakeDirectories(store.FilePath(Hive::CurrentUser) + ".tmp");
  EXPECT_FALSE(store.Set(Hive::CurrentUser, "K", "v", Text("new")));
  EXPECT_FALSE(store.DeleteTree(Hive::CurrentUser, "K"));
  EXPECT_EQ(Get(store, "K", "v"), Show(Text("old")));
  EXPECT_EQ(ReadFile(store.FilePath(Hive::CurrentUser)), before);
}

TEST(FileRegistryStoreTest, ChoosesTheFirstSetFolder) {
  struct Case {
    const char *registryDir, *xdgConfigHome, *home;
    std::string expected;
  };
  const Case cases[] = {{"rel/dir", "/x", "/h", "rel/dir"},
                        {nullptr, "/x/", "/h", "/x/auralith"},
                        {"", "x", "/h", "/h/.config/auralith"},
                        {nullptr, "", nullptr, ""}};
  for (const Case& c : cases)
    EXPECT_EQ(FileRegistryStore::ChooseFolder(c.registryDir, c.xdgConfigHome, c.home), c.expected) << c.expected;
  // The default comes from the environment, which nothing else in this suite reads.
  ::unsetenv("AURALITH_REGISTRY_DIR");
  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(FileRegistryStore::DefaultFolder(), "/cfg/auralith");
}

}  // namespace
}  // namespace auralith

#endif  // _WIN32

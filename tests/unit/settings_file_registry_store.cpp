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
#include <optional>
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

// A store whose complaints are kept.
struct ComplainingStore : FileRegistryStore {
  explicit ComplainingStore(const std::string& folder) : FileRegistryStore(folder) {
    SetComplaintHandler([this](const std::string& text) { complaints.push_back(text); });
  }
  std::vector<std::string> complaints;
};

std::string Deep(int depth) {
  std::string section = "[HKEY_CURRENT_USER";
  for (int i = 0; i < depth; ++i) section += "\\k";
  return section + "]\r\n\"v\"=\"x\"\r\n";
}

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
      {Hive::CurrentUser, "K", "multi", Text("line 1\nline 2\r\nline 3\r")},
      {Hive::CurrentUser, "K", "latin1", Text("caf\xE9 \xC3\t\x01")},
      {Hive::CurrentUser, "K", "raw", RegValue{kRegSz, std::string("a\0b", 3)}},
      {Hive::CurrentUser, "K", "long", Text(std::string(1 << 20, 'x'))},
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
  ASSERT_TRUE(store.Set(Hive::CurrentUser, key, "location", Text("C:\\Tools\\")));
  ASSERT_TRUE(store.Set(Hive::CurrentUser, key, "4_id3", DwordValue(10)));
  ASSERT_TRUE(store.Set(Hive::CurrentUser, key, "", Text("say \"hi\"")));
  ASSERT_TRUE(store.Set(Hive::CurrentUser, key, "bin", RegValue{kRegBinary, "\x01\xAB"}));
  ASSERT_TRUE(store.Set(Hive::CurrentUser, key, "nl", Text("a\nb")));
  ASSERT_TRUE(store.Set(Hive::ClassesRoot, "Auralith", "Url Protocol", Text("")));
  EXPECT_EQ(ReadFile(dir / "HKEY_CURRENT_USER.reg"),
            std::string(kHeader) +
                "\r\n[HKEY_CURRENT_USER\\Software]\r\n"
                "\r\n[HKEY_CURRENT_USER\\Software\\Corvale]\r\n"
                "\r\n[HKEY_CURRENT_USER\\Software\\Corvale\\Auralith]\r\n"
                "@=\"say \\\"hi\\\"\"\r\n\"4_id3\"=dword:0000000a\r\n\"bin\"=hex:01,ab\r\n"
                "\"location\"=\"C:\\\\Tools\\\\\"\r\n\"nl\"=hex(1):61,0a,62,00\r\n\r\n");
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
}

TEST(FileRegistryStoreTest, TwoStoresSeeAndKeepEachOthersChanges) {
  TempDir dir;
  FileRegistryStore first(dir.path());
  FileRegistryStore second(dir.path());
  EXPECT_EQ(Get(second, "K", "a"), "<missing>");  // second has looked once
  ASSERT_TRUE(first.Set(Hive::CurrentUser, "K", "a", Text("1")));
  EXPECT_EQ(Get(second, "K", "a"), Show(Text("1")));
  ASSERT_TRUE(second.Set(Hive::CurrentUser, "K", "b", Text("2")));
  // first last read the file before b existed; its change must not drop b.
  ASSERT_TRUE(first.Set(Hive::CurrentUser, "K", "c", Text("3")));
  FileRegistryStore third(dir.path());
  for (const char* name : {"a", "b", "c"}) EXPECT_NE(Get(third, "K", name), "<missing>") << name;
  ASSERT_TRUE(second.DeleteTree(Hive::CurrentUser, "K"));
  EXPECT_EQ(Get(first, "K", "a"), "<missing>");
  // The hives are separate files.
  ASSERT_TRUE(first.Set(Hive::ClassesRoot, "K", "a", Text("root")));
  EXPECT_EQ(Get(second, "K", "a"), "<missing>");
  EXPECT_EQ(Get(second, "K", "a", Hive::ClassesRoot), Show(Text("root")));
}

TEST(FileRegistryStoreTest, QuickRewritesOfTheSameSizeAreSeen) {
  TempDir dir;
  FileRegistryStore writer(dir.path());
  FileRegistryStore reader(dir.path());
  for (int i = 0; i < 60; ++i) {
    const std::string digit(1, static_cast<char>('0' + i % 10));
    ASSERT_TRUE(writer.Set(Hive::CurrentUser, "K", "v", Text(digit)));
    // A second write before the reader looks may reuse the inode in one tick.
    if (i % 3 == 0) {
      ASSERT_TRUE(writer.Set(Hive::CurrentUser, "K", "v", Text(digit == "9" ? "8" : "9")));
      ASSERT_TRUE(writer.Set(Hive::CurrentUser, "K", "v", Text(digit)));
    }
    ASSERT_EQ(Get(reader, "K", "v"), Show(Text(digit))) << "round " << i;
  }
  // A file dated ahead of the clock is still replaced by a later-dated one.
  const std::string path = writer.FilePath(Hive::CurrentUser);
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  const struct timespec future[2] = {{0, UTIME_OMIT}, {st.st_mtim.tv_sec + 3600, 5}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), future, 0), 0);
  ASSERT_TRUE(writer.Set(Hive::CurrentUser, "K", "v", Text("new")));
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_TRUE(st.st_mtim.tv_sec > future[1].tv_sec ||
              (st.st_mtim.tv_sec == future[1].tv_sec && st.st_mtim.tv_nsec > future[1].tv_nsec));
}

TEST(FileRegistryStoreTest, ConcurrentProcessesLoseNoChange) {
  // In memory where there is such a folder: what is tested is the locking,
  // and two thousand waits for the disk would take half a minute.
  struct stat shm;
  const bool inMemory = ::stat("/dev/shm", &shm) == 0 && S_ISDIR(shm.st_mode);
  const char* oldTmp = std::getenv("TMPDIR");
  const std::string restore = oldTmp ? oldTmp : "";
  if (inMemory) ::setenv("TMPDIR", "/dev/shm", 1);
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

TEST(FileRegistryStoreTest, ABadLineCostsOnlyItselfAndTheFileIsKeptAside) {
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
  for (const std::string& bad : cases) {
    SCOPED_TRACE(bad.substr(0, 40));
    TempDir dir;
    const std::string path = dir / "HKEY_CURRENT_USER.reg";
    const std::string file = std::string(kHeader) + "\r\n[HKEY_CURRENT_USER\\A]\r\n\"good\"=\"1\"\r\n" + bad +
                             "\r\n[HKEY_CURRENT_USER\\B]\r\n\"after\"=dword:00000002\r\n";
    WriteFile(path, file);
    ComplainingStore store(dir.path());
    EXPECT_TRUE(store.DeleteTree(Hive::CurrentUser, "K"));
    EXPECT_EQ(ReadFile(path), file) << "reading and deleting nothing changed the file";
    ASSERT_TRUE(store.Set(Hive::CurrentUser, "K", "new", Text("value")));
    EXPECT_EQ(ReadFile(path + ".bak"), file);
    ASSERT_EQ(store.complaints.size(), 1u);
    EXPECT_NE(store.complaints[0].find(path + ".bak"), std::string::npos) << store.complaints[0];
    FileRegistryStore reader(dir.path());
    EXPECT_EQ(Get(reader, "A", "good") + Get(reader, "B", "after") + Get(reader, "K", "new"),
              Show(Text("1")) + Show(DwordValue(2)) + Show(Text("value")));
    MemoryRegistryStore::Key root;
    EXPECT_TRUE(FileRegistryStore::ParseHive(Hive::CurrentUser, ReadFile(path), &root)) << "written clean";
  }
}

TEST(FileRegistryStoreTest, EveryDamagedFileKeepsABackupOfItsOwn) {
  TempDir dir;
  const std::string path = dir / "HKEY_CURRENT_USER.reg";
  WriteFile(path, "");
  FileRegistryStore store(dir.path());
  ASSERT_TRUE(store.Set(Hive::CurrentUser, "K", "v", Text("0")));
  EXPECT_FALSE(FileExists(path + ".bak")) << "an empty file holds nothing to keep";
  const std::string first = std::string(kHeader) + "first damage\r\n";
  const std::string second = std::string(kHeader) + "second damage\r\n";
  WriteFile(path, first);
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
  EXPECT_EQ(Get(deep, key, "v"), Show(Text("x")));
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
  std::string tooDeep = "k";
  for (int i = 0; i < 600; ++i) tooDeep += "\\k";
  for (const auto& [key, name] : {std::pair<std::string, std::string>{"K", "line\nbreak"},
                                  {"K", "cr\r"},
                                  {"K", std::string("n\0ul", 4)},
                                  {"K\nL", "v"},
                                  {tooDeep, "v"}})
    EXPECT_FALSE(store.Set(Hive::CurrentUser, key, name, Text("x"))) << key << " / " << name;
  EXPECT_FALSE(store.DeleteTree(Hive::CurrentUser, ""));
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
  for (const Case& c : cases) {
    EXPECT_EQ(FileRegistryStore::ChooseFolder(c.registryDir, c.xdgConfigHome, c.home), c.expected) << c.expected;
  }
  // The default from the environment, as it is put back afterwards.
  std::vector<std::pair<const char*, std::optional<std::string>>> saved;
  for (const char* name : {"AURALITH_REGISTRY_DIR", "XDG_CONFIG_HOME"})
    saved.emplace_back(name, std::getenv(name) ? std::optional<std::string>(std::getenv(name)) : std::nullopt);
  ::unsetenv("AURALITH_REGISTRY_DIR");
  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(FileRegistryStore::DefaultFolder(), "/cfg/auralith");
  for (const auto& [name, value] : saved) value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
}

}  // namespace
}  // namespace auralith

#endif  // _WIN32

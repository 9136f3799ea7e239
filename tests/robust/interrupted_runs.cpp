// auralith-build killed at any moment, and run on a full disk: what the user
// has (settings, tag cache, the last good outputs) must come through both.
#ifndef _WIN32

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "builder/tag_cache.h"
#include "platform/posix/file_registry_store.h"
#include "settings/settings.h"
#include "support/test_support.h"

namespace auralith {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testing::ReadFile;
using testing::TempDir;

std::string Tool(const char* variable, const char* name) {
  const char* dir = std::getenv(variable);
  return std::string(dir ? dir : ".") + "/" + name;
}

// Every file below `dir` by relative path, with its bytes.
std::map<std::string, std::string> Files(const std::string& dir) {
  std::map<std::string, std::string> files;
  std::error_code ec;
  for (const auto& entry : fs::recursive_directory_iterator(dir, ec))
    if (entry.is_regular_file()) files[fs::relative(entry.path(), dir).string()] = ReadFile(entry.path().string());
  return files;
}

// What a run leaves the user: the program's values in the settings file, which must parse clean, and the records the
// tag cache gives under them (-1 without a cache file).
struct Kept {
  std::map<std::string, std::string> values;
  long records = -1;
};
Kept KeptIn(const std::string& location, const std::string& registryDir) {
  Kept kept;
  MemoryRegistryStore store;
  const std::string text = ReadFile(registryDir + "/HKEY_CURRENT_USER.reg");
  EXPECT_TRUE(text.empty() || FileRegistryStore::ParseHive(Hive::CurrentUser, text, &store.root(Hive::CurrentUser)))
      << "damaged settings file";
  const MemoryRegistryStore::Key* key = &store.root(Hive::CurrentUser);
  for (const char* part : {"Software", "Corvale", "Auralith"}) {
    const auto found = key->subkeys.find(MemoryRegistryStore::Fold(part));
    key = found == key->subkeys.end() ? nullptr : found->second.key.get();
    if (key == nullptr) break;
  }
  if (key != nullptr)
    for (const auto& [folded, named] : key->values) kept.values[named.name] = named.value.data;
  // Only now: loading the settings writes defaults.
  Settings settings(store);
  const std::string cache = location + "/Auralith.archive";
  if (fs::exists(cache)) kept.records = static_cast<long>(ParseTagCache(ReadFile(cache), settings, 0).size());
  return kept;
}

int StepOf(const std::string& line) {
  const auto at = line.rfind("(Step ");
  return at == std::string::npos ? 0 : line[at + 6] - '0';
}

// A running auralith-build whose standard error comes through a pipe of one page that the test fills: the program can
// be held at the start of any step, since a step line that does not fit waits until there is room.
class Child {
 public:
  static constexpr int kPipe = 4096;

  Child(const std::string& registryDir, std::vector<std::string> args, bool held) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0 || ::fcntl(fds[0], F_SETPIPE_SZ, kPipe) != kPipe)
      throw std::runtime_error("no pipe of one page");
    read_ = fds[0];
    write_ = fds[1];
    ::fcntl(read_, F_SETFL, O_NONBLOCK);
    if (held) Fill(kPipe);
    args.insert(args.begin(), Tool("AURALITH_PROGRAM_DIR", "auralith-build"));
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::string registry = "AURALITH_REGISTRY_DIR=" + registryDir, locale = "LC_ALL=C.UTF-8";
    char* envp[] = {registry.data(), locale.data(), nullptr};
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, write_, 2);
    if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp) != 0) throw std::runtime_error(args[0]);
    ::posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() {
    if (!ended_) Kill();
    ::close(read_);
    ::close(write_);
  }

  // Reads what the program wrote; the step of its last step line (0 before any).
  int Drain() {
    char buffer[kPipe];
    for (ssize_t n; (n = ::read(read_, buffer, kPipe)) > 0;) output.append(buffer, static_cast<std::size_t>(n));
    std::erase(output, '\0');  // the filler
    for (std::size_t end; (end = output.find('\n', parsed_)) != std::string::npos; parsed_ = end + 1) {
      const std::string line = output.substr(parsed_, end - parsed_);
      if (StepOf(line) > 0) stepLines.push_back(line);
    }
    return stepLines.empty() ? 0 : StepOf(stepLines.back());
  }
  // Polls until `done` holds or the program has ended; whether `done` held.
  bool Await(const std::function<bool()>& done) {
    for (; !done(); std::this_thread::sleep_for(std::chrono::microseconds(100)))
      if (Reap(false)) return done();
    return true;
  }
  // Reads everything up to the program's end; its exit code.
  int Finish() {
    Await([&] { return Drain() > 8; });
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
  }
  // The main thread waits in write or writev (system calls 1 and 20) on
  // standard error: for room in the pipe, when it is held.
  bool Writing() const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/syscall");
    std::string number, fd;
    return in >> number >> fd && (number == "1" || number == "20") && fd == "0x2";
  }
  // Stops the program and reads what it wrote; false when it had ended.
  bool Stop() {
    if (!ended_) {
      ::kill(pid_, SIGSTOP);
      ended_ = ::waitpid(pid_, &status_, WUNTRACED) == pid_ && !WIFSTOPPED(status_);
    }
    Drain();
    return !ended_;
  }
  // Lets the stopped program go on with room for `bytes` more output.
  void Continue(int bytes) {
    Fill(kPipe - bytes);
    ::kill(pid_, SIGCONT);
  }
  void Kill() {
    ::kill(pid_, SIGKILL);
    Reap(true);
  }
  // Collects the program when it has ended (or, with `wait`, once it ends).
  bool Reap(bool wait) {
    if (!ended_) ended_ = ::waitpid(pid_, &status_, wait ? 0 : WNOHANG) == pid_;
    return ended_;
  }

  std::string output;
  std::vector<std::string> stepLines;

 private:
  void Fill(int bytes) { (void)!::write(write_, std::string(bytes, '\0').data(), bytes); }

  pid_t pid_ = -1;
  int read_ = -1, write_ = -1, status_ = 0;
  std::size_t parsed_ = 0;
  bool ended_ = false;
};

class InterruptedRunTest : public ::testing::Test {
 protected:
  // The full-disk test's file system, if it is mounted.
  void TearDown() override { ::umount2(disk_.c_str(), MNT_DETACH); }

  // The generator lists its music files, "path<TAB>seconds" a line, among others.
  void MakeCorpus(int files) {
    const std::string list = dir_ / "music.txt";
    const std::string command = Tool("AURALITH_CORPUS_DIR", "make_corpus") + " " + music_ + " " + std::to_string(files);
    ASSERT_EQ(std::system((command + " >" + list).c_str()), 0);
    std::ifstream lines(list);
    for (std::string line; std::getline(lines, line);)
      tracks_.push_back(music_ + "/" + line.substr(0, line.find('\t')));
  }
  std::vector<std::string> Args(const std::string& format) const {
    return {"--location", location_, "--root", music_, "--entry-format", format};
  }

  TempDir dir_;
  std::string music_ = dir_ / "music", location_ = dir_ / "Auralith", registry_ = dir_ / "registry";
  std::string disk_ = dir_ / "disk";
  std::vector<std::string> tracks_;
};

TEST_F(InterruptedRunTest, KilledRunsLoseNothing) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "a hundred runs take minutes under the sanitizers; the native preset kills them";
#endif
  const char* seedText = std::getenv("AURALITH_KILL_SEED");
  const unsigned seed = seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : std::random_device{}();
  SCOPED_TRACE("replay with AURALITH_KILL_SEED=" + std::to_string(seed));
  std::mt19937 random(seed);
  MakeCorpus(2500);
  const std::array<std::string, 2> formats = {"%3. %4", "%4 (%1)"};

  // An uninterrupted run gives the outputs to match, the step lines, and each
  // step's time (step 0: up to the first step line).
  std::array<double, 9> seconds{};
  Child first(registry_, Args(formats[0]), false);
  for (int step = 0; step <= 8; ++step) {
    const auto start = Clock::now();
    first.Await([&] { return first.Drain() > step; });
    seconds[step] = std::chrono::duration<double>(Clock::now() - start).count();
  }
  ASSERT_EQ(first.Finish(), 0);
  const std::vector<std::string>& plainLines = first.stepLines;
  ASSERT_EQ(plainLines.size(), 8u) << "one line per step";
  std::vector<std::string> cachedLines = plainLines;  // a second line of step 2
  cachedLines.insert(cachedLines.begin() + 2, "Loading cache... (Step 2 of 8)");
  const long tracks = KeptIn(location_, registry_).records;
  ASSERT_EQ(tracks, static_cast<long>(tracks_.size()));
  fs::rename(location_, location_ + ".expected");
  fs::rename(registry_, registry_ + ".expected");

  std::map<std::string, fs::file_time_type> touched;
  std::array<int, 9> kills{};
  int total = 0;
  auto fewest = [&] { return static_cast<int>(std::min_element(kills.begin() + 1, kills.end()) - kills.begin()); };
  for (int attempt = 0; attempt < 600 && (total < 100 || kills[fewest()] < 3); ++attempt) {
    // Each run has something to write: files look changed, playlists change form.
    for (int i = 0; i < 25; ++i) {
      const std::string& file = tracks_[random() % tracks_.size()];
      const auto time = fs::last_write_time(file);
      touched.emplace(file, time);
      fs::last_write_time(file, time + std::chrono::seconds(1));
    }
    const std::string& format = formats[random() % 2];
    // Step 0 (settings written) first, and while no run has finished its first
    // start; later the steps with fewest kills.
    const auto before = KeptIn(location_, registry_).values;
    const bool firstStart = before.count("location") == 0;
    const int target = attempt < 6 || (firstStart && attempt < 20) ? 0 : total < 100 ? attempt % 9 : fewest();
    const auto& lines = fs::exists(location_ + "/Auralith.archive") ? cachedLines : plainLines;

    Child child(registry_, Args(format), target > 0);
    const auto& read = child.stepLines;
    // The step the program is in: the next line's while it waits to write it.
    auto step = [&] {
      return child.Writing() && read.size() < lines.size() ? StepOf(lines[read.size()]) : child.Drain();
    };
    auto room = [&] { return static_cast<int>(lines[read.size()].size()) + 1; };
    // Held at the start of each step in turn, up to the target.
    while (target > 0 && child.Await([&] { return child.Writing(); }) && child.Stop() && read.size() < lines.size() &&
           StepOf(lines[read.size()]) < target)
      child.Continue(room());
    if (child.Reap(false) || read.size() >= lines.size()) continue;  // it finished first
    // Killed at the step's start, or anywhere inside it (held at the next line).
    if (target == 0 || random() % 2) {
      const std::chrono::duration<double> within(std::uniform_real_distribution<double>(0, seconds[step()])(random));
      if (target > 0) child.Continue(room());
      std::this_thread::sleep_for(within);
      if (!child.Stop()) continue;
    }
    const int killed = step();
    child.Kill();
    ++kills[killed];
    ++total;
    SCOPED_TRACE("kill " + std::to_string(total) + " in step " + std::to_string(killed));

    // Values change only to what the run's options store.
    const std::map<std::string, std::string> options = {
        {"location", location_ + "/"}, {"4_music", music_ + "/"}, {"4_outformat", format}};
    const Kept after = KeptIn(location_, registry_);
    for (const auto& [name, data] : before) {
      const std::string now = after.values.contains(name) ? after.values.at(name) : "(lost)";
      EXPECT_TRUE(now == data || (options.contains(name) && now == options.at(name) + '\0')) << name << ": " << now;
    }
    EXPECT_TRUE(after.records == -1 || after.records == tracks) << after.records << " records in the cache";
    if (HasFailure()) return;
  }
  EXPECT_GE(kills[fewest()], 3) << "kills in step " << fewest();
  EXPECT_GE(total, 100);

  for (const auto& [file, time] : touched) fs::last_write_time(file, time);
  ASSERT_EQ(Child(registry_, Args(formats[0]), false).Finish(), 0);
  // The record of the playlists holds their files' times, which differ.
  auto outputs = Files(location_), expected = Files(location_ + ".expected");
  EXPECT_EQ(outputs.erase("Auralith.playlists") + expected.erase("Auralith.playlists"), 2u);
  EXPECT_TRUE(outputs == expected) << "the outputs differ from an uninterrupted run's";
  EXPECT_EQ(ReadFile(registry_ + "/HKEY_CURRENT_USER.reg"), ReadFile(registry_ + ".expected/HKEY_CURRENT_USER.reg"));
}

TEST_F(InterruptedRunTest, FullDiskIsReportedAndKeepsWhatWasThere) {
  fs::create_directories(disk_);
  if (::mount("tmpfs", disk_.c_str(), "tmpfs", 0, "size=2m") != 0)
    GTEST_SKIP() << "mounting a small tmpfs is not allowed here (needs root); not tested";
  location_ = disk_ + "/Auralith";
  registry_ = disk_ + "/registry";
  MakeCorpus(420);
  ASSERT_EQ(Child(registry_, Args("%3. %4"), false).Finish(), 0);

  // Room for a few playlists only: the cache, the other playlists and the
  // data file cannot be written, nor the settings file, which holds more.
  FileRegistryStore(registry_).Set(Hive::CurrentUser, "Software\\Other", "large",
                                   RegValue{kRegBinary, std::string(65536, 'x')});
  const auto before = Files(disk_);
  for (const std::string& track : tracks_)
    fs::last_write_time(track, fs::file_time_type::clock::now() + std::chrono::seconds(10));
  struct statvfs space;
  const int filler = ::open((disk_ + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(::statvfs(disk_.c_str(), &space), 0);
  ASSERT_EQ(::posix_fallocate(filler, 0, static_cast<off_t>(space.f_bavail * space.f_frsize) - 16384), 0);
  ::close(filler);
  // Entries three times as long: each playlist needs more room than it frees.
  Child child(registry_, Args("%1 %2 %3 %4 %5 %1 %2 %4 %5 %1 %2 %4 %5 %1 %2 %4"), false);
  EXPECT_EQ(child.Finish(), 1);
  for (const char* expected : {"Error writing cache file", "Error writing playlist for", "Error writing data file"})
    EXPECT_NE(child.output.find(expected), std::string::npos) << expected << " missing in:\n" << child.output;
  auto after = Files(disk_);
  after.erase("filler");
  for (const char* kept : {"Auralith/Auralith.archive", "Auralith/Auralith.data", "registry/HKEY_CURRENT_USER.reg"})
    EXPECT_TRUE(after[kept] == before.at(kept)) << kept << " changed";
  for (const auto& [name, bytes] : after) EXPECT_TRUE(before.count(name)) << name << " was left behind";
}

}  // namespace
}  // namespace auralith

#endif  // _WIN32

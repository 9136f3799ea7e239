#include "support/test_support.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include <gtest/gtest.h>

#include "settings/settings.h"

namespace fs = std::filesystem;

namespace auralith::testing {

namespace {
// Texts are UTF-8 (the code page on POSIX and, through the manifest, on
// Windows), so paths cross into std::filesystem as UTF-8.
fs::path P(const std::string& path) { return fs::path(std::u8string(path.begin(), path.end())); }
std::string S(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}
}  // namespace

TempDir::TempDir() {
  std::mt19937_64 random(std::random_device{}() ^ std::chrono::steady_clock::now().time_since_epoch().count());
  fs::path candidate;
  std::error_code ec;
  do {
    candidate = fs::temp_directory_path() / ("auralith-test-" + std::to_string(random() % 1000000000ULL));
  } while (!fs::create_directory(candidate, ec));
  path_ = WithTrailingSeparator(S(candidate));
}

TempDir::~TempDir() { RemoveTree(path_); }

std::string TempDir::operator/(const std::string& relative) const { return path_ + Native(relative); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(P(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
  const fs::path p = P(path);
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(P(path), ec);
}

void MakeDirectories(const std::string& path) { fs::create_directories(P(path)); }

void RemoveTree(const std::string& path) {
  std::error_code ec;
  fs::remove_all(P(path), ec);
}

void SetModified(const std::string& path, std::int64_t seconds) {
  const auto sys = std::chrono::system_clock::time_point(std::chrono::seconds(seconds));
  fs::last_write_time(P(path), std::chrono::file_clock::from_sys(sys));
}

std::vector<std::string> ListNames(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(P(dir), ec)) names.push_back(S(entry.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

void StoreLocation(RegistryStore& store, const std::string& location) {
  store.Set(Hive::CurrentUser, kSettingsKey, "location", RegValue{kRegSz, location + '\0'});
}

}  // namespace auralith::testing

#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace auralith {

// Everything known about one music file. `path` is relative to the root music
// directory, with the platform's separator.
struct AFileInfo {
  std::string path;
  std::string artist;
  std::string album;
  std::string title;
  std::string track;
  std::int32_t length = -1;  // whole seconds, -1 unknown
  std::int32_t seen = 1;
  std::int64_t modified = 0;  // seconds since 1970-01-01 UTC
  std::uint64_t size = 0;

  bool operator==(const AFileInfo&) const = default;
};

// A run's records by relative path (exact, case-sensitive keys); owns them.
// Each key is a view of its own record's `path`, so that a path is held once:
// a table of 20,000 records is otherwise 20,000 more texts made, and freed.
class PathTable {
 public:
  using Map = std::unordered_map<std::string_view, std::unique_ptr<AFileInfo>>;
  using value_type = Map::value_type;
  using const_iterator = Map::const_iterator;

  // Adds the record under its path; one already there is replaced and freed.
  void Insert(std::unique_ptr<AFileInfo> record) {
    const std::string_view key = record->path;
    auto [at, added] = map_.try_emplace(key);
    if (added) {
      at->second = std::move(record);
      return;
    }
    // The key in place views the record being replaced; it must not outlive it.
    auto node = map_.extract(at);
    node.key() = key;
    node.mapped() = std::move(record);
    map_.insert(std::move(node));
  }
  // Drops the records `drop` picks; returns how many.
  template <typename Pred>
  std::size_t EraseIf(Pred drop) {
    return std::erase_if(map_, [&drop](const Map::value_type& entry) { return drop(*entry.second); });
  }

  const_iterator find(std::string_view path) const { return map_.find(path); }
  const_iterator begin() const { return map_.begin(); }
  const_iterator end() const { return map_.end(); }
  std::size_t size() const { return map_.size(); }
  bool empty() const { return map_.empty(); }
  std::size_t count(std::string_view path) const { return map_.count(path); }
  void reserve(std::size_t n) { map_.reserve(n); }
  void clear() { map_.clear(); }

 private:
  Map map_;
};

}  // namespace auralith
